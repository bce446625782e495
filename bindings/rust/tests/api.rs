// SPDX-License-Identifier: MIT
use std::path::PathBuf;
use std::process::Command;
use std::thread;

use lyrn::ErrorKind;

const SAMPLE_URL: &str = "https://feeds.example.com/music/demo/all/feed.xml";

fn repo() -> PathBuf {
    PathBuf::from(env!("CARGO_MANIFEST_DIR")).join("../..")
}

fn sample_feed() -> Vec<u8> {
    std::fs::read(repo().join("examples/sample-feed.xml")).expect("examples/sample-feed.xml")
}

/// The built tool: LYRN_TOOL, else the source tree's build folder.
fn tool() -> Option<PathBuf> {
    if let Some(path) = std::env::var_os("LYRN_TOOL") {
        return Some(PathBuf::from(path));
    }
    let built = repo().join("build/tools/lyrn");
    if built.exists() {
        Some(built)
    } else {
        None
    }
}

#[test]
fn sample_feed_matches_the_tool() {
    let feed = sample_feed();
    let doc = lyrn::parse_feed_json(&feed, Some(SAMPLE_URL)).unwrap();
    let tool = match tool() {
        Some(t) => t,
        None => {
            eprintln!("skipped: no lyrn tool (set LYRN_TOOL or run `make run`)");
            return;
        }
    };
    let out = Command::new(&tool)
        .args(["feed", "--url", SAMPLE_URL])
        .arg(repo().join("examples/sample-feed.xml"))
        .output()
        .expect("running the tool");
    assert!(out.status.success(), "{}", String::from_utf8_lossy(&out.stderr));
    assert_eq!(String::from_utf8(out.stdout).unwrap(), doc + "\n");
}

#[test]
fn typed_playlist_agrees_with_the_document() {
    let feed = sample_feed();
    let p = lyrn::parse_feed(&feed, Some(SAMPLE_URL)).unwrap();
    assert_eq!(p.name, "Lantern Street Sessions");
    assert_eq!(p.feed_url, SAMPLE_URL);
    assert_eq!(p.artwork_url.as_deref(), Some("https://img.example.com/channels/lantern-street/cover-1400.jpg"));
    let first = &p.tracks[0];
    assert_eq!(first.title, "Paper Boats");
    assert_eq!(first.artist, "Lantern Street");
    assert_eq!(first.duration, 192.0);
    assert_eq!(first.stream_url, "https://media.example.com/lantern-street/Lx3mQ9vTa0B.m4a");
    assert_eq!(first.publish_timestamp, 1715018400);
    assert_eq!(first.byte_length, 3072000);
    // The second item has artwork of its own; the first takes the channel's.
    assert_eq!(first.artwork_url, p.artwork_url);
    assert_eq!(p.tracks[1].artwork_url.as_deref(), Some("https://img.example.com/tracks/k2P-8sWq1Zc.jpg"));
    assert_eq!(p.tracks[1].artist, "Lantern Street & The Low Tides");

    let doc = lyrn::parse_feed_json(&feed, Some(SAMPLE_URL)).unwrap();
    assert!(doc.contains(&format!("\"trackCount\":{},", p.tracks.len())));
    let sum: f64 = p.tracks.iter().map(|t| t.duration).filter(|d| *d > 0.0).sum();
    assert!((sum - p.total_duration).abs() < 1e-6);
}

#[test]
fn feed_edges() {
    // An empty slice is an empty feed, not a C string to measure.
    let empty = lyrn::parse_feed(b"", None).unwrap();
    assert_eq!((empty.name.as_str(), empty.feed_url.as_str(), empty.tracks.len()), ("Playlist", "", 0));

    // The exact length is passed: bytes after a NUL still count, and a
    // prefix of a buffer is converted as a prefix.
    let feed = b"<rss><channel><title>A</title>\0<item><enclosure url=\"x.m4a\"/></item></channel></rss>";
    let p = lyrn::parse_feed(feed, None).unwrap();
    assert_eq!(p.tracks.len(), 1);
    assert_eq!(p.tracks[0].stream_url, "x.m4a");
    let cut = lyrn::parse_feed(&feed[..feed.len() - 40], None).unwrap();
    assert_eq!(cut.name, "A");
    assert_eq!(cut.tracks.len(), 0);

    // No channel title: the folder holding the feed names the playlist.
    assert_eq!(lyrn::parse_feed(b"<rss/>", Some(SAMPLE_URL)).unwrap().name, "all");

    let bad = lyrn::parse_feed_json(b"<rss><channel><title>\xff</title></channel></rss>", None).unwrap_err();
    assert_eq!(bad.kind(), ErrorKind::NotWritable);
    assert_eq!(lyrn::last_error(), "");
    let nul = lyrn::parse_feed_json(b"<rss/>", Some("https://a.example/x\0y")).unwrap_err();
    assert_eq!(nul.kind(), ErrorKind::InteriorNul);
}

#[test]
fn user_feed_urls() {
    let base = "https://feeds.example.com/music/";
    assert_eq!(
        lyrn::build_user_feed_url(base, "user-123", "all").unwrap(),
        "https://feeds.example.com/music/user-123/all/feed.xml"
    );
    assert_eq!(lyrn::last_error(), "");
    // (base, user, slug, kind, message): the checks run in this order, and a
    // NUL fails the check of the argument that holds it.
    let cases = [
        (base, "../etc", "all", ErrorKind::InvalidUserId, "invalid user_id"),
        ("ftp://x", "../etc", "..", ErrorKind::InvalidBaseUrl, "invalid base_url"),
        (base, "u", "a/b", ErrorKind::InvalidSlug, "invalid slug"),
        (base, "", "", ErrorKind::InvalidUserId, "invalid user_id"),
        ("https://a.example/\0", "u", "s", ErrorKind::InvalidBaseUrl, "invalid base_url"),
        (base, "u\0", "..", ErrorKind::InvalidUserId, "invalid user_id"),
        (base, "u", "s\0", ErrorKind::InvalidSlug, "invalid slug"),
    ];
    for (b, u, s, kind, message) in cases {
        let e = lyrn::build_user_feed_url(b, u, s).unwrap_err();
        assert_eq!((e.kind(), e.message(), e.to_string()), (kind, message, message.to_string()), "{:?}", (b, u, s));
        assert_eq!(lyrn::last_error(), message);
        let as_dyn: Box<dyn std::error::Error + Send + Sync> = Box::new(e);
        assert_eq!(as_dyn.to_string(), message);
    }
}

#[test]
fn small_functions() {
    for (text, seconds) in [("3:44", 224.0), ("1:16:26", 4586.0), ("1.5", 1.5), ("", 0.0), ("x", 0.0), ("1:\0", 0.0)] {
        assert_eq!(lyrn::parse_duration(text), seconds, "{:?}", text);
    }
    for (seconds, text) in [(224.0, "3:44"), (4586.9, "1:16:26"), (-1.0, "0:00"), (f64::NAN, "0:00"), (1e18, "277777777777777:46:40")] {
        assert_eq!(lyrn::format_duration(seconds), text, "{}", seconds);
    }
    assert_eq!(lyrn::parse_rfc2822_date("Tue, 02 Jan 2024 10:00:00 +0200"), Some(1704182400));
    assert_eq!(lyrn::parse_rfc2822_date("2024-01-02T10:00:00"), Some(1704189600));
    assert_eq!(lyrn::parse_rfc2822_date("soon"), None);
    assert_eq!(lyrn::clean_title("O_Holy_Night [4hjgkvuKES8]").unwrap(), "O Holy Night");
    assert_eq!(lyrn::clean_title("a\0b").unwrap_err().kind(), ErrorKind::InteriorNul);
    for (url, ok) in [("https://feeds.example.com/x", true), ("HTTP://a", true), ("ftp://a", false), ("", false), ("https://a\0", false)] {
        assert_eq!(lyrn::is_valid_feed_url(url), ok, "{:?}", url);
    }
    let listing = br#"<a href="./worship/">w</a><a href='./all/'>a</a><a href="./Video/">v</a><a href="./worship/">again</a>"#;
    assert_eq!(lyrn::discover_slugs_json(listing).unwrap(), r#"["all","worship"]"#);
    assert_eq!(lyrn::discover_slugs(listing).unwrap(), ["all", "worship"]);
    assert!(lyrn::discover_slugs(b"").unwrap().is_empty());
    assert_eq!(lyrn::discover_slugs(b"<a href=\"./\xff/\">").unwrap_err().kind(), ErrorKind::NotWritable);
    assert_eq!(lyrn::version(), "1.0.0");
    assert_eq!(lyrn::abi_version(), 1);
    assert_eq!(lyrn::selftest(), 0);
}

#[test]
fn eight_threads_convert_at_once() {
    fn assert_send_sync<T: Send + Sync>() {}
    assert_send_sync::<lyrn::Error>();
    assert_send_sync::<lyrn::Playlist>();

    // Each thread has its own feed and its own last error.
    let feed_of = |i: usize| {
        format!(
            "<rss><channel><title>Channel {i}</title><item><title>T{i}</title>\
             <enclosure url=\"https://m.example/{i}.m4a\" length=\"{i}\"/></item></channel></rss>"
        )
    };
    let expected: Vec<String> = (0..8).map(|i| lyrn::parse_feed_json(feed_of(i).as_bytes(), None).unwrap()).collect();
    let sample = sample_feed();
    let sample_doc = lyrn::parse_feed_json(&sample, Some(SAMPLE_URL)).unwrap();
    let handles: Vec<_> = (0..8)
        .map(|i| {
            let feed = feed_of(i);
            let sample = sample.clone();
            thread::spawn(move || {
                let mut docs = Vec::new();
                for round in 0..200 {
                    docs.push(lyrn::parse_feed_json(feed.as_bytes(), None).unwrap());
                    if round % 10 == 0 {
                        docs.push(lyrn::parse_feed_json(&sample, Some(SAMPLE_URL)).unwrap());
                    }
                    if i % 2 == 0 {
                        let e = lyrn::build_user_feed_url("https://a.example", "..", "s").unwrap_err();
                        assert_eq!(e.message(), "invalid user_id");
                    } else {
                        lyrn::build_user_feed_url("https://a.example", "u", "s").unwrap();
                        assert_eq!(lyrn::last_error(), "");
                    }
                }
                docs
            })
        })
        .collect();
    for (i, h) in handles.into_iter().enumerate() {
        for doc in h.join().unwrap() {
            assert!(doc == expected[i] || doc == sample_doc, "thread {}: {}", i, doc);
        }
    }
}
