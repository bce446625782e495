// SPDX-License-Identifier: MIT
package lyrn

import (
	"encoding/json"
	"os"
	"path/filepath"
	"sort"
	"strings"
	"testing"
)

// benchFeeds are the files in LYRN_BENCH_FEEDS (a folder of .xml files, such
// as bindings/go/bench.sh writes with the C benchmark's generator), else the
// sample feed alone for a quick smoke run.
func benchFeeds(b *testing.B) map[string][]byte {
	paths := []string{samplePath}
	if dir := os.Getenv("LYRN_BENCH_FEEDS"); dir != "" {
		found, err := filepath.Glob(filepath.Join(dir, "*.xml"))
		if err != nil || len(found) == 0 {
			b.Fatalf("LYRN_BENCH_FEEDS=%s holds no .xml file", dir)
		}
		paths = found
	}
	feeds := map[string][]byte{}
	for _, p := range paths {
		data, err := os.ReadFile(p)
		if err != nil {
			b.Fatal(err)
		}
		feeds[strings.TrimSuffix(filepath.Base(p), ".xml")] = data
	}
	return feeds
}

// Both converters must find the same tracks, or the figures compare different work.
func sameTracks(b *testing.B, name string, feed []byte) {
	p, err := ParseFeed(feed, "")
	if err != nil {
		b.Fatal(err)
	}
	doc, err := stdConvert(feed, "")
	if err != nil {
		b.Fatalf("%s: encoding/xml: %v", name, err)
	}
	var q stdPlaylist
	if err := json.Unmarshal(doc, &q); err != nil {
		b.Fatal(err)
	}
	if len(p.Tracks) != len(q.Tracks) {
		b.Fatalf("%s: lyrn found %d tracks, encoding/xml %d", name, len(p.Tracks), len(q.Tracks))
	}
	for i := range p.Tracks {
		if p.Tracks[i].StreamURL != q.Tracks[i].StreamURL || p.Tracks[i].ByteLength != q.Tracks[i].ByteLength {
			b.Fatalf("%s: track %d differs: %+v / %+v", name, i, p.Tracks[i], q.Tracks[i])
		}
	}
}

// BenchmarkConvert converts each feed with the package (lyrn) and with
// encoding/xml and encoding/json (encoding-xml); MB/s is of feed bytes.
func BenchmarkConvert(b *testing.B) {
	feeds := benchFeeds(b)
	names := make([]string, 0, len(feeds))
	for n := range feeds {
		names = append(names, n)
	}
	sort.Strings(names)
	for _, name := range names {
		feed := feeds[name]
		sameTracks(b, name, feed)
		b.Run(name+"/lyrn", func(b *testing.B) {
			b.SetBytes(int64(len(feed)))
			for i := 0; i < b.N; i++ {
				if _, err := ParseFeedJSON(feed, ""); err != nil {
					b.Fatal(err)
				}
			}
		})
		b.Run(name+"/encoding-xml", func(b *testing.B) {
			b.SetBytes(int64(len(feed)))
			for i := 0; i < b.N; i++ {
				if _, err := stdConvert(feed, ""); err != nil {
					b.Fatal(err)
				}
			}
		})
	}
}
