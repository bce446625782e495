// SPDX-License-Identifier: MIT
package lyrn

import (
	"errors"
	"fmt"
	"math"
	"os"
	"os/exec"
	"path/filepath"
	"reflect"
	"strings"
	"sync"
	"testing"
)

const sampleURL = "https://feeds.example.com/music/demo/all/feed.xml"

var samplePath = filepath.Join("..", "..", "examples", "sample-feed.xml")

func readSample(t testing.TB) []byte {
	t.Helper()
	b, err := os.ReadFile(samplePath)
	if err != nil {
		t.Fatal(err)
	}
	return b
}

// tool is the built lyrn tool: LYRN_TOOL, else the source tree's build folder.
func tool() string {
	if p := os.Getenv("LYRN_TOOL"); p != "" {
		return p
	}
	p := filepath.Join("..", "..", "build", "tools", "lyrn")
	if _, err := os.Stat(p); err == nil {
		return p
	}
	return ""
}

func TestSampleFeedMatchesTheTool(t *testing.T) {
	doc, err := ParseFeedJSON(readSample(t), sampleURL)
	if err != nil {
		t.Fatal(err)
	}
	bin := tool()
	if bin == "" {
		t.Skip("no lyrn tool: set LYRN_TOOL or run `make run`")
	}
	out, err := exec.Command(bin, "feed", samplePath, "--url", sampleURL).Output()
	if err != nil {
		t.Fatalf("%s: %v", bin, err)
	}
	if string(out) != doc+"\n" {
		t.Fatalf("tool:    %s\nbinding: %s", out, doc)
	}
}

func TestTypedPlaylist(t *testing.T) {
	p, err := ParseFeed(readSample(t), sampleURL)
	if err != nil {
		t.Fatal(err)
	}
	if p.Name != "Lantern Street Sessions" || p.FeedURL != sampleURL || p.TrackCount != len(p.Tracks) {
		t.Fatalf("channel: %+v", p)
	}
	first := p.Tracks[0]
	want := Track{Title: "Paper Boats", Artist: "Lantern Street", Duration: 192,
		StreamURL: "https://media.example.com/lantern-street/Lx3mQ9vTa0B.m4a", ArtworkURL: p.ArtworkURL,
		PublishTimestamp: 1715018400, ByteLength: 3072000}
	if p.ArtworkURL == nil || *p.ArtworkURL != "https://img.example.com/channels/lantern-street/cover-1400.jpg" ||
		!reflect.DeepEqual(first, want) {
		t.Fatalf("first track: %+v", first)
	}
	if a := p.Tracks[1].ArtworkURL; a == nil || *a != "https://img.example.com/tracks/k2P-8sWq1Zc.jpg" {
		t.Fatalf("second track's own artwork: %v", a)
	}
}

func TestFeedEdges(t *testing.T) {
	// An empty slice is an empty feed, not a C string to measure.
	p, err := ParseFeed(nil, "")
	if err != nil || p.Name != "Playlist" || p.FeedURL != "" || len(p.Tracks) != 0 {
		t.Fatalf("empty feed: %+v %v", p, err)
	}
	// The exact length is passed: bytes after a NUL still count, and a
	// prefix of a buffer is converted as a prefix.
	feed := []byte("<rss><channel><title>A</title>\x00<item><enclosure url=\"x.m4a\"/></item></channel></rss>")
	if p, err := ParseFeed(feed, ""); err != nil || len(p.Tracks) != 1 || p.Tracks[0].StreamURL != "x.m4a" {
		t.Fatalf("NUL inside: %+v %v", p, err)
	}
	if p, err := ParseFeed(feed[:len(feed)-40], ""); err != nil || p.Name != "A" || len(p.Tracks) != 0 {
		t.Fatalf("prefix: %+v %v", p, err)
	}
	if p, _ := ParseFeed([]byte("<rss/>"), sampleURL); p.Name != "all" {
		t.Fatalf("name from the feed URL: %q", p.Name)
	}
	if _, err := ParseFeedJSON([]byte("<rss><channel><title>\xff</title></channel></rss>"), ""); err != ErrFeedNotWritable {
		t.Fatalf("invalid UTF-8: %v", err)
	}
	if _, err := ParseFeedJSON([]byte("<rss/>"), "https://a.example/\x00"); err != ErrInteriorNUL {
		t.Fatalf("NUL in the URL: %v", err)
	}
}

func TestBuildUserFeedURL(t *testing.T) {
	base := "https://feeds.example.com/music/"
	if u, err := BuildUserFeedURL(base, "user-123", "all"); err != nil || u != "https://feeds.example.com/music/user-123/all/feed.xml" {
		t.Fatalf("%q %v", u, err)
	}
	// The checks run in this order, and a NUL fails the check of the
	// argument that holds it.
	cases := []struct {
		base, user, slug string
		want             error
		msg              string
	}{
		{base, "../etc", "all", ErrInvalidUserID, "invalid user_id"},
		{"ftp://x", "../etc", "..", ErrInvalidBaseURL, "invalid base_url"},
		{base, "u", "a/b", ErrInvalidSlug, "invalid slug"},
		{base, "", "", ErrInvalidUserID, "invalid user_id"},
		{"https://a.example/\x00", "u", "s", ErrInvalidBaseURL, "invalid base_url"},
		{base, "u\x00", "..", ErrInvalidUserID, "invalid user_id"},
		{base, "u", "s\x00", ErrInvalidSlug, "invalid slug"},
	}
	for _, c := range cases {
		_, err := BuildUserFeedURL(c.base, c.user, c.slug)
		if !errors.Is(err, c.want) || err.Error() != c.msg {
			t.Errorf("%q %q %q: %v", c.base, c.user, c.slug, err)
		}
	}
}

func TestSmallFunctions(t *testing.T) {
	for text, want := range map[string]float64{"3:44": 224, "1:16:26": 4586, "1.5": 1.5, "": 0, "x": 0, "1:\x00": 0} {
		if got := ParseDuration(text); got != want {
			t.Errorf("ParseDuration(%q) = %v", text, got)
		}
	}
	for _, c := range []struct {
		s    float64
		want string
	}{{224, "3:44"}, {4586.9, "1:16:26"}, {-1, "0:00"}, {math.NaN(), "0:00"}, {1e18, "277777777777777:46:40"}} {
		if got := FormatDuration(c.s); got != c.want {
			t.Errorf("FormatDuration(%v) = %q", c.s, got)
		}
	}
	for _, c := range []struct {
		text string
		want int64
		ok   bool
	}{{"Tue, 02 Jan 2024 10:00:00 +0200", 1704182400, true}, {"2024-01-02T10:00:00", 1704189600, true}, {"soon", 0, false}} {
		if got, ok := ParseRFC2822Date(c.text); got != c.want || ok != c.ok {
			t.Errorf("ParseRFC2822Date(%q) = %v %v", c.text, got, ok)
		}
	}
	if s, err := CleanTitle("O_Holy_Night [4hjgkvuKES8]"); s != "O Holy Night" || err != nil {
		t.Errorf("CleanTitle: %q %v", s, err)
	}
	if _, err := CleanTitle("a\x00b"); err != ErrInteriorNUL {
		t.Errorf("CleanTitle with NUL: %v", err)
	}
	for url, want := range map[string]bool{"https://feeds.example.com/x": true, "HTTP://a": true, "ftp://a": false, "": false, "https://a\x00": false} {
		if IsValidFeedURL(url) != want {
			t.Errorf("IsValidFeedURL(%q) != %v", url, want)
		}
	}
	listing := []byte(`<a href="./worship/">w</a><a href='./all/'>a</a><a href="./Video/">v</a><a href="./worship/">again</a>`)
	if s, err := DiscoverSlugsJSON(listing); s != `["all","worship"]` || err != nil {
		t.Errorf("DiscoverSlugsJSON: %q %v", s, err)
	}
	if s, err := DiscoverSlugs(listing); strings.Join(s, ",") != "all,worship" || err != nil {
		t.Errorf("DiscoverSlugs: %q %v", s, err)
	}
	if s, err := DiscoverSlugs(nil); len(s) != 0 || s == nil || err != nil {
		t.Errorf("DiscoverSlugs(nil): %#v %v", s, err)
	}
	if _, err := DiscoverSlugs([]byte("<a href=\"./\xff/\">")); err != ErrSlugsNotWritable {
		t.Errorf("invalid UTF-8 slug: %v", err)
	}
	if Version() != "1.0.0" || ABIVersion() != 1 || Selftest() != 0 {
		t.Errorf("version %q, ABI %d, selftest %d", Version(), ABIVersion(), Selftest())
	}
}

// Eight goroutines at a time convert their own feeds and the sample while
// half of them fail URL checks: each gets its own document and its own error.
func TestGoroutinesConvertAtOnce(t *testing.T) {
	sample := readSample(t)
	sampleDoc, _ := ParseFeedJSON(sample, sampleURL)
	feedOf := func(i int) []byte {
		return []byte(fmt.Sprintf(`<rss><channel><title>Channel %d</title><item><title>T%d</title>`+
			`<enclosure url="https://m.example/%d.m4a" length="%d"/></item></channel></rss>`, i, i, i, i))
	}
	var wg sync.WaitGroup
	errs := make(chan string, 8)
	for i := 0; i < 8; i++ {
		wg.Add(1)
		go func(i int) {
			defer wg.Done()
			want, _ := ParseFeedJSON(feedOf(i), "")
			for round := 0; round < 300; round++ {
				doc, err := ParseFeedJSON(feedOf(i), "")
				if err != nil || doc != want || !strings.Contains(doc, fmt.Sprintf(`"name":"Channel %d"`, i)) {
					errs <- fmt.Sprintf("goroutine %d: %v %s", i, err, doc)
					return
				}
				if round%10 == 0 {
					if doc, err := ParseFeedJSON(sample, sampleURL); err != nil || doc != sampleDoc {
						errs <- fmt.Sprintf("goroutine %d: sample differs", i)
						return
					}
				}
				if i%2 == 0 {
					if _, err := BuildUserFeedURL("https://a.example", "..", "s"); err != ErrInvalidUserID {
						errs <- fmt.Sprintf("goroutine %d: %v", i, err)
						return
					}
				} else if _, err := BuildUserFeedURL("https://a.example", "u", "s"); err != nil {
					errs <- fmt.Sprintf("goroutine %d: %v", i, err)
					return
				}
			}
		}(i)
	}
	wg.Wait()
	close(errs)
	for e := range errs {
		t.Error(e)
	}
}
