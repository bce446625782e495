/* SPDX-License-Identifier: MIT */
/*
 * lyrn.h - turn podcast-style RSS feeds of music channels into JSON playlists.
 *
 * A plain C interface. The host fetches and stores everything itself: it
 * hands the library bytes and text and gets back numbers or new heap strings.
 *
 * Memory: every `char *` that a function here returns is a new NUL-terminated
 * block from the C heap, owned by the caller and released with lyrn_free(),
 * from any thread. The results of lyrn_version() and lyrn_last_error() belong
 * to the library and are never released. Input strings are only read.
 *
 * Last error: each thread has its own last-error text, empty at first. Only
 * lyrn_parse_feed_json(), lyrn_discover_slugs_json() and
 * lyrn_build_user_feed_url() write it: they either leave one message and
 * return NULL, or clear it and return. The other functions never touch it.
 * The messages are short lower-case texts without a full stop:
 * "null xml", "null html", "invalid base_url", "invalid user_id",
 * "invalid slug", "out of memory".
 *
 * Threads: every function may run on any number of threads at once. There is
 * no initialisation or shutdown call and no global state beyond the
 * per-thread last error. Character classes and number reading follow the "C"
 * locale whatever locale the host has set.
 */
#ifndef LYRN_H
#define LYRN_H

#include <stddef.h>
#include <stdint.h>

#define LYRN_VERSION_MAJOR 1
#define LYRN_VERSION_MINOR 0
#define LYRN_VERSION_PATCH 0

/* Marks the exports; everything else in the library is hidden. On Windows a
 * DLL build defines LYRN_BUILDING_DLL and its hosts import; a static build
 * defines LYRN_STATIC for itself and its hosts (the CMake target and the
 * pkg-config file pass it on). */
#if defined(_WIN32) || defined(__CYGWIN__)
#  if defined(LYRN_STATIC)
#    define LYRN_API
#  elif defined(LYRN_BUILDING_DLL)
#    define LYRN_API __declspec(dllexport)
#  else
#    define LYRN_API __declspec(dllimport)
#  endif
#elif defined(__GNUC__)
#  define LYRN_API __attribute__((visibility("default")))
#else
#  define LYRN_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* ---- Version ------------------------------------------------------------ */

/* The library version, "1.0.0". The same pointer on every call; never
 * released. Does not touch the last error. */
LYRN_API const char *lyrn_version(void);

/* The ABI version, 1 (the major number of the shared library's SONAME).
 * Does not touch the last error. */
LYRN_API int32_t lyrn_abi_version(void);

/* ---- Memory and errors -------------------------------------------------- */

/* Releases a string returned by this library. NULL is accepted and does
 * nothing. Does not touch the last error. */
LYRN_API void lyrn_free(void *ptr);

/* The calling thread's last-error text: never NULL, the empty string when no
 * message is set. The pointer is the same on every call from one thread and
 * stays valid until that thread ends; never released. Its content changes
 * only when this thread calls lyrn_parse_feed_json(),
 * lyrn_discover_slugs_json() or lyrn_build_user_feed_url(). */
LYRN_API const char *lyrn_last_error(void);

/* ---- Feed conversion ---------------------------------------------------- */

/* Converts an RSS 2.0 feed with iTunes podcast tags into a compact JSON
 * playlist document:
 *   {"name":...,"feedURL":...,"artworkURL":...|null,"trackCount":N,
 *    "totalDuration":S,"tracks":[{"title":...,"artist":...,"duration":S,
 *    "streamURL":...,"artworkURL":...|null,"publishTimestamp":T,
 *    "byteLength":B},...]}
 * One track for every item with an enclosure URL not seen before. Malformed
 * markup is never an error: what cannot be read is skipped.
 *
 * feed:     the feed's bytes. NULL is an error ("null xml").
 * feed_len: how many bytes to read; 0 means `feed` is NUL-terminated and is
 *           measured. With a non-zero length a NUL byte is an ordinary byte.
 * feed_url: where the host fetched the feed; NULL is written as "". Used for
 *           "feedURL" and, when the channel has no title, for the playlist
 *           name (the folder that holds the feed file, else "Playlist").
 *
 * Returns a new string (release with lyrn_free), or NULL: for a NULL feed
 * (last error "null xml"), or when the document cannot be written (a text
 * that is not valid UTF-8, a duration that is not finite, no memory), and
 * then the last error is empty. Clears the last error on every other return. */
LYRN_API char *lyrn_parse_feed_json(const char *feed, size_t feed_len,
                                    const char *feed_url);

/* ---- Durations, dates and titles ---------------------------------------- */

/* Reads a duration: "SS", "MM:SS" or "HH:MM:SS". Each field is a number as
 * strtod reads it in the "C" locale, so fractions, exponents and hexadecimal
 * forms count ("1.5", "1e2" is 100, "0x10" is 16); a field that is negative,
 * infinite or NaN ("-5", "inf", "1e999") makes the whole text unreadable.
 * Minutes and seconds are not limited to 59 ("1:75" is 135). Whitespace
 * around fields is allowed. A trailing ':' is ignored, and so is a ':' after
 * the third field with everything after it ("1:2:3:4" is 3723); anything
 * else after a field makes the text unreadable ("1:2:3 x" and "3: " are 0).
 * Fields that are each finite can still combine to infinity ("1e307:0"),
 * which is returned as it is.
 * Returns seconds, or 0 for NULL and for text that cannot be read (0 also
 * means a zero duration). Does not touch the last error. */
LYRN_API double lyrn_parse_duration(const char *text);

/* Writes `seconds` as clock text into buf: "M:SS" below an hour, else
 * "H:MM:SS" (hours not wrapped); "0:00" for zero, negative, NaN and infinite
 * values. Fractions are dropped. Values of 2^63 seconds and above are written
 * as 2^63 - 1 seconds ("2562047788015215:30:07"), so the longest text is 22
 * bytes and a buffer of 23 bytes always holds it.
 * Returns the length written (without the NUL), or -1 when buf is NULL,
 * buf_size is 0 or the text does not fit (then buf holds the text cut to
 * buf_size - 1 bytes). Does not touch the last error. */
LYRN_API int32_t lyrn_format_duration(double seconds, char *buf, size_t buf_size);

/* Reads a publication date in the RFC 2822 form
 * ("Tue, 02 Jan 2024 10:00:00 +0200"; named zones are taken as UTC) or the
 * ISO 8601 form ("2024-01-02T10:00:00", taken as UTC).
 * Returns Unix seconds, or 0 for NULL and for text that cannot be read.
 * Does not touch the last error. */
LYRN_API int64_t lyrn_parse_rfc2822_date(const char *text);

/* Cleans a track title that is a file name: trims it, removes one bracketed
 * 11-character identifier at its end ("[4hjgkvuKES8]"), turns underscores
 * into spaces and collapses runs of separators into one space:
 * "O_Holy_Night [4hjgkvuKES8]" gives "O Holy Night".
 * NULL gives "". Returns a new string (release with lyrn_free), or NULL only
 * when memory runs out. Does not touch the last error. */
LYRN_API char *lyrn_clean_title(const char *title);

/* ---- Feed locations ----------------------------------------------------- */

/* Checks a feed URL: "http://" or "https://" in any case, an authority of 1
 * to 255 bytes that does not start with '/', '?' or '#', and no byte of 0x20
 * or below or 0x7F anywhere. Returns 0 when acceptable, -1 otherwise
 * (NULL and "" included). Does not touch the last error. */
LYRN_API int32_t lyrn_validate_feed_url(const char *url);

/* Builds base_url + "/" + user_id + "/" + slug + "/feed.xml", with the
 * trailing '/' characters of base_url removed first. base_url must pass
 * lyrn_validate_feed_url(); user_id and slug must be single safe path
 * segments (not empty, not "." or "..", no control byte, space, '#', '%',
 * '/', '?', '\\' or DEL). NULL arguments are invalid.
 * Returns a new string (release with lyrn_free) and clears the last error,
 * or NULL with the last error "invalid base_url", "invalid user_id",
 * "invalid slug" (checked in this order) or "out of memory". */
LYRN_API char *lyrn_build_user_feed_url(const char *base_url, const char *user_id,
                                        const char *slug);

/* Finds a user's feed slugs in the HTML index page of the user's directory:
 * every link href="./NAME/" (or with apostrophes) whose NAME is a safe path
 * segment, in order of first appearance and without exact duplicates. A
 * folder whose whole name is "video" in any letter case ("Video", "VIDEO")
 * is left out; names that merely contain it ("videos", "my-video") stay.
 * The first "all" (any letter case) after the first place is moved to the
 * front. Returns a compact JSON array of strings such as
 * ["all","worship"], or [] when there is none.
 *
 * html:     the listing's bytes; NULL with html_len 0 is an empty listing,
 *           NULL with any other length is an error ("null html").
 * html_len: how many bytes to read; 0 means `html` is NUL-terminated.
 *
 * Returns a new string (release with lyrn_free), or NULL: for the "null html"
 * case, or when the array cannot be written (a slug that is not valid UTF-8,
 * no memory), and then the last error is empty. Clears the last error on
 * every return but the "null html" one. */
LYRN_API char *lyrn_discover_slugs_json(const char *html, size_t html_len);

/* ---- Self-test ---------------------------------------------------------- */

/* Runs ten fixed checks of the other functions and stops at the first that
 * fails. Returns 0 when all pass, else the number (1 to 10) of the failing
 * check. Prints and keeps nothing; releases everything it obtained.
 * Changes the calling thread's last error through the functions it calls,
 * as they always do: check 7 leaves "invalid user_id" (it asks
 * lyrn_build_user_feed_url() for a user id of "../etc") and checks 8 to 10
 * clear it again, so after a passing run the last error is empty. A run
 * that stops before check 7 leaves it as it was; one that stops at check 8
 * may leave the message of the call that failed there. */
LYRN_API int32_t lyrn_selftest(void);

#ifdef __cplusplus
}
#endif

#endif /* LYRN_H */
