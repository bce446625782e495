// SPDX-License-Identifier: MIT

// Package lyrn turns podcast-style RSS feeds of music channels into JSON
// playlists, through the C library libquorvane-velotune-feed-rss-parser,
// found with pkg-config.
//
// Every function may run on any number of goroutines at once. The library
// keeps a last-error text per OS thread; the functions that can fail read it
// inside the same C call that failed, so a goroutine moving between threads
// never sees another call's message. Every string the library returns is
// copied into Go and released with lyrn_free before the function returns.
package lyrn

// #cgo pkg-config: quorvane-velotune-feed-rss-parser
// #include <stdlib.h>
// #include <string.h>
// #include <lyrn.h>
//
// // Copies the calling thread's last error into err (size n, n > 0) when a
// // call returned NULL, while still on the thread that made the call.
// static char *lyrn_go_result(char *result, char *err, size_t n) {
//   if (!result) {
//     strncpy(err, lyrn_last_error(), n - 1);
//     err[n - 1] = '\0';
//   }
//   return result;
// }
//
// // An empty feed goes as "" with length 0, which the library measures as
// // empty; Go has no pointer for an empty slice.
// static char *lyrn_go_parse_feed(const char *feed, size_t len, const char *url, char *err, size_t n) {
//   if (len == 0) feed = "";
//   return lyrn_go_result(lyrn_parse_feed_json(feed, len, url), err, n);
// }
//
// static char *lyrn_go_build_url(const char *base, const char *user, const char *slug, char *err, size_t n) {
//   return lyrn_go_result(lyrn_build_user_feed_url(base, user, slug), err, n);
// }
//
// static char *lyrn_go_slugs(const char *html, size_t len, char *err, size_t n) {
//   return lyrn_go_result(lyrn_discover_slugs_json(html, len), err, n);
// }
import "C"

import (
	"encoding/json"
	"errors"
	"strings"
	"unsafe"
)

// Error is a failure the library reported, or one this package found before
// calling it. Its text is the library's message where there is one.
type Error struct {
	msg string
}

func (e *Error) Error() string { return e.msg }

// The library's messages, returned as these values so that callers can
// compare with errors.Is.
var (
	ErrInvalidBaseURL = &Error{"invalid base_url"}
	ErrInvalidUserID  = &Error{"invalid user_id"}
	ErrInvalidSlug    = &Error{"invalid slug"}
	ErrOutOfMemory    = &Error{"out of memory"}
	// The feed holds text that is not valid UTF-8, or a duration that is not finite.
	ErrFeedNotWritable = &Error{"the playlist could not be written: the feed is not valid UTF-8 or holds a non-finite number"}
	// A slug in the listing is not valid UTF-8.
	ErrSlugsNotWritable = &Error{"the slug list could not be written: a slug is not valid UTF-8"}
	// A text argument holds a NUL character, which the library cannot read past.
	ErrInteriorNUL = &Error{"the text holds a NUL character"}
)

var known = map[string]*Error{}

func init() {
	for _, e := range []*Error{ErrInvalidBaseURL, ErrInvalidUserID, ErrInvalidSlug, ErrOutOfMemory} {
		known[e.msg] = e
	}
}

// The last-error texts are short; this holds the longest with room to spare.
const errBufSize = 64

func failure(buf *[errBufSize]C.char, fallback *Error) error {
	msg := C.GoString(&buf[0])
	if msg == "" {
		return fallback
	}
	if e, ok := known[msg]; ok {
		return e
	}
	return &Error{msg}
}

// take copies a string the library returned and releases it.
func take(p *C.char) string {
	s := C.GoString(p)
	C.lyrn_free(unsafe.Pointer(p))
	return s
}

// span hands bytes over with their length, without a copy: the slice holds
// no Go pointers. An empty one gives NULL, which the C helpers replace.
func span(b []byte) (*C.char, C.size_t) {
	if len(b) == 0 {
		return nil, 0
	}
	return (*C.char)(unsafe.Pointer(&b[0])), C.size_t(len(b))
}

// cSegment is for the URL checks, which reject every control byte: a NUL
// becomes 0x01, which fails the same check, so the library still judges the
// whole text and gives its own message. Release the result with C.free.
func cSegment(s string) *C.char {
	return C.CString(strings.ReplaceAll(s, "\x00", "\x01"))
}

// Version returns the library's version, "1.0.0".
func Version() string { return C.GoString(C.lyrn_version()) }

// ABIVersion returns the ABI version, the major number of the shared
// library's SONAME: 1.
func ABIVersion() int { return int(C.lyrn_abi_version()) }

// LastError returns the last-error text of the OS thread the calling
// goroutine runs on, "" when none. Only meaningful between calls made under
// runtime.LockOSThread; the functions here return that text as their error.
func LastError() string { return C.GoString(C.lyrn_last_error()) }

// ParseFeedJSON converts an RSS 2.0 feed with iTunes podcast tags into the
// compact JSON playlist document, exactly as the library writes it:
//
//	{"name":...,"feedURL":...,"artworkURL":...|null,"trackCount":N,"totalDuration":S,
//	 "tracks":[{"title":...,"artist":...,"duration":S,"streamURL":...,
//	            "artworkURL":...|null,"publishTimestamp":T,"byteLength":B},...]}
//
// One track for every item with an enclosure URL not seen before. Malformed
// markup is never an error: what cannot be read is skipped. The feed is read
// with its exact length, so a NUL byte in it is an ordinary byte.
//
// feedURL is where the feed was fetched: the document's "feedURL" and, when
// the channel has no title, the source of the playlist's name (the folder
// that holds the feed file, else "Playlist").
//
// It fails with ErrFeedNotWritable when the feed holds text that is not
// valid UTF-8 or a duration that is not finite, and with ErrInteriorNUL when
// feedURL holds a NUL.
func ParseFeedJSON(feed []byte, feedURL string) (string, error) {
	if strings.IndexByte(feedURL, 0) >= 0 {
		return "", ErrInteriorNUL
	}
	var url *C.char
	if feedURL != "" {
		url = C.CString(feedURL)
		defer C.free(unsafe.Pointer(url))
	}
	var buf [errBufSize]C.char
	p, n := span(feed)
	doc := C.lyrn_go_parse_feed(p, n, url, &buf[0], errBufSize)
	if doc == nil {
		return "", failure(&buf, ErrFeedNotWritable)
	}
	return take(doc), nil
}

// Track is one track of a Playlist.
type Track struct {
	Title  string `json:"title"`
	Artist string `json:"artist"` // "" when none
	// Seconds; 0 when the item gives none.
	Duration  float64 `json:"duration"`
	StreamURL string  `json:"streamURL"`
	// The item's artwork, else the channel's, else nil.
	ArtworkURL *string `json:"artworkURL"`
	// Unix seconds; 0 when the item has no readable date.
	PublishTimestamp int64 `json:"publishTimestamp"`
	// The enclosure's length in bytes; 0 when none.
	ByteLength int64 `json:"byteLength"`
}

// Playlist is the document of ParseFeedJSON as Go values.
type Playlist struct {
	Name       string  `json:"name"`
	FeedURL    string  `json:"feedURL"`
	ArtworkURL *string `json:"artworkURL"`
	TrackCount int     `json:"trackCount"`
	// The sum of the tracks' positive durations, in seconds.
	TotalDuration float64 `json:"totalDuration"`
	Tracks        []Track `json:"tracks"`
}

// ParseFeed is ParseFeedJSON read into a Playlist. Same arguments and errors.
func ParseFeed(feed []byte, feedURL string) (*Playlist, error) {
	doc, err := ParseFeedJSON(feed, feedURL)
	if err != nil {
		return nil, err
	}
	var p Playlist
	if err := json.Unmarshal([]byte(doc), &p); err != nil {
		return nil, err
	}
	return &p, nil
}

// ParseDuration reads a duration, "SS", "MM:SS" or "HH:MM:SS", each field a
// non-negative number ("1.5" counts; whitespace around fields is allowed; a
// trailing ':' is ignored, and so is a ':' after the third field with
// everything after it, "1:2:3:4" is 3723; any other text after a field makes
// the text unreadable, "1:2:3 x" is 0): ParseDuration("3:44") is 224. It
// returns 0 for text that cannot be read, one holding a NUL included (0 also
// means a zero duration).
func ParseDuration(text string) float64 {
	if strings.IndexByte(text, 0) >= 0 {
		return 0
	}
	c := C.CString(text)
	defer C.free(unsafe.Pointer(c))
	return float64(C.lyrn_parse_duration(c))
}

// FormatDuration writes seconds as clock text: "M:SS" below an hour, else
// "H:MM:SS" (hours not wrapped); "0:00" for zero, negative, NaN and infinite
// values. Fractions are dropped: FormatDuration(4586.9) is "1:16:26".
func FormatDuration(seconds float64) string {
	// The longest text, a 64-bit hour count and ":MM:SS", is 27 bytes.
	var buf [64]C.char
	n := C.lyrn_format_duration(C.double(seconds), &buf[0], C.size_t(len(buf)))
	if n < 0 {
		panic("lyrn: clock text longer than 64 bytes")
	}
	return C.GoStringN(&buf[0], C.int(n))
}

// ParseRFC2822Date reads a publication date in the RFC 2822 form
// ("Tue, 02 Jan 2024 10:00:00 +0200"; named zones are taken as UTC) or the
// ISO 8601 form ("2024-01-02T10:00:00", taken as UTC) into Unix seconds.
// ok is false for text that cannot be read (one holding a NUL included); the
// library reports that as 0, so 1970-01-01 00:00:00 UTC also gives false.
func ParseRFC2822Date(text string) (seconds int64, ok bool) {
	if strings.IndexByte(text, 0) >= 0 {
		return 0, false
	}
	c := C.CString(text)
	defer C.free(unsafe.Pointer(c))
	seconds = int64(C.lyrn_parse_rfc2822_date(c))
	return seconds, seconds != 0
}

// CleanTitle cleans a track title that is a file name: it trims it, removes
// one bracketed 11-character identifier at its end, turns underscores into
// spaces and collapses runs of separators: CleanTitle("O_Holy_Night
// [4hjgkvuKES8]") is "O Holy Night". It fails with ErrInteriorNUL for a
// title holding a NUL and with ErrOutOfMemory when memory runs out.
func CleanTitle(title string) (string, error) {
	if strings.IndexByte(title, 0) >= 0 {
		return "", ErrInteriorNUL
	}
	c := C.CString(title)
	defer C.free(unsafe.Pointer(c))
	p := C.lyrn_clean_title(c)
	if p == nil {
		return "", ErrOutOfMemory
	}
	return take(p), nil
}

// IsValidFeedURL checks a feed URL: "http://" or "https://" in any case, an
// authority of 1 to 255 bytes that does not start with '/', '?' or '#', and
// no byte of 0x20 or below or 0x7F anywhere (NUL included). "" is not valid.
func IsValidFeedURL(url string) bool {
	c := cSegment(url)
	defer C.free(unsafe.Pointer(c))
	return C.lyrn_validate_feed_url(c) == 0
}

// BuildUserFeedURL builds base/user/slug/feed.xml, with the trailing '/'
// characters of base removed first: BuildUserFeedURL(
// "https://feeds.example.com/music", "user-123", "all") is
// "https://feeds.example.com/music/user-123/all/feed.xml".
//
// base must pass IsValidFeedURL; user and slug must be single safe path
// segments (not empty, not "." or "..", no control character, space, '#',
// '%', '/', '?', '\\' or DEL). The error is the library's, checked in this
// order: ErrInvalidBaseURL, ErrInvalidUserID, ErrInvalidSlug; or
// ErrOutOfMemory.
func BuildUserFeedURL(base, user, slug string) (string, error) {
	b, u, s := cSegment(base), cSegment(user), cSegment(slug)
	defer C.free(unsafe.Pointer(b))
	defer C.free(unsafe.Pointer(u))
	defer C.free(unsafe.Pointer(s))
	var buf [errBufSize]C.char
	p := C.lyrn_go_build_url(b, u, s, &buf[0], errBufSize)
	if p == nil {
		return "", failure(&buf, &Error{"the feed URL could not be built"})
	}
	return take(p), nil
}

// DiscoverSlugsJSON finds a user's feed slugs in the HTML index page of the
// user's directory and returns the library's compact JSON array, such as
// ["all","worship"]: every link href="./NAME/" whose NAME is a safe path
// segment, in order of first appearance, without exact duplicates and
// without a folder named "video" in any case; the first "all" is moved to
// the front. It fails with ErrSlugsNotWritable when a slug is not valid UTF-8.
func DiscoverSlugsJSON(html []byte) (string, error) {
	var buf [errBufSize]C.char
	// An empty listing goes as NULL with length 0, which the library reads as empty.
	p, n := span(html)
	r := C.lyrn_go_slugs(p, n, &buf[0], errBufSize)
	if r == nil {
		return "", failure(&buf, ErrSlugsNotWritable)
	}
	return take(r), nil
}

// DiscoverSlugs is DiscoverSlugsJSON read into a slice.
func DiscoverSlugs(html []byte) ([]string, error) {
	text, err := DiscoverSlugsJSON(html)
	if err != nil {
		return nil, err
	}
	slugs := []string{}
	if err := json.Unmarshal([]byte(text), &slugs); err != nil {
		return nil, errors.New("lyrn: the library's slug list could not be read: " + err.Error())
	}
	return slugs, nil
}

// Selftest runs the library's ten fixed checks and stops at the first that
// fails. It returns 0 when all pass, else the number (1 to 10) of the
// failing check.
func Selftest() int { return int(C.lyrn_selftest()) }
