/* SPDX-License-Identifier: MIT */
/* The Vala binding's tests. Usage: lyrn_test SAMPLE_FEED EXPECTED_JSON, where
 * EXPECTED_JSON holds what `lyrn feed SAMPLE_FEED --url SAMPLE_URL` printed. */

const string SAMPLE_URL = "https://feeds.example.com/music/demo/all/feed.xml";

string sample_path;
string expected_path;

string read_file (string path) {
	string text;
	try {
		FileUtils.get_contents (path, out text);
	} catch (FileError e) {
		error ("%s", e.message);
	}
	return text;
}

void test_sample_matches_the_tool () {
	var feed = read_file (sample_path);
	var doc = Lyrn.parse_feed_json (feed, feed.length, SAMPLE_URL);
	assert_nonnull (doc);
	assert_cmpstr (doc + "\n", CompareOperator.EQ, read_file (expected_path));
	assert_cmpstr (Lyrn.last_error (), CompareOperator.EQ, "");
	// A length reads that many bytes; 0 measures a NUL-terminated feed.
	var cut = Lyrn.parse_feed_json ("<rss><channel><title>A</title><item><enclosure url=\"x\"/></item>", 30, null);
	assert_cmpstr (cut, CompareOperator.EQ,
		"{\"name\":\"A\",\"feedURL\":\"\",\"artworkURL\":null,\"trackCount\":0,\"totalDuration\":0.0,\"tracks\":[]}");
	var empty = Lyrn.parse_feed_json ("<rss/>", 0, null);
	assert_nonnull (empty);
	assert_null (Lyrn.parse_feed_json (null, 0, null));
	assert_cmpstr (Lyrn.last_error (), CompareOperator.EQ, "null xml");
	assert_null (Lyrn.parse_feed_json ("<rss><channel><title>\xff</title></channel></rss>", 0, null));
	assert_cmpstr (Lyrn.last_error (), CompareOperator.EQ, "");
}

void test_user_feed_urls () {
	var url = Lyrn.build_user_feed_url ("https://feeds.example.com/music/", "user-123", "all");
	assert_cmpstr (url, CompareOperator.EQ, "https://feeds.example.com/music/user-123/all/feed.xml");
	string[,] cases = {
		{ "https://feeds.example.com/music", "../etc", "all", "invalid user_id" },
		{ "ftp://x", "../etc", "..", "invalid base_url" },
		{ "https://feeds.example.com/music", "u", "a/b", "invalid slug" },
	};
	for (int i = 0; i < cases.length[0]; i++) {
		assert_null (Lyrn.build_user_feed_url (cases[i, 0], cases[i, 1], cases[i, 2]));
		assert_cmpstr (Lyrn.last_error (), CompareOperator.EQ, cases[i, 3]);
	}
	assert_null (Lyrn.build_user_feed_url (null, "u", "s"));
	assert_cmpstr (Lyrn.last_error (), CompareOperator.EQ, "invalid base_url");
}

void test_small_functions () {
	assert_cmpfloat (Lyrn.parse_duration ("1:16:26"), CompareOperator.EQ, 4586.0);
	assert_cmpfloat (Lyrn.parse_duration (null), CompareOperator.EQ, 0.0);
	char buf[16];
	assert_cmpint (Lyrn.format_duration (4586.9, buf), CompareOperator.EQ, 7);
	assert_cmpstr ((string) buf, CompareOperator.EQ, "1:16:26");
	char small[4];
	assert_cmpint (Lyrn.format_duration (4586, small), CompareOperator.EQ, -1);
	assert_cmpint ((int) Lyrn.parse_rfc2822_date ("Tue, 02 Jan 2024 10:00:00 +0200"), CompareOperator.EQ, 1704182400);
	assert_cmpstr (Lyrn.clean_title ("O_Holy_Night [4hjgkvuKES8]"), CompareOperator.EQ, "O Holy Night");
	assert_cmpint (Lyrn.validate_feed_url ("https://feeds.example.com/x"), CompareOperator.EQ, 0);
	assert_cmpint (Lyrn.validate_feed_url ("ftp://x"), CompareOperator.EQ, -1);
	var listing = "<a href=\"./worship/\">w</a><a href='./all/'>a</a><a href=\"./video/\">v</a>";
	assert_cmpstr (Lyrn.discover_slugs_json (listing, 0), CompareOperator.EQ, "[\"all\",\"worship\"]");
	assert_cmpstr (Lyrn.discover_slugs_json (null, 0), CompareOperator.EQ, "[]");
	assert_cmpstr (Lyrn.version (), CompareOperator.EQ,
		"%d.%d.%d".printf (Lyrn.VERSION_MAJOR, Lyrn.VERSION_MINOR, Lyrn.VERSION_PATCH));
	assert_cmpint (Lyrn.abi_version (), CompareOperator.EQ, Lyrn.VERSION_MAJOR);
	assert_cmpint (Lyrn.selftest (), CompareOperator.EQ, 0);
}

/* Eight threads convert their own feed and the sample at once, half of them
 * failing URL checks in between: each gets its own document and last error. */
void test_eight_threads () {
	var sample = read_file (sample_path);
	var sample_doc = Lyrn.parse_feed_json (sample, sample.length, SAMPLE_URL);
	Thread<bool>[] threads = {};
	for (int i = 0; i < 8; i++) {
		int n = i;
		threads += new Thread<bool> ("convert-%d".printf (n), () => {
			var feed = "<rss><channel><title>Channel %d</title><item><enclosure url=\"https://m.example/%d.m4a\"/></item></channel></rss>"
				.printf (n, n);
			var want = Lyrn.parse_feed_json (feed, 0, null);
			for (int round = 0; round < 200; round++) {
				var doc = Lyrn.parse_feed_json (feed, 0, null);
				if (doc != want || !doc.contains ("\"name\":\"Channel %d\"".printf (n)))
					return false;
				if (round % 10 == 0 && Lyrn.parse_feed_json (sample, sample.length, SAMPLE_URL) != sample_doc)
					return false;
				var url = Lyrn.build_user_feed_url ("https://a.example", n % 2 == 0 ? ".." : "u", "s");
				if ((url == null) != (n % 2 == 0) || Lyrn.last_error () != (n % 2 == 0 ? "invalid user_id" : ""))
					return false;
			}
			return true;
		});
	}
	foreach (var t in threads)
		assert_true (t.join ());
}

int main (string[] args) {
	Test.init (ref args);
	if (args.length != 3) {
		stderr.printf ("usage: %s SAMPLE_FEED EXPECTED_JSON\n", args[0]);
		return 2;
	}
	sample_path = args[1];
	expected_path = args[2];
	Test.add_func ("/lyrn/sample-matches-the-tool", test_sample_matches_the_tool);
	Test.add_func ("/lyrn/user-feed-urls", test_user_feed_urls);
	Test.add_func ("/lyrn/small-functions", test_small_functions);
	Test.add_func ("/lyrn/eight-threads", test_eight_threads);
	return Test.run ();
}
