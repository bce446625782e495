// SPDX-License-Identifier: MIT
package lyrn

// The benchmark's peer: what a Go developer writes with the standard library
// alone. encoding/xml decodes the feed into structs, the same fields are
// taken with the same rules where the structs can express them (first
// non-empty channel title, last non-empty artwork, first non-empty author,
// title from the stream URL, duplicate stream URLs dropped), and
// encoding/json writes the same members. Durations, dates and titles are
// read in Go. It is not byte-for-byte the library's document (number forms,
// positional artwork, tag-soup recovery), only the same work.

import (
	"bytes"
	"encoding/json"
	"encoding/xml"
	"strconv"
	"strings"
	"time"
)

const itunesNS = "http://www.itunes.com/dtds/podcast-1.0.dtd"

type stdImage struct {
	Href string `xml:"href,attr"`
}

type stdAuthor struct {
	Text string `xml:",chardata"`
}

type stdEnclosure struct {
	URL    string `xml:"url,attr"`
	Length string `xml:"length,attr"`
}

type stdItem struct {
	Titles     []string       `xml:"title"`
	Authors    []stdAuthor    `xml:"author"` // <author> and <itunes:author>, in document order
	Durations  []string       `xml:"http://www.itunes.com/dtds/podcast-1.0.dtd duration"`
	PubDates   []string       `xml:"pubDate"`
	Enclosures []stdEnclosure `xml:"enclosure"`
	Images     []stdImage     `xml:"http://www.itunes.com/dtds/podcast-1.0.dtd image"`
}

type stdRSS struct {
	Channel struct {
		Titles []string   `xml:"title"`
		Images []stdImage `xml:"http://www.itunes.com/dtds/podcast-1.0.dtd image"`
		Items  []stdItem  `xml:"item"`
	} `xml:"channel"`
}

type stdTrack struct {
	Title            string  `json:"title"`
	Artist           string  `json:"artist"`
	Duration         float64 `json:"duration"`
	StreamURL        string  `json:"streamURL"`
	ArtworkURL       *string `json:"artworkURL"`
	PublishTimestamp int64   `json:"publishTimestamp"`
	ByteLength       int64   `json:"byteLength"`
}

type stdPlaylist struct {
	Name          string     `json:"name"`
	FeedURL       string     `json:"feedURL"`
	ArtworkURL    *string    `json:"artworkURL"`
	TrackCount    int        `json:"trackCount"`
	TotalDuration float64    `json:"totalDuration"`
	Tracks        []stdTrack `json:"tracks"`
}

func stdDuration(text string) float64 {
	fields := strings.Split(strings.TrimSpace(text), ":")
	if len(fields) > 3 {
		fields = fields[:3]
	}
	total := 0.0
	for _, f := range fields {
		v, err := strconv.ParseFloat(strings.TrimSpace(f), 64)
		if err != nil || v < 0 {
			return 0
		}
		total = total*60 + v
	}
	return total
}

var stdDateLayouts = []string{time.RFC1123Z, time.RFC1123, "Mon, 2 Jan 2006 15:04:05 -0700", "2006-01-02T15:04:05"}

func stdDate(text string) int64 {
	text = strings.TrimSpace(text)
	for _, layout := range stdDateLayouts {
		if t, err := time.Parse(layout, text); err == nil {
			return t.Unix()
		}
	}
	return 0
}

func stdCleanTitle(title string) string {
	title = strings.TrimSpace(title)
	if n := len(title); n >= 13 && title[n-1] == ']' && title[n-13] == '[' {
		title = title[:n-13]
	}
	return strings.Join(strings.Fields(strings.ReplaceAll(title, "_", " ")), " ")
}

func stdTitleFromURL(url string) string {
	seg := url[strings.LastIndexByte(url, '/')+1:]
	if dot := strings.LastIndexByte(seg, '.'); dot > 0 {
		seg = seg[:dot]
	}
	if seg == "" {
		return "Track"
	}
	return seg
}

func lastNonEmpty(images []stdImage) *string {
	for i := len(images) - 1; i >= 0; i-- {
		if h := strings.TrimSpace(images[i].Href); h != "" {
			return &h
		}
	}
	return nil
}

func stdConvert(feed []byte, feedURL string) ([]byte, error) {
	var doc stdRSS
	d := xml.NewDecoder(bytes.NewReader(feed))
	d.Strict = false
	if err := d.Decode(&doc); err != nil {
		return nil, err
	}
	ch := &doc.Channel
	out := stdPlaylist{FeedURL: feedURL, ArtworkURL: lastNonEmpty(ch.Images), Tracks: []stdTrack{}}
	for _, t := range ch.Titles {
		if t = strings.TrimSpace(t); t != "" {
			out.Name = t
			break
		}
	}
	if out.Name == "" {
		out.Name = "Playlist"
	}
	seen := make(map[string]struct{}, len(ch.Items))
	for i := range ch.Items {
		it := &ch.Items[i]
		var url, length string
		for _, e := range it.Enclosures {
			if u := strings.TrimSpace(e.URL); u != "" {
				url = u
			}
			if e.Length != "" {
				length = e.Length
			}
		}
		if url == "" {
			continue
		}
		if _, dup := seen[url]; dup {
			continue
		}
		seen[url] = struct{}{}
		t := stdTrack{StreamURL: url, ArtworkURL: lastNonEmpty(it.Images)}
		if t.ArtworkURL == nil {
			t.ArtworkURL = out.ArtworkURL
		}
		title := ""
		if n := len(it.Titles); n > 0 {
			title = strings.TrimSpace(it.Titles[n-1])
		}
		if title == "" {
			title = stdTitleFromURL(url)
		}
		t.Title = stdCleanTitle(title)
		for _, a := range it.Authors {
			if s := strings.TrimSpace(a.Text); s != "" {
				t.Artist = s
				break
			}
		}
		if n := len(it.Durations); n > 0 {
			t.Duration = stdDuration(it.Durations[n-1])
		}
		if n := len(it.PubDates); n > 0 {
			t.PublishTimestamp = stdDate(it.PubDates[n-1])
		}
		if v, err := strconv.ParseInt(strings.TrimSpace(length), 10, 64); err == nil && v > 0 {
			t.ByteLength = v
		}
		if t.Duration > 0 {
			out.TotalDuration += t.Duration
		}
		out.Tracks = append(out.Tracks, t)
	}
	out.TrackCount = len(out.Tracks)
	return json.Marshal(&out)
}
