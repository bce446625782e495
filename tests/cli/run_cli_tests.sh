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

# expect NAME STATUS STDOUT STDERR ARGS...   (standard input from $stdin_file)
stdin_file=/dev/null
expect() {
  local name=$1 want_rc=$2 want_out=$3 want_err=$4 rc ok=1 details=""
  shift 4
  "$bin" "$@" <"$stdin_file" >out 2>err
  rc=$?
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
not_written='lyrn: the playlist could not be written (invalid UTF-8 or a non-finite number)'

#      name                 exit stdout                    stderr    arguments
expect feed-file            0 "@$dir/feed.json"            ""        feed "$dir/feed.xml" --url "$feed_url"
expect feed-url-first       0 "@$dir/feed.json"            ""        feed --url="$feed_url" -- "$dir/feed.xml"
expect feed-empty-file      0 "$empty_json"                ""        feed empty --url "$base/u/all/feed.xml"
expect feed-nul-byte        0 "$nul_json"                  ""        feed nul.xml
expect feed-invalid-utf8    1 ""                           "$not_written" feed bad-utf8.xml
expect feed-missing-file    1 "" "lyrn: missing.xml: No such file or directory" feed missing.xml
expect feed-directory       1 "" "lyrn: dir: Is a directory"          feed dir
expect slugs-file           0 "$slugs_json"                ""        slugs "$dir/listing.html"
expect slugs-empty-file     0 "[]"                         ""        slugs empty
expect slugs-invalid-utf8   1 "" "lyrn: the slug list could not be written (invalid UTF-8)" slugs bad-utf8.html
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
expect format-hours         0 1:16:26                      ""        format 4586
expect format-minutes       0 3:44                         ""        format " 224.9 "
expect format-negative      0 0:00                         ""        format -3
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
expect feed-two-files       2 "" "$(hint "lyrn: feed: unexpected argument 'b.xml'" 'help feed')" feed a.xml b.xml
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
stdin_file=/dev/null

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
