#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Usage: run_cli_tests.sh LYRN_BINARY INPUT_DIR
# Runs the command-line tool on each case of the table below and compares its
# exact standard output, standard error and exit status.
set -u
bin=$(realpath "$1") dir=$(realpath "$2")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 1
passed=0 failed=0

report() {  # report NAME OK [DETAILS]
  if [ "$2" = 1 ]; then
    passed=$((passed + 1))
  else
    failed=$((failed + 1))
    printf 'FAIL %s\n%s\n' "$1" "${3:-}"
  fi
}

# Writes an expected stream: "@FILE" is that file's bytes, "" is nothing,
# anything else is that text and a line break.
expected() {
  case $1 in
    @*) cat "${1#@}" ;;
    '') ;;
    *) printf '%s\n' "$1" ;;
  esac
}

# A batch summary ends in its time and rate; they become "in T".
normalise_timing() {
  sed -E 's/ in [0-9]+\.[0-9]+ s \([0-9]+\.[0-9] MB\/s\)$/ in T/' "$1" >"$1.tmp" && mv "$1.tmp" "$1"
}

# expect NAME STATUS STDOUT STDERR ARGS...   (standard input from $stdin_file)
stdin_file=/dev/null
expect() {
  local name=$1 want_rc=$2 want_out=$3 want_err=$4 rc ok=1 details=""
  shift 4
  "$bin" "$@" <"$stdin_file" >out 2>err
  rc=$?
  normalise_timing err
  expected "$want_out" >want_out
  expected "$want_err" >want_err
  if [ "$rc" != "$want_rc" ]; then ok=0; details+="exit status $rc, expected $want_rc"$'\n'; fi
  if ! cmp -s out want_out; then ok=0; details+="stdout:"$'\n'$(diff want_out out)$'\n'; fi
  if ! cmp -s err want_err; then ok=0; details+="stderr:"$'\n'$(diff want_err err)$'\n'; fi
  report "$name" "$ok" "$details"
}

# Inputs that are awkward to keep as files: empty, with a NUL byte, not UTF-8.
: >empty
printf '<rss><channel><title>Nul</title>\0<item><title>Song</title><enclosure url="s.mp3"/></item></channel></rss>' >nul.xml
printf '<rss><channel><title>\xff</title></channel></rss>' >bad-utf8.xml
printf '<a href="./\xff/">x</a>' >bad-utf8.html
mkdir dir

base=https://feeds.example.com/music
feed_url=$base/demo/all/feed.xml
mini_json='{"name":"Mix","feedURL":"","artworkURL":null,"trackCount":1,"totalDuration":224.0,"tracks":[{"title":"Song","artist":"","duration":224.0,"streamURL":"s1.m4a","artworkURL":null,"publishTimestamp":0,"byteLength":10}]}'
empty_json='{"name":"all","feedURL":"'$base'/u/all/feed.xml","artworkURL":null,"trackCount":0,"totalDuration":0.0,"tracks":[]}'
nul_json='{"name":"Nul","feedURL":"","artworkURL":null,"trackCount":1,"totalDuration":0.0,"tracks":[{"title":"Song","artist":"","duration":0.0,"streamURL":"s.mp3","artworkURL":null,"publishTimestamp":0,"byteLength":0}]}'
slugs_json='["all","worship","Rock"]'
not_utf8='invalid utf-8: the feed is not UTF-8: invalid sequence at'
try_options='; name its encoding with --encoding, or use --repair'

#      name                 exit stdout                    stderr    arguments
expect feed-file            0 "@$dir/feed.json"            ""        feed "$dir/feed.xml" --url "$feed_url"
expect feed-url-first       0 "@$dir/feed.json"            ""        feed --url="$feed_url" -- "$dir/feed.xml"
expect feed-empty-file      0 "$empty_json"    "lyrn: empty: warning: the input is empty" feed empty --url "$base/u/all/feed.xml"
expect feed-nul-byte        0 "$nul_json"                  ""        feed nul.xml
expect feed-invalid-utf8    1 "" "lyrn: bad-utf8.xml: $not_utf8 byte offset 21 (line 1, column 22), byte 0xFF$try_options" feed bad-utf8.xml
expect feed-missing-file    1 "" "lyrn: missing.xml: No such file or directory" feed missing.xml
expect feed-directory       1 "" "lyrn: dir: Is a directory"          feed dir
expect slugs-file           0 "$slugs_json"                ""        slugs "$dir/listing.html"
expect slugs-empty-file     0 "[]"                         ""        slugs empty
expect slugs-invalid-utf8   1 "" "lyrn: bad-utf8.html: invalid utf-8: the listing is not UTF-8: invalid sequence at byte offset 11 (line 1, column 12), byte 0xFF$try_options" slugs bad-utf8.html
expect url                  0 "$base/user-123/all/feed.xml" ""       url "$base//" user-123 all
expect url-bad-base         1 "" "lyrn: invalid base_url"            url ftp://files.example.org/music user-123 all
expect url-bad-user         1 "" "lyrn: invalid user_id"             url "$base" ../etc all
expect url-bad-slug         1 "" "lyrn: invalid slug"                url "$base" user-123 "a b"
expect check-url-valid      0 valid                        ""        check-url "$base/u/all/feed.xml"
expect check-url-invalid    1 invalid                      ""        check-url ftp://files.example.org/feed.xml
expect duration-clock       0 4586                         ""        duration 1:16:26
expect duration-fraction    0 224.5                        ""        duration 3:44.5
expect duration-tenth       0 0.1                          ""        duration 0.1
expect duration-thousand    0 1000                         ""        duration 1e3
expect duration-tiny        0 0.0000001                    ""        duration 1e-7
expect duration-huge        0 100000000000000000000000     ""        duration 1e23
expect duration-unreadable  0 0                            ""        duration abc
expect duration-minus-zero  0 0                            ""        duration -0
expect duration-infinite    0 inf                          ""        duration 1e307:0:0
expect duration-exponent-cut 0 0                           ""        duration 1e999
expect format-hours         0 1:16:26                      ""        format 4586
expect format-minutes       0 3:44                         ""        format " 224.9 "
expect format-negative      0 0:00                         ""        format -3
expect format-clamped       0 2562047788015215:30:07       ""        format 1e300
expect format-infinite      0 0:00                         ""        format inf
expect date-rfc2822         0 1704182400                   ""        date "Tue, 02 Jan 2024 10:00:00 +0200"
expect date-iso8601         0 1704189600                   ""        date 2024-01-02T10:00:00Z
expect date-unreadable      1 "" "lyrn: the date could not be read"  date "next tuesday"
expect title                0 "O Holy Night"               ""        title "O_Holy_Night [4hjgkvuKES8]"
expect selftest             0 0                            ""        selftest
expect version              0 "1.0.0 (ABI 1)"              ""        version

# Usage errors: one line saying what is wrong, one pointing at the help.
hint() { printf '%s\n%s' "$1" "Try 'lyrn ${2:---help}'."; }
expect no-command           2 "" "$(hint 'lyrn: missing command')"
expect unknown-command      2 "" "$(hint "lyrn: unknown command 'frobnicate'")"   frobnicate
expect help-unknown         2 "" "$(hint "lyrn: unknown command 'nope'")"         help nope
expect feed-unknown-option  2 "" "$(hint "lyrn: feed: unknown option '--bogus'" 'help feed')" feed --bogus
expect feed-url-no-value    2 "" "$(hint "lyrn: feed: option '--url' needs a value" 'help feed')" feed mini.xml --url
expect feed-two-files       2 "" "$(hint "lyrn: feed: several FILEs need -o DIR" 'help feed')" feed a.xml b.xml
expect slugs-two-files      2 "" "$(hint "lyrn: slugs: unexpected argument 'b.html'" 'help slugs')" slugs a.html b.html
expect feed-jobs-zero       2 "" "$(hint "lyrn: feed: '0' is not a number of jobs (1 to 4096)" 'help feed')" feed a.xml -o out --jobs 0
expect feed-batch-stdin     2 "" "$(hint "lyrn: feed: standard input ('-') cannot be part of a batch" 'help feed')" feed a.xml - -o out
expect feed-out-no-files    2 "" "$(hint "lyrn: feed: -o DIR needs FILE arguments" 'help feed')" feed -o out
expect feed-batch-url       2 "" "$(hint "lyrn: feed: --url names one feed, not several FILEs" 'help feed')" feed a.xml b.xml -o out --url "$feed_url"
expect feed-encoding-no-value 2 "" "$(hint "lyrn: feed: option '--encoding' needs a value" 'help feed')" feed a.xml --encoding
expect version-flag-extra   2 "" "$(hint "lyrn: --version takes no arguments")" --version now
expect url-missing-slug     2 "" "$(hint 'lyrn: url: missing SLUG' 'help url')"  url "$base" user-123
expect duration-missing     2 "" "$(hint 'lyrn: duration: missing TEXT' 'help duration')" duration
expect title-extra-arg      2 "" "$(hint "lyrn: title: unexpected argument 'b'" 'help title')" title a b
expect format-not-a-number  2 "" "$(hint "lyrn: format: '12abc' is not a number" 'help format')" format 12abc
expect format-empty         2 "" "$(hint "lyrn: format: '' is not a number" 'help format')" format ""
expect version-extra-arg    2 "" "$(hint "lyrn: version: unexpected argument 'now'" 'help version')" version now

# Standard input, named '-' or by leaving the file out.
stdin_file=$dir/mini.xml
expect feed-stdin           0 "$mini_json"                 ""        feed -
expect feed-stdin-implicit  0 "$mini_json"                 ""        feed
expect feed-stdin-pretty    0 "@$dir/mini.pretty.json"     ""        feed - --pretty
stdin_file=nul.xml
expect feed-stdin-nul-byte  0 "$nul_json"                  ""        feed -
stdin_file=$dir/listing.html
expect slugs-stdin          0 "$slugs_json"                ""        slugs -
expect slugs-stdin-too-large 1 "" "lyrn: standard input: the input is larger than the limit of 100 bytes (--max-input SIZE raises it)" slugs --max-input 100
expect slugs-missing-file   1 "" "lyrn: missing.html: No such file or directory" slugs missing.html
stdin_file=/dev/null

# Encodings. Each fixture is a one-track feed whose titles hold characters
# outside ASCII; every encoded form must give the same playlist.
feed_text() {  # feed_text ENCODING CHANNEL_TITLE TRACK_TITLE
  printf '<?xml version="1.0" encoding="%s"?>\n<rss><channel><title>%s</title>\n<item><title>%s</title><enclosure url="t.mp3"/></item></channel></rss>\n' "$@"
}
playlist() {  # playlist CHANNEL_TITLE TRACK_TITLE: what one-track feed_text gives
  printf '{"name":"%s","feedURL":"","artworkURL":null,"trackCount":1,"totalDuration":0.0,"tracks":[{"title":"%s","artist":"","duration":0.0,"streamURL":"t.mp3","artworkURL":null,"publishTimestamp":0,"byteLength":0}]}' "$1" "$2"
}
feed_text ISO-8859-1 $'Caf\xe9' $'D\xe9j\xe0 vu' >latin1.xml
feed_text windows-1252 $'\x93Live\x94' $'Price \x80 5' >cp1252.xml
feed_text windows-1252 $'A\x81' B >cp1252-bad.xml
feed_text x-unheard-of A B >unknown-declared.xml
{ printf '\xff\xfe'; feed_text UTF-16 Café 'Déjà vu' | iconv -f UTF-8 -t UTF-16LE; } >utf16le-bom.xml
feed_text UTF-16 Café 'Déjà vu' | iconv -f UTF-8 -t UTF-16BE >utf16be.xml
{ printf '\xfe\xff'; feed_text UTF-16 Café 'Déjà vu' | iconv -f UTF-8 -t UTF-16BE; } | head -c 101 >utf16-cut.xml
{ printf '\xef\xbb\xbf'; feed_text UTF-8 Café 'Déjà vu'; } >utf8-bom.xml
feed_text ISO-8859-1 Café 'Déjà vu' >stale-declaration.xml
feed_text UTF-16 Café 'Déjà vu' >not-utf16.xml
printf '<rss><channel><title>Caf\xe9</title>\n<item><title>Song</title><enclosure url="t.mp3"/></item></channel></rss>\n' >no-declaration.xml
cafe=$(playlist Café 'Déjà vu')
latin1_at="byte offset 68 (line 2, column 25), byte 0xE9$try_options"
expect feed-latin1          0 "$cafe"                      ""        feed latin1.xml
expect feed-cp1252          0 "$(playlist '“Live”' 'Price € 5')" "" feed cp1252.xml
expect feed-utf16le-bom     0 "$cafe"                      ""        feed utf16le-bom.xml
expect feed-utf16be-no-bom  0 "$cafe"                      ""        feed utf16be.xml
expect feed-utf8-bom        0 "$cafe"                      ""        feed utf8-bom.xml
expect feed-encoding-forced 0 "$(playlist Café Song)"      ""        feed no-declaration.xml --encoding latin1
expect feed-encoding-auto   0 "$cafe"                      ""        feed --encoding=auto latin1.xml
expect feed-encoding-none   1 "" "lyrn: latin1.xml: $not_utf8 $latin1_at" feed --encoding none latin1.xml
expect feed-forced-utf8     1 "" "lyrn: latin1.xml: $not_utf8 $latin1_at" feed --encoding utf-8 latin1.xml
expect feed-encoding-unknown 1 "" "lyrn: feed: unknown encoding: encoding 'x-bogus' is not known to iconv" feed latin1.xml --encoding x-bogus
expect feed-declared-unknown 1 "" "lyrn: unknown-declared.xml: unknown encoding: encoding 'x-unheard-of' named by the XML declaration at byte offset 30 (line 1, column 31) is not known to iconv" feed unknown-declared.xml
expect feed-declared-invalid 1 "" "lyrn: cp1252-bad.xml: cannot decode: invalid windows-1252 input at byte offset 68 (line 2, column 23), byte 0x81" feed cp1252-bad.xml
expect feed-utf16-cut       1 "" "lyrn: utf16-cut.xml: cannot decode: the input ends inside a UTF-16BE character at byte offset 100 (line 2, column 10)" feed utf16-cut.xml
expect feed-stale-declaration 0 "$(playlist 'CafÃ©' $'DÃ©jÃ\xc2\xa0 vu')" "lyrn: stale-declaration.xml: warning: the XML declaration names ISO-8859-1 but the bytes are valid UTF-8; if the text looks wrong, try --encoding UTF-8" feed stale-declaration.xml
expect feed-stale-forced    0 "$cafe"                      ""        feed stale-declaration.xml --encoding UTF-8
expect feed-not-utf16       0 "$cafe" "lyrn: not-utf16.xml: warning: the XML declaration names UTF-16 but the bytes are not in it; they are read as UTF-8" feed not-utf16.xml
{ printf '\xff\xfe'; iconv -f UTF-8 -t UTF-16LE <"$dir/listing.html"; } >listing16.html
expect slugs-utf16-bom      0 "$slugs_json"                ""        slugs listing16.html
expect slugs-encoding-none  0 '[]'                         ""        slugs --encoding none listing16.html

# Not UTF-8: where the first invalid sequence stands, and --repair.
# An encoded surrogate (ED A0 80) is three invalid sequences: ED cannot be
# followed by A0, and A0 and 80 continue nothing.
printf '<rss>\n<channel><title>Caf\xe9 \xed\xa0\x80</title>\n<item><title>Song</title><enclosure url="t.mp3"/></item></channel></rss>\n' >bad-line2.xml
printf '<rss><channel><title>A&#xD800;B</title><item><title>Song</title><enclosure url="t.mp3"/></item></channel></rss>' >surrogate.xml
printf '<rss><channel><item><itunes:duration>1e307:0:0</itunes:duration><enclosure url="t.mp3"/></item></channel></rss>' >infinite.xml
expect feed-invalid-line2   1 "" "lyrn: bad-line2.xml: $not_utf8 byte offset 25 (line 2, column 20), byte 0xE9$try_options" feed bad-line2.xml
expect feed-repair          0 "$(playlist 'Caf� ���' Song)" "lyrn: bad-line2.xml: warning: 4 invalid sequences replaced with U+FFFD" feed bad-line2.xml --repair
expect feed-repair-quiet    0 "$(playlist 'Caf� ���' Song)" ""       feed bad-line2.xml --repair --quiet
expect feed-repair-none     0 "$(playlist 'Caf�' 'D�j� vu')" ""    feed latin1.xml --encoding none --repair --quiet
expect feed-surrogate-ref   1 "" "lyrn: surrogate.xml: surrogate reference: the character reference at byte offset 22 (line 1, column 23) stands for U+D800, a surrogate that UTF-8 cannot hold; use --repair" feed surrogate.xml
{ printf '\xff\xfe'; iconv -f UTF-8 -t UTF-16LE <surrogate.xml; } >surrogate16.xml
expect feed-surrogate-utf16 1 "" "lyrn: surrogate16.xml: surrogate reference: the character reference at byte offset 22 (line 1, column 23) of the text transcoded from UTF-16LE stands for U+D800, a surrogate that UTF-8 cannot hold; use --repair" feed surrogate16.xml
expect feed-surrogate-repair 0 "$(playlist 'A�B' Song)"    ""        feed surrogate.xml --repair --quiet
expect feed-infinite        1 "" "lyrn: infinite.xml: non-finite duration: a track duration or the total duration is not finite, and JSON has no such number" feed infinite.xml
expect feed-url-not-utf8    1 "" "lyrn: $dir/mini.xml: invalid utf-8: the --url value is not valid UTF-8" feed "$dir/mini.xml" --url $'https://feeds.example.com/\xff/feed.xml'

# Warnings: the exit status stays, --quiet silences them.
printf '<html><head><title>Not found</title></head></html>' >page.html
printf '<?xml version="1.0"?><feed xmlns="http://www.w3.org/2005/Atom"><title>A</title><entry><title>x</title></entry></feed>' >atom.xml
printf '\x1f\x8b\x08\x00\x00\x00\x00\x00' >feed.xml.gz
printf '<rss><channel><title>Show</title><item><title>a</title><enclosure href="a.mp3"/></item><ITEM ><title>b</title></item></channel></rss>' >no-enclosure.xml
empty_playlist() { printf '{"name":"%s","feedURL":"","artworkURL":null,"trackCount":0,"totalDuration":0.0,"tracks":[]}' "$1"; }
no_rss='warning: no <rss> or <channel> start tag:'
expect warn-html            0 "$(empty_playlist Playlist)" "lyrn: page.html: $no_rss is this an RSS feed?" feed page.html
expect warn-atom            0 "$(empty_playlist Playlist)" "lyrn: atom.xml: $no_rss an Atom feed? Only RSS is read" feed atom.xml
expect warn-gzip            0 "$(empty_playlist Playlist)" "lyrn: feed.xml.gz: $no_rss the input is gzip-compressed; decompress it first" feed feed.xml.gz
expect warn-no-enclosure    0 "$(empty_playlist Show)" "lyrn: no-enclosure.xml: warning: 2 <item> tags but no tracks: each track needs an <enclosure url=\"...\"> inside <item>...</item>" feed no-enclosure.xml
expect warn-quiet           0 "$(empty_playlist Playlist)" ""        feed --quiet page.html
expect warn-quiet-items     0 "$(empty_playlist Show)"     ""        feed no-enclosure.xml --quiet

# Versions and per-command help.
"$bin" help feed >feed_help
"$bin" help slugs >slugs_help
expect version-flag         0 "$(printf 'lyrn 1.0.0\nlibrary 1.0.0 (ABI 1)')" "" --version
expect version-short-flag   0 "$(printf 'lyrn 1.0.0\nlibrary 1.0.0 (ABI 1)')" "" -V
expect feed-help-flag       0 "@feed_help"                 ""        feed --help
expect feed-h-flag          0 "@feed_help"                 ""        feed missing.xml --bogus -h
expect slugs-help-flag      0 "@slugs_help"                ""        slugs --help
expect feed-help-after-dashes 1 "" "lyrn: --help: No such file or directory" feed -- --help

# Batches: one DIR/NAME.json per input, byte for byte what one-file
# conversions print, whatever the number of threads.
mkdir -p in/a in/b
cp "$dir/feed.xml" in/a/evening.xml
cp latin1.xml in/a/cafe.rss
cp utf16le-bom.xml in/b/wide.xml
cp "$dir/mini.xml" in/b/mini.feed.xml
batch="in/a/evening.xml in/a/cafe.rss in/b/wide.xml in/b/mini.feed.xml"
same_as_one_by_one() {  # same_as_one_by_one DIR FILE...: each DIR/NAME.json matches `lyrn feed FILE`
  local out_dir=$1 f name
  shift
  for f in "$@"; do
    name=$(basename "$f"); name=${name%.*}
    "$bin" feed "$f" >one.json 2>/dev/null
    cmp -s one.json "$out_dir/$name.json" || return 1
  done
  [ "$(ls "$out_dir" | wc -l)" = $# ]
}
for jobs in 1 2 7; do
  # shellcheck disable=SC2086
  expect "batch-jobs-$jobs" 0 "" "lyrn: 4 files, 0 failed, 5 tracks, 0.00 MB in T" feed $batch -o "out$jobs" --jobs "$jobs"
  # shellcheck disable=SC2086
  same_as_one_by_one "out$jobs" $batch && ok=1 || ok=0
  report "batch-jobs-$jobs-outputs" "$ok" "outputs in out$jobs differ from one-by-one conversions"
done
# shellcheck disable=SC2086
expect batch-default-jobs   0 "" ""                                  feed $batch -o outq --quiet
# shellcheck disable=SC2086
same_as_one_by_one outq $batch && ok=1 || ok=0
report batch-default-jobs-outputs "$ok" "outputs in outq differ"
expect batch-pretty         0 "" ""                                  feed "$dir/mini.xml" -o outp --pretty --quiet
cmp -s outp/mini.json "$dir/mini.pretty.json" && ok=1 || ok=0
report batch-pretty-output "$ok" "outp/mini.json is not the pretty playlist"
expect batch-duplicate-name 2 "" "$(hint "lyrn: feed: 'in/a/evening.xml' and 'x/evening.rss' would both write outd/evening.json" 'help feed')" feed in/a/evening.xml x/evening.rss -o outd
[ ! -e outd ] && ok=1 || ok=0
report batch-duplicate-writes-nothing "$ok" "outd was created"
expect batch-failures       1 "" "$(printf '%s\n' \
  "lyrn: cp1252-bad.xml: cannot decode: invalid windows-1252 input at byte offset 68 (line 2, column 23), byte 0x81" \
  "lyrn: missing.xml: No such file or directory" \
  "lyrn: page.html: $no_rss is this an RSS feed?" \
  "lyrn: 5 files, 2 failed, 3 tracks, 0.00 MB in T")" feed latin1.xml cp1252-bad.xml missing.xml page.html "$dir/feed.xml" -o outf --jobs 2
ls outf >listing 2>&1
printf '%s\n' feed.json latin1.json page.json >want_listing
cmp -s listing want_listing && ok=1 || ok=0
report batch-failures-outputs "$ok" "outf holds: $(cat listing)"
: >blocker
expect batch-dir-not-a-dir  1 "" "lyrn: blocker: Not a directory"   feed latin1.xml -o blocker
# -o makes the missing folders on its path, as mkdir -p does.
expect batch-dir-parents    0 "" "lyrn: 1 file, 0 failed, 1 track, 0.00 MB in T" feed latin1.xml -o no/such/dir
report batch-dir-parents-output "$(cmp -s no/such/dir/latin1.json <("$bin" feed latin1.xml) && echo 1)"
expect batch-dir-under-file 1 "" "lyrn: blocker: Not a directory" feed latin1.xml -o blocker/sub

# Batch output names: the file name less its last extension; a name that
# starts with its only dot keeps it; -o DIR/ and -o DIR name the same files.
mkdir -p names/sub
for f in .hidden noext a.b.c.xml sub/noext.rss; do cp "$dir/mini.xml" "names/$f"; done
expect batch-names          0 "" ""                                  feed names/.hidden names/noext names/a.b.c.xml -o outn/ --quiet
printf '%s\n' .hidden.json a.b.c.json noext.json >want_listing
ls -A outn >listing
cmp -s listing want_listing && cmp -s outn/noext.json <("$bin" feed names/noext) && ok=1 || ok=0
report batch-names-outputs "$ok" "outn holds: $(cat listing)"
expect batch-same-name-dir-slash 2 "" "$(hint "lyrn: feed: 'names/noext' and 'names/sub/noext.rss' would both write outs/noext.json" 'help feed')" feed names/noext names/sub/noext.rss -o outs/
expect batch-folder-no-name 2 "" "$(hint "lyrn: feed: 'names/sub/' names no file" 'help feed')" feed names/sub/ -o outs
expect batch-dot-no-name    2 "" "$(hint "lyrn: feed: '..' names no file" 'help feed')" feed .. -o outs
# An output that cannot be written fails that file only, leaves no
# temporary file, and the batch exits with 1.
mkdir -p outw/mini.json
expect batch-write-fails    1 "" "$(printf '%s\n' "lyrn: outw/mini.json: Is a directory" "lyrn: 2 files, 1 failed, 1 track, 0.00 MB in T")" feed "$dir/mini.xml" names/noext -o outw --jobs 1
[ "$(ls -A outw)" = "$(printf 'mini.json\nnoext.json')" ] && [ -z "$(ls -A outw/mini.json)" ] && ok=1 || ok=0
report batch-write-fails-outputs "$ok" "outw holds: $(ls -A outw)"

# Option forms: --opt VALUE and --opt=VALUE alike, values that start with
# '-', "--" ending the options, and every way an option can be wrong.
expect max-input-separate   1 "" "lyrn: $dir/mini.xml: the input is larger than the limit of 10 bytes (--max-input SIZE raises it)" feed "$dir/mini.xml" --max-input 10
expect max-input-joined     0 "$mini_json"                 ""        feed "$dir/mini.xml" --max-input=1K
expect max-input-exact      0 "$mini_json"                 ""        feed "$dir/mini.xml" --max-input "$(wc -c <"$dir/mini.xml")"
expect slugs-max-input      1 "" "lyrn: $dir/listing.html: the input is larger than the limit of 1 byte (--max-input SIZE raises it)" slugs "$dir/listing.html" --max-input=1
expect url-value-dash       0 "${mini_json/\"feedURL\":\"\"/\"feedURL\":\"-x\"}" "" feed "$dir/mini.xml" --url -x
expect jobs-max             0 "" ""                                  feed "$dir/mini.xml" -o outj --jobs=4096 --quiet
expect stdin-after-dashes   0 "[]"                         ""        slugs -- -
for bad in 0 -1 1O 12Q ''; do
  expect "max-input-bad-$bad" 2 "" "$(hint "lyrn: feed: '$bad' is not a size (a number of bytes, or with K, M or G)" 'help feed')" feed a.xml --max-input="$bad"
done
for bad in 4097 -1 2x ''; do
  expect "jobs-bad-$bad"    2 "" "$(hint "lyrn: feed: '$bad' is not a number of jobs (1 to 4096)" 'help feed')" feed a.xml b.xml -o out --jobs "$bad"
done
for opt in --max-input -o --jobs --url; do
  expect "feed-no-value$opt" 2 "" "$(hint "lyrn: feed: option '$opt' needs a value" 'help feed')" feed a.xml "$opt"
done
for opt in --max-input --encoding; do
  expect "slugs-no-value$opt" 2 "" "$(hint "lyrn: slugs: option '$opt' needs a value" 'help slugs')" slugs a.html "$opt"
done
for opt in -o=out --urlx --pretty=yes -x --jobsN=2; do
  expect "feed-unknown$opt" 2 "" "$(hint "lyrn: feed: unknown option '$opt'" 'help feed')" feed a.xml "$opt"
done
expect slugs-unknown-option 2 "" "$(hint "lyrn: slugs: unknown option '--pretty'" 'help slugs')" slugs a.html --pretty
expect slugs-encoding-unknown 1 "" "lyrn: slugs: unknown encoding: encoding 'x-bogus' is not known to iconv" slugs a.html --encoding=x-bogus
expect feed-empty-dir       2 "" "$(hint "lyrn: feed: -o needs a folder name" 'help feed')" feed a.xml -o ""

# The commands that take no options still end them at "--", so that an
# argument may start with '-'; their arguments are counted after it.
expect format-after-dashes  0 0:00                         ""        format -- -5
expect format-dash-number   0 0:00                         ""        format -5
expect title-after-dashes   0 -h                           ""        title -- -h
expect duration-after-dashes 0 90                          ""        duration -- 1:30
expect url-after-dashes     0 "$base/u/all/feed.xml"       ""        url -- "$base" u all
expect format-dashes-only   2 "" "$(hint 'lyrn: format: missing SECONDS' 'help format')" format --
expect format-two-dashes    2 "" "$(hint "lyrn: format: '--' is not a number" 'help format')" format -- --
expect version-after-dashes 0 "1.0.0 (ABI 1)"              ""        version --

# Usage errors of every command: a missing or an extra argument.
expect check-url-missing    2 "" "$(hint 'lyrn: check-url: missing URL' 'help check-url')" check-url
expect check-url-extra      2 "" "$(hint "lyrn: check-url: unexpected argument 'b'" 'help check-url')" check-url a b
expect url-extra            2 "" "$(hint "lyrn: url: unexpected argument 'd'" 'help url')" url a b c d
expect url-missing-all      2 "" "$(hint 'lyrn: url: missing BASE' 'help url')" url
expect url-missing-user     2 "" "$(hint 'lyrn: url: missing USER' 'help url')" url a
expect duration-extra       2 "" "$(hint "lyrn: duration: unexpected argument '2'" 'help duration')" duration 1 2
expect format-missing       2 "" "$(hint 'lyrn: format: missing SECONDS' 'help format')" format
expect format-extra         2 "" "$(hint "lyrn: format: unexpected argument '2'" 'help format')" format 1 2
expect date-missing         2 "" "$(hint 'lyrn: date: missing TEXT' 'help date')" date
expect date-extra           2 "" "$(hint "lyrn: date: unexpected argument 'b'" 'help date')" date a b
expect title-missing        2 "" "$(hint 'lyrn: title: missing TEXT' 'help title')" title
expect selftest-extra       2 "" "$(hint "lyrn: selftest: unexpected argument 'x'" 'help selftest')" selftest x
expect help-extra           2 "" "$(hint "lyrn: help: unexpected argument 'x'" 'help help')" help feed x

# Warnings: counts in the singular, and start tags as the library cuts
# them (whitespace after '<', any case, "/>"; a longer name is another tag).
printf '<rss><channel><title>\xe9</title><item><title>S</title><enclosure url="t.mp3"/></item></channel></rss>' >one-bad.xml
printf '<rss><channel><title>Show</title><item><title>a</title></item></channel></rss>' >one-item.xml
printf '< RSS\n><channel/></RSS>' >spaced.xml
printf '<rssfeed><channels></channels></rssfeed>' >longer-name.xml
printf '\x1f' >one-byte.gz
expect warn-one-sequence    0 "$(playlist '�' S)" "lyrn: one-bad.xml: warning: 1 invalid sequence replaced with U+FFFD" feed one-bad.xml --repair
expect warn-one-item        0 "$(empty_playlist Show)" "lyrn: one-item.xml: warning: 1 <item> tag but no tracks: each track needs an <enclosure url=\"...\"> inside <item>...</item>" feed one-item.xml
expect warn-tag-forms       0 "$(empty_playlist Playlist)" ""        feed spaced.xml
expect warn-longer-name     0 "$(empty_playlist Playlist)" "lyrn: longer-name.xml: $no_rss is this an RSS feed?" feed longer-name.xml
expect warn-one-byte        0 "$(empty_playlist Playlist)" "lyrn: one-byte.gz: $no_rss is this an RSS feed?" feed one-byte.gz
printf '<?xml version="1.0" encoding="windows-1252"?><a href="./\x81/">x</a>' >cp1252-bad.html
expect slugs-cannot-decode  1 "" "lyrn: cp1252-bad.html: cannot decode: invalid windows-1252 input at byte offset 56 (line 1, column 57), byte 0x81" slugs cp1252-bad.html

# Detection order end to end: a byte order mark beats the declaration, the
# declaration beats UTF-8.
{ printf '\xff\xfe'; feed_text ISO-8859-1 Café 'Déjà vu' | iconv -f UTF-8 -t UTF-16LE; } >mark-and-declaration.xml
{ printf '\xef\xbb\xbf'; feed_text ISO-8859-1 Café 'Déjà vu'; } >utf8-mark-and-declaration.xml
expect order-mark-first     0 "$cafe"                      ""        feed mark-and-declaration.xml
expect order-utf8-mark-first 0 "$cafe"                     ""        feed utf8-mark-and-declaration.xml

# At a terminal: the standard-input hint and the progress line. `script`
# gives the tool a pseudo-terminal; its own standard input at end of file
# ends the tool's.
if command -v script >/dev/null; then
  tty_run() { script -qec "$*" /dev/null </dev/null >tty_out 2>&1; }
  tty_run "'$bin' feed"
  grep -q "^lyrn: feed: reading the feed from standard input until end of file (Ctrl-D)" tty_out &&
    grep -q '"name":"Playlist"' tty_out && ok=1 || ok=0
  report tty-stdin-hint "$ok" "$(cat -v tty_out)"
  tty_run "'$bin' slugs --quiet"
  ! grep -q "reading" tty_out && grep -q '^\[\]' tty_out && ok=1 || ok=0
  report tty-stdin-hint-quiet "$ok" "$(cat -v tty_out)"
  tty_run "'$bin' feed - < '$dir/mini.xml'"
  ! grep -q "reading" tty_out && ok=1 || ok=0
  report tty-stdin-named "$ok" "$(cat -v tty_out)"
  tty_run "'$bin' feed latin1.xml cp1252-bad.xml '$dir/feed.xml' -o outt --jobs 2"
  # The last redraw before the summary shows the whole batch.
  grep -q $'\r\033\\[Klyrn: 3/3 files, 3 tracks, 1 error, [0-9.]* MB/s\r\033\\[Klyrn: 3 files, 1 failed' tty_out && ok=1 || ok=0
  report tty-progress "$ok" "$(cat -v tty_out)"
  tty_run "'$bin' feed latin1.xml -o outt --quiet"
  [ ! -s tty_out ] && ok=1 || ok=0
  report tty-progress-quiet "$ok" "$(cat -v tty_out)"
fi

# A result that cannot be written is a failure.
if [ -w /dev/full ]; then
  "$bin" version >/dev/full 2>err
  rc=$?
  printf 'lyrn: write error: No space left on device\n' >want_err
  ok=1; [ "$rc" = 1 ] && cmp -s err want_err || ok=0
  report write-error "$ok" "exit status $rc; stderr: $(cat err)"
fi

# Help goes to standard output: the overview names every command with an
# example, and every example in `lyrn help NAME` runs as written.
commands="feed slugs url check-url duration format date title selftest version help"
"$bin" --help >overview 2>err
rc=$?
"$bin" help >overview2 2>>err
ok=1 details=""
[ "$rc" = 0 ] && [ ! -s err ] && cmp -s overview overview2 || { ok=0; details="exit $rc or stderr or help differs"; }
for c in $commands; do
  grep -q "^  lyrn $c\b" overview && grep -q "e\.g\. lyrn $c\b" overview ||
    { ok=0; details+=" no usage or example for $c;"; }
done
report help-overview "$ok" "$details"

cp "$dir/feed.xml" feed.xml
cp "$dir/listing.html" index.html
lyrn() { "$bin" "$@"; }
for c in $commands; do
  "$bin" help "$c" >topic 2>err
  rc=$?
  ok=1 details=""
  head -n 1 topic | grep -q "^Usage: lyrn $c\b" || { ok=0; details="no usage line;"; }
  example=$(sed -n 's/^Example: //p' topic)
  case $example in
    "lyrn $c"*) eval "$example" >/dev/null 2>example_err || { ok=0; details+=" example failed: $example: $(cat example_err);"; } ;;
    *) ok=0; details+=" no example;" ;;
  esac
  [ "$rc" = 0 ] && [ ! -s err ] || { ok=0; details+=" exit $rc or stderr;"; }
  report "help-$c" "$ok" "$details"
done

echo "cli: $passed passed, $failed failed"
[ "$failed" = 0 ]
