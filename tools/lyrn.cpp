// SPDX-License-Identifier: MIT
// lyrn: the library's command-line tool. A host like any other: it uses only
// the public header, reads files and standard input itself and hands the
// library bytes and text.
//
// Results go to standard output, one per line; diagnostics to standard error,
// one line prefixed "lyrn: ". Exit status 0 on success, 1 when the input was
// rejected or could not be read, 2 on a usage error.
//
// The tool never calls setlocale, so number reading and formatting here use
// the "C" locale's '.' decimal point.
#include "lyrn.h"

#include <yyjson.h>

#include <cerrno>
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

namespace {

constexpr int kOk = 0;
constexpr int kRejected = 1;
constexpr int kUsage = 2;

struct command {
  const char *name;
  const char *args;     // what follows the name in a usage line
  const char *summary;  // one line for the overview
  const char *details;  // extra lines for `lyrn help NAME`, may be empty
  const char *example;
  int (*run)(const command &cmd, int argc, char **argv);  // arguments after the name
};

// ---- Output and diagnostics ------------------------------------------------

void print_line(const char *text) {
  std::fputs(text, stdout);
  std::fputc('\n', stdout);
}

int fail(const std::string &message) {
  std::fprintf(stderr, "lyrn: %s\n", message.c_str());
  return kRejected;
}

// The library's reason when it left one, else what the caller knows.
int fail_with_last_error(const char *fallback) {
  const char *why = lyrn_last_error();
  return fail(*why ? why : fallback);
}

int usage_error(const command *cmd, const std::string &message) {
  if (cmd) {
    std::fprintf(stderr, "lyrn: %s: %s\n", cmd->name, message.c_str());
    std::fprintf(stderr, "Try 'lyrn help %s'.\n", cmd->name);
  } else {
    std::fprintf(stderr, "lyrn: %s\n", message.c_str());
    std::fputs("Try 'lyrn --help'.\n", stderr);
  }
  return kUsage;
}

// Checks that a command got exactly `want` arguments; names them when missing.
bool arity_ok(const command &cmd, int argc, char **argv, int want, const char *const *names,
              int *status) {
  if (argc < want) {
    *status = usage_error(&cmd, std::string("missing ") + names[argc]);
    return false;
  }
  if (argc > want) {
    *status = usage_error(&cmd, std::string("unexpected argument '") + argv[want] + "'");
    return false;
  }
  return true;
}

// ---- Input -----------------------------------------------------------------

bool is_stdin(const char *path) { return !path || std::strcmp(path, "-") == 0; }

// Reads a whole file (or standard input) as bytes; NUL bytes are kept.
bool read_input(const char *path, std::string *out) {
  const bool from_stdin = is_stdin(path);
  const char *label = from_stdin ? "standard input" : path;
  FILE *f = from_stdin ? stdin : std::fopen(path, "rb");
  if (!f) {
    fail(std::string(label) + ": " + std::strerror(errno));
    return false;
  }
  char chunk[65536];
  std::size_t got;
  while ((got = std::fread(chunk, 1, sizeof chunk, f)) > 0) out->append(chunk, got);
  const bool failed = std::ferror(f) != 0;
  const int read_errno = failed && errno != 0 ? errno : EIO;
  if (!from_stdin) std::fclose(f);
  if (failed) {
    fail(std::string(label) + ": " + std::strerror(read_errno));
    return false;
  }
  return true;
}

// ---- Number text -----------------------------------------------------------

bool is_space(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// Reads a whole argument as a number (strtod forms, surrounding whitespace allowed).
bool read_number(const char *text, double *value) {
  char *end = nullptr;
  *value = std::strtod(text, &end);
  if (end == text) return false;
  while (is_space(*end)) ++end;
  return *end == '\0';
}

// The shortest decimal text that reads back as exactly v, written without an
// exponent: 4586, 224.5, 1000, 0.0000001.
std::string plain_decimal(double v) {
  if (v == 0) return "0";  // minus zero as well
  if (std::isnan(v)) return "nan";
  if (std::isinf(v)) return v < 0 ? "-inf" : "inf";
  char sci[40];
  for (int precision = 1; precision <= 17; ++precision) {
    std::snprintf(sci, sizeof sci, "%.*e", precision - 1, v);
    if (std::strtod(sci, nullptr) == v) break;  // 17 digits always read back
  }
  // sci is [-]d[.ddd]e(+|-)XX: gather the digits and place the point.
  std::string s(sci);
  std::string sign;
  if (s[0] == '-') {
    sign = "-";
    s.erase(0, 1);
  }
  const std::size_t e = s.find('e');
  const int exp10 = std::atoi(s.c_str() + e + 1);
  std::string digits;
  for (std::size_t i = 0; i < e; ++i)
    if (s[i] != '.') digits += s[i];
  while (digits.size() > 1 && digits.back() == '0') digits.pop_back();
  if (exp10 < 0) return sign + "0." + std::string(static_cast<std::size_t>(-exp10 - 1), '0') + digits;
  const std::size_t int_len = static_cast<std::size_t>(exp10) + 1;
  if (digits.size() <= int_len) return sign + digits + std::string(int_len - digits.size(), '0');
  return sign + digits.substr(0, int_len) + "." + digits.substr(int_len);
}

// ---- JSON output -----------------------------------------------------------

// Prints a JSON text as the library wrote it, or re-indented.
int print_json(const char *json, bool pretty) {
  if (!pretty) {
    print_line(json);
    return kOk;
  }
  yyjson_doc *doc = yyjson_read(json, std::strlen(json), 0);
  char *text = doc ? yyjson_write(doc, YYJSON_WRITE_PRETTY, nullptr) : nullptr;
  yyjson_doc_free(doc);
  if (!text) return fail("the document could not be re-indented");
  print_line(text);
  std::free(text);
  return kOk;
}

// ---- Commands --------------------------------------------------------------

int cmd_feed(const command &cmd, int argc, char **argv) {
  const char *path = nullptr;
  const char *url = nullptr;
  bool pretty = false;
  bool options_done = false;
  bool have_path = false;
  for (int i = 0; i < argc; ++i) {
    const char *a = argv[i];
    const bool option = !options_done && a[0] == '-' && a[1] != '\0';
    if (!option) {
      if (have_path) return usage_error(&cmd, std::string("unexpected argument '") + a + "'");
      path = a;
      have_path = true;
    } else if (std::strcmp(a, "--") == 0) {
      options_done = true;
    } else if (std::strcmp(a, "--pretty") == 0) {
      pretty = true;
    } else if (std::strcmp(a, "--url") == 0) {
      if (i + 1 >= argc) return usage_error(&cmd, "option '--url' needs a value");
      url = argv[++i];
    } else if (std::strncmp(a, "--url=", 6) == 0) {
      url = a + 6;
    } else {
      return usage_error(&cmd, std::string("unknown option '") + a + "'");
    }
  }
  std::string feed;
  if (!read_input(path, &feed)) return kRejected;
  // The exact byte count goes in, so a NUL is an ordinary byte. An empty
  // input is "" with length 0, which the library reads as the same thing.
  char *json = lyrn_parse_feed_json(feed.c_str(), feed.size(), url);
  if (!json)
    return fail_with_last_error("the playlist could not be written (invalid UTF-8 or a non-finite number)");
  int status = print_json(json, pretty);
  lyrn_free(json);
  return status;
}

int cmd_slugs(const command &cmd, int argc, char **argv) {
  if (argc > 1) return usage_error(&cmd, std::string("unexpected argument '") + argv[1] + "'");
  std::string listing;
  if (!read_input(argc == 1 ? argv[0] : nullptr, &listing)) return kRejected;
  char *json = lyrn_discover_slugs_json(listing.c_str(), listing.size());
  if (!json) return fail_with_last_error("the slug list could not be written (invalid UTF-8)");
  print_line(json);
  lyrn_free(json);
  return kOk;
}

int cmd_url(const command &cmd, int argc, char **argv) {
  static const char *const names[] = {"BASE", "USER", "SLUG"};
  int status;
  if (!arity_ok(cmd, argc, argv, 3, names, &status)) return status;
  char *url = lyrn_build_user_feed_url(argv[0], argv[1], argv[2]);
  if (!url) return fail_with_last_error("the URL could not be built");
  print_line(url);
  lyrn_free(url);
  return kOk;
}

int cmd_check_url(const command &cmd, int argc, char **argv) {
  static const char *const names[] = {"URL"};
  int status;
  if (!arity_ok(cmd, argc, argv, 1, names, &status)) return status;
  const bool valid = lyrn_validate_feed_url(argv[0]) == 0;
  print_line(valid ? "valid" : "invalid");
  return valid ? kOk : kRejected;
}

int cmd_duration(const command &cmd, int argc, char **argv) {
  static const char *const names[] = {"TEXT"};
  int status;
  if (!arity_ok(cmd, argc, argv, 1, names, &status)) return status;
  print_line(plain_decimal(lyrn_parse_duration(argv[0])).c_str());
  return kOk;
}

int cmd_format(const command &cmd, int argc, char **argv) {
  static const char *const names[] = {"SECONDS"};
  int status;
  if (!arity_ok(cmd, argc, argv, 1, names, &status)) return status;
  double seconds;
  if (!read_number(argv[0], &seconds))
    return usage_error(&cmd, std::string("'") + argv[0] + "' is not a number");
  char buf[64];  // the longest clock text, 2^63 seconds as hours, is 22 bytes
  if (lyrn_format_duration(seconds, buf, sizeof buf) < 0) return fail("the clock text does not fit");
  print_line(buf);
  return kOk;
}

int cmd_date(const command &cmd, int argc, char **argv) {
  static const char *const names[] = {"TEXT"};
  int status;
  if (!arity_ok(cmd, argc, argv, 1, names, &status)) return status;
  const int64_t t = lyrn_parse_rfc2822_date(argv[0]);
  if (t == 0) return fail("the date could not be read");  // 0 is the library's "no date"
  std::printf("%" PRId64 "\n", t);
  return kOk;
}

int cmd_title(const command &cmd, int argc, char **argv) {
  static const char *const names[] = {"TEXT"};
  int status;
  if (!arity_ok(cmd, argc, argv, 1, names, &status)) return status;
  char *title = lyrn_clean_title(argv[0]);
  if (!title) return fail("out of memory");
  print_line(title);
  lyrn_free(title);
  return kOk;
}

int cmd_selftest(const command &cmd, int argc, char **argv) {
  int status;
  if (!arity_ok(cmd, argc, argv, 0, nullptr, &status)) return status;
  const int32_t failed = lyrn_selftest();
  std::printf("%" PRId32 "\n", failed);
  if (failed != 0) return fail("self-test check " + std::to_string(failed) + " failed");
  return kOk;
}

int cmd_version(const command &cmd, int argc, char **argv) {
  int status;
  if (!arity_ok(cmd, argc, argv, 0, nullptr, &status)) return status;
  std::printf("%s (ABI %" PRId32 ")\n", lyrn_version(), lyrn_abi_version());
  return kOk;
}

int cmd_help(const command &cmd, int argc, char **argv);

const command kCommands[] = {
    {"feed", "[FILE|-] [--url URL] [--pretty]",
     "Convert an RSS feed into a JSON playlist.",
     "Reads FILE, or standard input when FILE is '-' or missing.\n"
     "--url URL   where the feed came from: written as \"feedURL\" and used for\n"
     "            the playlist name when the channel has no title\n"
     "--pretty    print the playlist indented instead of compact\n",
     "lyrn feed feed.xml --url https://feeds.example.com/music/demo/all/feed.xml --pretty",
     cmd_feed},
    {"slugs", "[FILE|-]", "List the feed slugs linked from a directory listing as a JSON array.",
     "Reads FILE, or standard input when FILE is '-' or missing.\n",
     "lyrn slugs index.html", cmd_slugs},
    {"url", "BASE USER SLUG", "Build the feed URL of one user and slug.", "",
     "lyrn url https://feeds.example.com/music user-123 all", cmd_url},
    {"check-url", "URL", "Check a feed URL: prints valid (exit 0) or invalid (exit 1).", "",
     "lyrn check-url https://feeds.example.com/music/u/all/feed.xml", cmd_check_url},
    {"duration", "TEXT", "Read a duration (\"H:MM:SS\", \"M:SS\" or seconds) as seconds.",
     "Text that cannot be read gives 0, as a zero duration does.\n",
     "lyrn duration 1:16:26", cmd_duration},
    {"format", "SECONDS", "Write a number of seconds as clock text.", "",
     "lyrn format 4586", cmd_format},
    {"date", "TEXT", "Read a publication date (RFC 2822 or ISO 8601) as Unix seconds.",
     "A date that cannot be read is an error (exit 1); the library gives 0 for it,\n"
     "so 1970-01-01 00:00:00 UTC itself counts as unreadable.\n",
     "lyrn date 'Tue, 02 Jan 2024 10:00:00 +0200'", cmd_date},
    {"title", "TEXT", "Clean a track title that is a file name.", "",
     "lyrn title 'O_Holy_Night [4hjgkvuKES8]'", cmd_title},
    {"selftest", "", "Run the library's built-in checks; prints 0 when all pass.",
     "Otherwise prints the number of the first failing check and exits with 1.\n",
     "lyrn selftest", cmd_selftest},
    {"version", "", "Print the library version and its ABI version.", "", "lyrn version",
     cmd_version},
    {"help", "[COMMAND]", "Show this help, or the help of one command.", "", "lyrn help feed",
     cmd_help},
};

const command *find_command(const char *name) {
  for (const command &c : kCommands)
    if (std::strcmp(c.name, name) == 0) return &c;
  return nullptr;
}

void print_usage_line(const char *prefix, const command &c) {
  std::printf("%slyrn %s%s%s\n", prefix, c.name, *c.args ? " " : "", c.args);
}

void print_overview() {
  std::puts("Usage: lyrn COMMAND [ARGUMENTS]\n"
            "Converts RSS feeds of music channels into JSON playlists and runs the\n"
            "library's other operations from the command line.\n\nCommands:");
  for (const command &c : kCommands) {
    print_usage_line("  ", c);
    std::printf("      %s\n      e.g. %s\n", c.summary, c.example);
  }
  std::puts("\nExit status: 0 on success, 1 when the input is rejected or cannot be read,\n"
            "2 on a usage error. 'lyrn help COMMAND' shows one command in full.");
}

void print_command_help(const command &c) {
  print_usage_line("Usage: ", c);
  std::printf("%s\n%s", c.summary, c.details);
  std::printf("Example: %s\n", c.example);
}

int cmd_help(const command &cmd, int argc, char **argv) {
  if (argc > 1) return usage_error(&cmd, std::string("unexpected argument '") + argv[1] + "'");
  if (argc == 0) {
    print_overview();
    return kOk;
  }
  const command *topic = find_command(argv[0]);
  if (!topic) return usage_error(nullptr, std::string("unknown command '") + argv[0] + "'");
  print_command_help(*topic);
  return kOk;
}

int run(int argc, char **argv) {
  if (argc < 2) return usage_error(nullptr, "missing command");
  const char *name = argv[1];
  if (std::strcmp(name, "--help") == 0 || std::strcmp(name, "-h") == 0) name = "help";
  const command *cmd = find_command(name);
  if (!cmd) return usage_error(nullptr, std::string("unknown command '") + argv[1] + "'");
  return cmd->run(*cmd, argc - 2, argv + 2);
}

}  // namespace

int main(int argc, char **argv) {
  int status;
  try {
    status = run(argc, argv);
  } catch (const std::bad_alloc &) {
    status = fail("out of memory");
  }
  // A result that could not be written is a failure too (a full disk, a closed pipe).
  if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
    std::fprintf(stderr, "lyrn: write error: %s\n", std::strerror(errno));
    if (status == kOk) status = kRejected;
  }
  return status;
}
