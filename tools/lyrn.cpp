// SPDX-License-Identifier: MIT
// lyrn: the library's command-line tool. A host like any other: it uses only
// the public header, reads files and standard input itself and hands the
// library bytes and text.
//
// Results go to standard output, one per line; diagnostics to standard error,
// one line prefixed "lyrn: ". Exit status 0 on success, 1 when the input was
// rejected or could not be read, 2 on a usage error.
//
// The library reads UTF-8 only, so the feed and slug commands transcode other
// encodings first and say why when the library writes no document (the
// hosts' shared preparation in hosts/, used by convert.cpp), and convert many
// feeds on several threads (batch.cpp).
//
// The tool never calls setlocale, so number reading and formatting here use
// the "C" locale's '.' decimal point.
#include "lyrn.h"

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <thread>
#include <vector>

#include "ascii.hpp"
#include "batch.hpp"
#include "convert.hpp"
#include "display.hpp"
#include "encoding.hpp"
#include "input_file.hpp"
#include "json_output.hpp"

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

// Every diagnostic passes through display_name, so that text from the
// command line or from a file name stays on its one line.
int fail(const std::string &message) {
  std::fprintf(stderr, "lyrn: %s\n", lyrn_tool::display_name(message).c_str());
  return kRejected;
}

// The library's reason when it left one, else what the caller knows.
int fail_with_last_error(const char *fallback) {
  const char *why = lyrn_last_error();
  return fail(*why ? why : fallback);
}

int usage_error(const command *cmd, const std::string &message) {
  if (cmd) {
    std::fprintf(stderr, "lyrn: %s: %s\n", cmd->name, lyrn_tool::display_name(message).c_str());
    std::fprintf(stderr, "Try 'lyrn help %s'.\n", cmd->name);
  } else {
    std::fprintf(stderr, "lyrn: %s\n", lyrn_tool::display_name(message).c_str());
    std::fputs("Try 'lyrn --help'.\n", stderr);
  }
  return kUsage;
}

// Checks that a command got exactly `want` arguments; names them when missing
// (`names` may be null only when `want` is 0, where none can be missing).
// These commands have no options, but a leading "--" is still the end of the
// options, as for feed and slugs: it is dropped, so `lyrn format -- -5` reads
// "-5" (the caller's argc and argv are moved past it).
bool arity_ok(const command &cmd, int &argc, char **&argv, int want, const char *const *names,
              int *status) {
  if (argc > 0 && std::strcmp(argv[0], "--") == 0) {
    --argc;
    ++argv;
  }
  if (argc < want && names != nullptr) {
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

std::string input_label(const char *path) {
  return !path || std::strcmp(path, "-") == 0 ? "standard input" : lyrn_tool::display_name(path);
}

// Without a file the feed and slug commands read standard input; at a
// terminal that would look like a hang, so say so.
void stdin_hint(const command &cmd, const char *what) {
  if (isatty(STDIN_FILENO))
    std::fprintf(stderr, "lyrn: %s: reading the %s from standard input until end of file (Ctrl-D)\n",
                 cmd.name, what);
}

// Prints a one-input conversion: its output, then its messages.
int print_result(const lyrn_tool::convert_result &r, bool pretty) {
  // A failed write shows at the final flush in main.
  if (r.ok) lyrn_tool::write_document(stdout, r.json.data(), r.json.size(), pretty);
  for (const std::string &m : r.messages) std::fprintf(stderr, "lyrn: %s\n", lyrn_tool::display_name(m).c_str());
  return r.ok ? kOk : kRejected;
}

// ---- Number text -----------------------------------------------------------

// Reads a whole argument as a number (strtod forms, surrounding whitespace allowed).
bool read_number(const char *text, double *value) {
  char *end = nullptr;
  *value = std::strtod(text, &end);
  if (end == text) return false;
  while (lyrn::ascii_is_space(*end)) ++end;
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
    (void)std::snprintf(sci, sizeof sci, "%.*e", precision - 1, v);  // 40 bytes hold any %.16e
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
  const int exp10 = static_cast<int>(std::strtol(s.c_str() + e + 1, nullptr, 10));  // at most 3 digits
  std::string digits;
  for (std::size_t i = 0; i < e; ++i)
    if (s[i] != '.') digits += s[i];
  while (digits.size() > 1 && digits.back() == '0') digits.pop_back();
  if (exp10 < 0) return sign + "0." + std::string(static_cast<std::size_t>(-exp10 - 1), '0') + digits;
  const std::size_t int_len = static_cast<std::size_t>(exp10) + 1;
  if (digits.size() <= int_len) return sign + digits + std::string(int_len - digits.size(), '0');
  return sign + digits.substr(0, int_len) + "." + digits.substr(int_len);
}

// ---- Commands --------------------------------------------------------------

// Reads the value of an option given as "--name VALUE" or "--name=VALUE";
// false when `a` is not that option. *status is set on a missing value.
bool option_value(const command &cmd, const char *name, int argc, char **argv, int *i,
                  const char **value, int *status) {
  const char *a = argv[*i];
  const std::size_t n = std::strlen(name);
  if (std::strncmp(a, name, n) != 0) return false;
  if (a[n] == '=' && name[1] == '-') {
    *value = a + n + 1;
    return true;
  }
  if (a[n] != '\0') return false;
  if (*i + 1 >= argc) {
    *status = usage_error(&cmd, std::string("option '") + name + "' needs a value");
    *value = nullptr;
    return true;
  }
  *value = argv[++*i];
  return true;
}

// What the feed and slug commands read, beside the conversion's options.
struct input_options {
  std::size_t limit = lyrn_tool::kDefaultInputLimit;
};

// The options that the feed and slug commands share.
bool common_option(const command &cmd, int argc, char **argv, int *i,
                   lyrn_tool::convert_options *opts, input_options *input, int *status) {
  const char *a = argv[*i];
  const char *value;
  if (option_value(cmd, "--max-input", argc, argv, i, &value, status)) {
    if (value && !lyrn_tool::parse_size(value, &input->limit))
      *status = usage_error(&cmd, std::string("'") + value +
                                      "' is not a size (a number of bytes, or with K, M or G)");
  } else if (std::strcmp(a, "--repair") == 0) {
    opts->repair = true;
  } else if (std::strcmp(a, "--quiet") == 0) {
    opts->quiet = true;
  } else if (option_value(cmd, "--encoding", argc, argv, i, &value, status)) {
    if (value) opts->encoding = lyrn_tool::parse_encoding_choice(value);
  } else {
    return false;
  }
  return true;
}

// An encoding that iconv does not know fails before any input is read.
bool encoding_known(const command &cmd, const lyrn_tool::encoding_choice &choice) {
  if (choice.mode != lyrn_tool::encoding_choice::forced || lyrn_tool::iconv_knows(choice.name)) return true;
  std::fprintf(stderr, "lyrn: %s: %s: %s\n", cmd.name, lyrn_host::kUnknownEncoding,
               lyrn_host::unknown_encoding(choice.name).message.c_str());
  return false;
}

bool read_jobs(const char *text, unsigned *jobs) {
  char *end = nullptr;
  errno = 0;
  const unsigned long n = std::strtoul(text, &end, 10);
  if (end == text || *end != '\0' || errno != 0 || text[0] == '-' || n < 1 || n > 4096) return false;
  *jobs = static_cast<unsigned>(n);
  return true;
}

// Checks that every input of a batch has its own DIR/NAME.json.
bool batch_names_ok(const command &cmd, const std::vector<std::string> &files, const std::string &dir,
                    int *status) {
  std::vector<std::pair<std::string, std::string>> seen;  // NAME, file
  for (const std::string &f : files) {
    if (f == "-") {
      *status = usage_error(&cmd, "standard input ('-') cannot be part of a batch");
      return false;
    }
    const std::string name = lyrn_tool::output_name(f);
    if (name.empty()) {
      *status = usage_error(&cmd, "'" + lyrn_tool::display_name(f) + "' names no file");
      return false;
    }
    for (const auto &s : seen) {
      if (s.first == name) {
        *status = usage_error(&cmd, "'" + lyrn_tool::display_name(s.second) + "' and '" +
                                        lyrn_tool::display_name(f) + "' would both write " +
                                        lyrn_tool::display_name(lyrn_tool::output_path(dir, f)));
        return false;
      }
    }
    seen.emplace_back(name, f);
  }
  return true;
}

// Refuses a batch whose output would replace one of its inputs: the same
// file through any spelling, hard link or symbolic link.
bool outputs_spare_inputs(const command &cmd, const std::vector<std::string> &files, const std::string &dir,
                          int *status) {
  std::vector<std::pair<dev_t, ino_t>> inputs;
  struct stat st;
  for (const std::string &f : files)
    if (stat(f.c_str(), &st) == 0) inputs.emplace_back(st.st_dev, st.st_ino);
  for (const std::string &f : files) {
    const std::string out = lyrn_tool::output_path(dir, f);
    if (stat(out.c_str(), &st) != 0) continue;
    for (const auto &in : inputs) {
      if (in.first == st.st_dev && in.second == st.st_ino) {
        *status = usage_error(&cmd, "'" + lyrn_tool::display_name(out) + "' is an input of this batch; " +
                                        "choose another -o folder");
        return false;
      }
    }
  }
  return true;
}

int cmd_feed(const command &cmd, int argc, char **argv) {
  lyrn_tool::convert_options opts;
  input_options input;
  bool pretty = false;
  std::vector<std::string> files;
  const char *dir = nullptr;
  const char *jobs_text = nullptr;
  bool options_done = false;
  int status = kOk;
  for (int i = 0; i < argc && status == kOk; ++i) {
    const char *a = argv[i];
    const char *value;
    if (options_done || a[0] != '-' || a[1] == '\0') {
      files.push_back(a);
    } else if (std::strcmp(a, "--") == 0) {
      options_done = true;
    } else if (std::strcmp(a, "--pretty") == 0) {
      pretty = true;
    } else if (option_value(cmd, "--url", argc, argv, &i, &value, &status)) {
      opts.url = value;
    } else if (option_value(cmd, "-o", argc, argv, &i, &value, &status)) {
      dir = value;
    } else if (option_value(cmd, "--jobs", argc, argv, &i, &value, &status)) {
      jobs_text = value;
    } else if (!common_option(cmd, argc, argv, &i, &opts, &input, &status)) {
      return usage_error(&cmd, std::string("unknown option '") + a + "'");
    }
  }
  if (status != kOk) return status;
  lyrn_tool::batch_options batch;
  batch.jobs = std::thread::hardware_concurrency();
  if (jobs_text && !read_jobs(jobs_text, &batch.jobs))
    return usage_error(&cmd, std::string("'") + jobs_text + "' is not a number of jobs (1 to 4096)");
  if (!dir && files.size() > 1) return usage_error(&cmd, "several FILEs need -o DIR");
  if (dir && files.empty()) return usage_error(&cmd, "-o DIR needs FILE arguments");
  if (dir && *dir == '\0') return usage_error(&cmd, "-o needs a folder name");
  if (opts.url && files.size() > 1) return usage_error(&cmd, "--url names one feed, not several FILEs");
  if (dir && !batch_names_ok(cmd, files, dir, &status)) return status;
  if (dir && !outputs_spare_inputs(cmd, files, dir, &status)) return status;
  if (!encoding_known(cmd, opts.encoding)) return kRejected;

  if (dir) {
    batch.dir = dir;
    batch.convert = opts;
    batch.pretty = pretty;
    batch.input_limit = input.limit;
    return lyrn_tool::run_batch(files, batch);
  }
  const char *path = files.empty() ? nullptr : files[0].c_str();
  if (!path && !opts.quiet) stdin_hint(cmd, "feed");
  lyrn_tool::input_bytes feed;
  std::string error;
  if (!lyrn_tool::read_input(path, input.limit, &feed, &error)) return fail(input_label(path) + ": " + error);
  lyrn_tool::convert_result r;
  lyrn_tool::convert_feed(input_label(path), feed.data(), feed.size(), opts, &r);
  feed = lyrn_tool::input_bytes();
  return print_result(r, pretty);
}

int cmd_slugs(const command &cmd, int argc, char **argv) {
  lyrn_tool::convert_options opts;
  input_options input;
  const char *path = nullptr;
  bool have_path = false, options_done = false;
  int status = kOk;
  for (int i = 0; i < argc && status == kOk; ++i) {
    const char *a = argv[i];
    if (options_done || a[0] != '-' || a[1] == '\0') {
      if (have_path) return usage_error(&cmd, std::string("unexpected argument '") + a + "'");
      path = a;
      have_path = true;
    } else if (std::strcmp(a, "--") == 0) {
      options_done = true;
    } else if (!common_option(cmd, argc, argv, &i, &opts, &input, &status)) {
      return usage_error(&cmd, std::string("unknown option '") + a + "'");
    }
  }
  if (status != kOk) return status;
  if (!encoding_known(cmd, opts.encoding)) return kRejected;
  if (!path && !opts.quiet) stdin_hint(cmd, "listing");
  lyrn_tool::input_bytes listing;
  std::string error;
  if (!lyrn_tool::read_input(path, input.limit, &listing, &error)) return fail(input_label(path) + ": " + error);
  lyrn_tool::convert_result r;
  lyrn_tool::convert_listing(input_label(path), listing.data(), listing.size(), opts, &r);
  return print_result(r, false);
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
    {"feed",
     "[FILE...|-] [-o DIR] [--jobs N] [--url URL] [--pretty] [--encoding auto|NAME|none] [--repair] "
     "[--max-input SIZE] [--quiet]",
     "Convert an RSS feed into a JSON playlist.",
     "Reads FILE, or standard input when FILE is '-' or missing.\n"
     "--url URL        where the feed came from: written as \"feedURL\" and used for\n"
     "                 the playlist name when the channel has no title\n"
     "--pretty         print the playlist indented instead of compact\n"
     "--encoding auto  the default: transcode to UTF-8 with iconv when a byte order\n"
     "                 mark or the XML declaration names another encoding\n"
     "--encoding NAME  read the input as NAME (any encoding iconv knows)\n"
     "--encoding none  hand the bytes to the library unchanged\n"
     "--repair         replace every invalid UTF-8 sequence with U+FFFD first\n"
     "--max-input SIZE refuse an input larger than SIZE bytes (K, M, G: powers of\n"
     "                 1024; default 1G)\n"
     "--quiet          no warnings, standard-input hint, progress or summary\n"
     "-o DIR           write DIR/NAME.json for each FILE (NAME: the file name without\n"
     "                 its last extension), creating DIR and its missing parents;\n"
     "                 each file is complete or absent; several FILEs need it\n"
     "--jobs N         with -o, convert on N threads (default: one per processor)\n"
     "Warnings (exit status unchanged): no <rss> or <channel> start tag, or <item>\n"
     "tags but no tracks. A batch exits with 1 when any file failed; stopped by\n"
     "SIGINT, SIGTERM or SIGHUP it removes its unfinished files and exits with\n"
     "130, 143 or 129.\n",
     "lyrn feed feed.xml --url https://feeds.example.com/music/demo/all/feed.xml --pretty",
     cmd_feed},
    {"slugs", "[FILE|-] [--encoding auto|NAME|none] [--repair] [--max-input SIZE] [--quiet]",
     "List the feed slugs linked from a directory listing as a JSON array.",
     "Reads FILE, or standard input when FILE is '-' or missing.\n"
     "--encoding, --repair, --max-input and --quiet work as for 'lyrn feed'.\n",
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
  std::puts("\n'lyrn help COMMAND' or 'lyrn COMMAND --help' shows one command in full;\n"
            "'lyrn --version' (or -V) prints the tool's and the library's versions.\n"
            "Exit status: 0 on success, 1 when the input is rejected or cannot be read,\n"
            "2 on a usage error.");
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

bool is_help_flag(const char *a) { return std::strcmp(a, "--help") == 0 || std::strcmp(a, "-h") == 0; }

// `lyrn --version`: the tool's version as it was built, then the library's
// as it runs (a newer shared library may sit under an older tool).
int print_versions(int argc) {
  if (argc > 2) return usage_error(nullptr, "--version takes no arguments");
  std::printf("lyrn %d.%d.%d\nlibrary %s (ABI %" PRId32 ")\n", LYRN_VERSION_MAJOR, LYRN_VERSION_MINOR,
              LYRN_VERSION_PATCH, lyrn_version(), lyrn_abi_version());
  return kOk;
}

int run(int argc, char **argv) {
  if (argc < 2) return usage_error(nullptr, "missing command");
  const char *name = argv[1];
  if (is_help_flag(name)) name = "help";
  if (std::strcmp(name, "--version") == 0 || std::strcmp(name, "-V") == 0) return print_versions(argc);
  const command *cmd = find_command(name);
  if (!cmd) return usage_error(nullptr, std::string("unknown command '") + argv[1] + "'");
  // `lyrn COMMAND --help` anywhere before a "--".
  for (int i = 2; i < argc && std::strcmp(argv[i], "--") != 0; ++i) {
    if (is_help_flag(argv[i])) {
      print_command_help(*cmd);
      return kOk;
    }
  }
  return cmd->run(*cmd, argc - 2, argv + 2);
}

}  // namespace

int main(int argc, char **argv) {
  // A write past the file size limit fails with EFBIG and is reported like
  // any failed write, instead of ending the process.
  (void)signal(SIGXFSZ, SIG_IGN);
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
