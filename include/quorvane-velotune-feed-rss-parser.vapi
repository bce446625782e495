/* SPDX-License-Identifier: MIT */
/*
 * Vala bindings for lyrn.h: valac --pkg quorvane-velotune-feed-rss-parser.
 * The names drop the lyrn_ prefix: Lyrn.parse_feed_json(), Lyrn.last_error().
 * Strings the library returns come back as Lyrn.String, a string that valac
 * releases with lyrn_free(); keep that type (or `var`) for the variable that
 * owns the result. Link with the library, e.g.
 *   valac --pkg quorvane-velotune-feed-rss-parser \
 *     -X $(pkg-config --libs quorvane-velotune-feed-rss-parser) app.vala
 */
[CCode (cheader_filename = "lyrn.h", lower_case_cprefix = "lyrn_")]
namespace Lyrn {
	[CCode (cname = "LYRN_VERSION_MAJOR")]
	public const int VERSION_MAJOR;
	[CCode (cname = "LYRN_VERSION_MINOR")]
	public const int VERSION_MINOR;
	[CCode (cname = "LYRN_VERSION_PATCH")]
	public const int VERSION_PATCH;

	/* A NUL-terminated string from the library's heap, owned by the caller
	 * and released with lyrn_free(). Usable wherever a string is. */
	[Compact]
	[Immutable]
	[CCode (cname = "char", const_cname = "const char", free_function = "lyrn_free", copy_function = "g_strdup")]
	public class String : string {
	}

	/* "1.0.0"; owned by the library. */
	public unowned string version ();
	/* 1, the SONAME's major number. */
	public int32 abi_version ();
	/* Releases a string returned by the library; valac calls it for Lyrn.String. */
	public void free (void* ptr);
	/* The calling thread's last-error text, "" when none; owned by the library.
	 * Written only by parse_feed_json(), discover_slugs_json() and
	 * build_user_feed_url(). */
	public unowned string last_error ();

	/* The JSON playlist document of an RSS feed; null for a null feed (last
	 * error "null xml") or when the document cannot be written (a text that
	 * is not valid UTF-8, a non-finite duration, no memory; last error "").
	 * length: how many bytes of feed to read; 0 means feed is NUL-terminated.
	 * feed_url: where the feed came from; null is written as "". */
	public Lyrn.String? parse_feed_json (string? feed, size_t length, string? feed_url);

	/* "SS", "MM:SS" or "HH:MM:SS" to seconds; 0 when unreadable. */
	public double parse_duration (string? text);
	/* Seconds as "M:SS" or "H:MM:SS" into buf (its length is passed);
	 * "0:00" for zero, negative, NaN and infinite values; at most 22 bytes.
	 * Returns the length written, or -1 when it does not fit. */
	public int32 format_duration (double seconds, [CCode (array_length_type = "size_t")] char[] buf);
	/* An RFC 2822 or ISO 8601 date to Unix seconds; 0 when unreadable. */
	public int64 parse_rfc2822_date (string? text);
	/* "O_Holy_Night [4hjgkvuKES8]" to "O Holy Night"; null only without memory. */
	public Lyrn.String? clean_title (string? title);

	/* 0 for an acceptable http(s) feed URL, -1 otherwise. */
	public int32 validate_feed_url (string? url);
	/* base_url/user_id/slug/feed.xml; null with the last error
	 * "invalid base_url", "invalid user_id", "invalid slug" or "out of memory". */
	public Lyrn.String? build_user_feed_url (string? base_url, string? user_id, string? slug);
	/* The feed folders of a directory listing as a JSON array; null for a null
	 * html with a non-zero length ("null html") or when the array cannot be
	 * written (last error ""). html_len 0 means html is NUL-terminated. */
	public Lyrn.String? discover_slugs_json (string? html, size_t html_len);

	/* Runs ten built-in checks: 0 when all pass, else the failing check's number. */
	public int32 selftest ();
}
