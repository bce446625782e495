// SPDX-License-Identifier: MIT
// The benchmark driver: generates the feeds, checks that every peer writes
// the library's document byte for byte, then times the library, the peers
// and two limits (memchr, memcpy) in interleaved rounds and prints medians
// with min and max, ratios against the pugixml peer measured in the same
// run, and the peak memory growth of one conversion in a fresh process.
//
// Usage: lyrn_bench [--quick] [--only rich|minimal]
//          --quick (or BENCH_QUICK=1): tiny feeds, a few seconds
//          --only: one series of feeds
//        lyrn_bench --save DIR: writes the feeds and the library's documents
//        lyrn_bench --convert FILE [N]: the library alone, for a profiler
//        BENCH_MAX_CALL_SECONDS=N skips a converter on a feed where one call
//        is projected to take longer than N seconds (default 30).
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <expat.h>
#include <libxml/xmlversion.h>
#include <malloc.h>
#include <pugixml.hpp>
#include <yyjson.h>

#include <algorithm>
#include <climits>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>
#include <string>
#include <vector>

#include "feed_gen.hpp"
#include "lyrn.h"
#include "peers.hpp"

namespace {

using bench::peer_feed;

constexpr const char kFeedUrl[] = "https://feeds.example.com/music/bench/all/feed.xml";
constexpr std::uint64_t kSeed = 0x5EED1234ABCDull;

struct feed_case {
  std::string label;   // "1 MB", "10k items"
  bool minimal = false;
  std::string bytes;
  std::size_t items = 0;
  peer_feed extracted;  // what the pugixml peer found: input of "yyjson document alone"
  std::size_t doc_bytes = 0;
};

// Converters return a malloc'd document (released by the caller) or nullptr.
using convert_fn = char *(*)(const feed_case &);

struct converter {
  const char *name;
  convert_fn fn;
  bool writes_document;  // false for the two limits
};

volatile std::uintptr_t g_sink;
char *g_copy_target = nullptr;

char *run_library(const feed_case &c) { return lyrn_parse_feed_json(c.bytes.data(), c.bytes.size(), kFeedUrl); }
char *run_pugixml(const feed_case &c) { return bench::convert_pugixml(c.bytes.data(), c.bytes.size(), kFeedUrl); }
char *run_libxml2(const feed_case &c) { return bench::convert_libxml2(c.bytes.data(), c.bytes.size(), kFeedUrl); }
char *run_expat(const feed_case &c) { return bench::convert_expat(c.bytes.data(), c.bytes.size(), kFeedUrl); }
char *run_yyjson_alone(const feed_case &c) { return bench::write_playlist(c.extracted, kFeedUrl); }
// Byte 0x01 never occurs in a generated feed, so memchr reads every byte.
char *run_memchr(const feed_case &c) {
  g_sink = reinterpret_cast<std::uintptr_t>(std::memchr(c.bytes.data(), 0x01, c.bytes.size()));
  return nullptr;
}
char *run_memcpy(const feed_case &c) {
  std::memcpy(g_copy_target, c.bytes.data(), c.bytes.size());
  g_sink = static_cast<unsigned char>(g_copy_target[c.bytes.size() / 2]);
  return nullptr;
}

enum conv_id { kLibrary, kPugixml, kLibxml2, kExpat, kYyjsonAlone, kMemchr, kMemcpy, kConvCount };

const converter kConverters[kConvCount] = {
    {"library", run_library, true},
    {"pugixml DOM", run_pugixml, true},
    {"libxml2 SAX2", run_libxml2, true},
    {"expat", run_expat, true},
    {"yyjson document alone", run_yyjson_alone, true},
    {"memchr (limit)", run_memchr, false},
    {"memcpy (limit)", run_memcpy, false},
};

double now_seconds() {
  using clock = std::chrono::steady_clock;
  return std::chrono::duration<double>(clock::now().time_since_epoch()).count();
}

// CPU time of this thread, page faults included. The machine is shared:
// wall time would also count the slices other processes got meanwhile.
double cpu_seconds() {
  timespec ts{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

struct sample {
  double cpu;   // seconds per call
  double wall;  // seconds per call
};

// Times k calls, the result released inside the timing.
sample time_calls(const converter &conv, const feed_case &c, long k) {
  double w0 = now_seconds(), c0 = cpu_seconds();
  for (long i = 0; i < k; ++i) lyrn_free(conv.fn(c));
  double c1 = cpu_seconds(), w1 = now_seconds();
  double n = static_cast<double>(k);
  return {(c1 - c0) / n, (w1 - w0) / n};
}

// Wall time over CPU time of every sample: how much of each sample this
// process spent waiting for a core (1.00 = the machine was all ours).
std::vector<double> g_wall_over_cpu;

struct cell {
  std::vector<double> samples;  // CPU seconds per call
  long calls_per_sample = 1;
  double cold = 0;  // the checking call, which also warms up
  bool skipped = false;
  std::string note;
};

struct stats {
  double median = 0, min = 0, max = 0;
};

stats summarize(std::vector<double> v) {
  stats s;
  if (v.empty()) return s;
  std::sort(v.begin(), v.end());
  std::size_t n = v.size();
  s.median = n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
  s.min = v.front();
  s.max = v.back();
  return s;
}

struct settings {
  bool quick = false;
  double budget = 3.0;          // seconds of rounds per feed, after min_rounds
  int min_rounds = 5;
  int max_rounds = 101;
  double sample_seconds = 0.005;  // small feeds: calls are batched to this length
  double max_call_seconds = 30;
};

// ---- Checking ---------------------------------------------------------------

long track_count_of(const char *json) {
  if (!json) return -1;
  const char *p = std::strstr(json, "\"trackCount\":");
  return p ? std::strtol(p + 13, nullptr, 10) : -1;
}

std::string excerpt(const char *s, std::size_t at) {
  std::size_t len = std::strlen(s);
  std::size_t from = at > 40 ? at - 40 : 0;
  std::size_t to = std::min(len, at + 40);
  return std::string(s + from, to - from);
}

// Prints a mismatch line and returns false when the peer's document is not
// the library's byte for byte.
bool same_document(const feed_case &c, const char *peer, const char *lib, const char *got) {
  if (lib && got && std::strcmp(lib, got) == 0) return true;
  if (!lib || !got) {
    std::printf("MISMATCH %s: %s %s no document (library %s)\n", c.label.c_str(), peer,
                got ? "wrote a document, library wrote" : "wrote", lib ? "wrote one" : "wrote none");
    return false;
  }
  std::size_t i = 0;
  while (lib[i] && lib[i] == got[i]) ++i;
  std::printf("MISMATCH %s: %s differs from the library at byte %zu (trackCount library %ld, %s %ld)\n",
              c.label.c_str(), peer, i, track_count_of(lib), peer, track_count_of(got));
  std::printf("  library: ...%s...\n  %s: ...%s...\n", excerpt(lib, i).c_str(), peer, excerpt(got, i).c_str());
  return false;
}

// ---- Peak memory ------------------------------------------------------------

long status_kb(const char *key) {
  FILE *f = std::fopen("/proc/self/status", "r");
  if (!f) return -1;
  char line[256];
  long v = -1;
  std::size_t klen = std::strlen(key);
  while (std::fgets(line, sizeof line, f))
    if (std::strncmp(line, key, klen) == 0 && line[klen] == ':') v = std::strtol(line + klen + 1, nullptr, 10);
  std::fclose(f);
  return v;
}

// Resets VmHWM to the current resident size ("5" to clear_refs).
bool reset_peak() {
  int fd = open("/proc/self/clear_refs", O_WRONLY);
  if (fd < 0) return false;
  bool ok = write(fd, "5", 1) == 1;
  close(fd);
  return ok;
}

long maxrss_kb() {
  rusage ru{};
  getrusage(RUSAGE_SELF, &ru);
  return ru.ru_maxrss;
}

// Runs fn in a fresh child and returns what it sends back through a pipe.
template <typename Fn>
bool in_child(Fn fn, long out[2]) {
  int fds[2];
  if (pipe(fds) != 0) return false;
  std::fflush(stdout);
  pid_t pid = fork();
  if (pid < 0) return false;
  if (pid == 0) {
    close(fds[0]);
    long v[2] = {-1, -1};
    fn(v);
    ssize_t w = write(fds[1], v, sizeof v);
    _exit(w == static_cast<ssize_t>(sizeof v) ? 0 : 1);
  }
  close(fds[1]);
  ssize_t r = read(fds[0], out, 2 * sizeof(long));
  close(fds[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  return r == static_cast<ssize_t>(2 * sizeof(long)) && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// Checks in a child that resetting VmHWM works here: after touching and
// releasing 256 MB, the peak must fall back to about the resident size.
bool peak_reset_works(long *before_kb, long *after_kb) {
  long v[2];
  bool ok = in_child(
      [](long out[2]) {
        const std::size_t n = 256u << 20;
        // Through a volatile pointer, so the compiler cannot drop the block.
        char *volatile p = static_cast<char *>(std::malloc(n));
        if (!p) return;
        for (std::size_t i = 0; i < n; i += 4096) p[i] = 1;
        std::free(p);
        out[0] = status_kb("VmHWM");
        if (!reset_peak()) return;
        out[1] = status_kb("VmHWM");
      },
      v);
  *before_kb = v[0];
  *after_kb = v[1];
  return ok && v[0] > 0 && v[1] > 0 && v[0] - v[1] > (200L << 10);
}

// Peak growth in kB of one call of conv on c, in a fresh child process.
long peak_growth_kb(const converter &conv, const feed_case &c, bool use_hwm) {
  long v[2];
  const converter *cp = &conv;
  const feed_case *fc = &c;
  bool ok = in_child(
      [cp, fc, use_hwm](long out[2]) {
        malloc_trim(0);  // freed heap inherited from the parent must not hide growth
        long base;
        if (use_hwm) {
          if (!reset_peak()) return;
          base = status_kb("VmHWM");
        } else {
          base = maxrss_kb();
        }
        char *doc = cp->fn(*fc);
        long peak = use_hwm ? status_kb("VmHWM") : maxrss_kb();
        g_sink = doc ? static_cast<unsigned char>(doc[0]) : 0;
        lyrn_free(doc);
        out[0] = base;
        out[1] = peak;
      },
      v);
  if (!ok || v[0] < 0 || v[1] < 0) return -1;
  return v[1] - v[0];
}

// ---- Output -----------------------------------------------------------------

std::string read_cpu_model() {
  FILE *f = std::fopen("/proc/cpuinfo", "r");
  if (!f) return "unknown";
  char line[512];
  std::string model = "unknown";
  while (std::fgets(line, sizeof line, f)) {
    if (std::strncmp(line, "model name", 10) == 0) {
      const char *p = std::strchr(line, ':');
      if (p) {
        model = p + 1;
        while (!model.empty() && (model.front() == ' ' || model.front() == '\t')) model.erase(0, 1);
        while (!model.empty() && (model.back() == '\n' || model.back() == ' ')) model.pop_back();
      }
      break;
    }
  }
  std::fclose(f);
  return model;
}

std::string size_text(double bytes) {
  char buf[64];
  if (bytes >= 1e6)
    std::snprintf(buf, sizeof buf, "%.2f MB", bytes / 1e6);
  else
    std::snprintf(buf, sizeof buf, "%.1f KB", bytes / 1e3);
  return buf;
}

std::string ratio_text(double r) {
  if (!(r > 0) || !std::isfinite(r)) return "-";
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.2fx", r);
  return buf;
}

// ---- The run ----------------------------------------------------------------

// One converter's single-call time projected onto a bigger feed of the same
// kind from its last two measured feeds (at least linear growth).
double project(const std::vector<std::pair<double, double>> &seen, double bytes) {
  if (seen.empty()) return 0;
  auto [b1, t1] = seen.back();
  double e = 1;
  if (seen.size() >= 2) {
    auto [b0, t0] = seen[seen.size() - 2];
    if (t0 > 0 && t1 > 0 && b1 > b0) e = std::max(1.0, std::log(t1 / t0) / std::log(b1 / b0));
  }
  return t1 * std::pow(bytes / b1, e);
}

struct series_run {
  std::vector<feed_case *> cases;
  std::vector<std::vector<cell>> cells;  // [case][converter]
};

int g_mismatches = 0;

void measure_series(series_run &run, const settings &cfg) {
  run.cells.assign(run.cases.size(), std::vector<cell>(kConvCount));
  std::vector<std::vector<std::pair<double, double>>> seen(kConvCount);
  for (std::size_t ci = 0; ci < run.cases.size(); ++ci) {
    feed_case &c = *run.cases[ci];
    auto &cells = run.cells[ci];
    double bytes = static_cast<double>(c.bytes.size());

    // The checking call: every document must be the library's, byte for byte.
    char *lib_doc = nullptr;
    for (int k = 0; k < kConvCount; ++k) {
      const converter &conv = kConverters[k];
      cell &cl = cells[k];
      double projected = project(seen[k], bytes);
      if (projected > cfg.max_call_seconds) {
        cl.skipped = true;
        char buf[160];
        std::snprintf(buf, sizeof buf, "skipped: one call projected at %.0f s", projected);
        cl.note = buf;
        continue;
      }
      double t0 = now_seconds();
      char *doc = conv.fn(c);
      cl.cold = now_seconds() - t0;
      seen[k].emplace_back(bytes, cl.cold);
      if (k == kLibrary) {
        lib_doc = doc;
        c.doc_bytes = doc ? std::strlen(doc) : 0;
        if (!doc) {
          std::printf("MISMATCH %s: the library wrote no document\n", c.label.c_str());
          ++g_mismatches;
        }
        continue;
      }
      if (conv.writes_document && lib_doc && !same_document(c, conv.name, lib_doc, doc)) ++g_mismatches;
      lyrn_free(doc);
    }
    lyrn_free(lib_doc);

    for (int k = 0; k < kConvCount; ++k) {
      cell &cl = cells[k];
      if (cl.skipped) continue;
      double k_calls = std::ceil(cfg.sample_seconds / std::max(cl.cold, 1e-9));
      cl.calls_per_sample = static_cast<long>(std::clamp(k_calls, 1.0, 100000.0));
    }

    // Interleaved rounds; the starting converter rotates so none always runs
    // right after the same neighbour. Where one round takes seconds, three
    // rounds keep the run within minutes.
    double round_seconds = 0;
    for (const cell &cl : cells) round_seconds += cl.cold;
    int min_rounds = round_seconds > 5 ? std::min(cfg.min_rounds, 3) : cfg.min_rounds;
    double start = now_seconds();
    for (int round = 0; round < cfg.max_rounds; ++round) {
      if (round >= min_rounds && now_seconds() - start >= cfg.budget) break;
      for (int j = 0; j < kConvCount; ++j) {
        int k = (j + round) % kConvCount;
        cell &cl = cells[k];
        if (cl.skipped) continue;
        sample sm = time_calls(kConverters[k], c, cl.calls_per_sample);
        cl.samples.push_back(sm.cpu);
        if (sm.cpu > 0) g_wall_over_cpu.push_back(sm.wall / sm.cpu);
      }
    }
    std::fprintf(stderr, "  measured %s: %zu rounds in %.1f s\n", c.label.c_str(),
                 cells[kLibrary].samples.size(), now_seconds() - start);
  }
}

void print_header_row(const char *first, const char *unit) {
  std::printf("| %s | converter | median %s | min %s | max %s | vs pugixml |\n", first, unit, unit, unit);
  std::printf("|---|---|---:|---:|---:|---:|\n");
}

// Throughput table: MB/s (10^6 bytes per second), higher is better.
void print_throughput(const series_run &run, const std::vector<std::size_t> &which) {
  std::printf("\n### Throughput, description-heavy feeds (MB/s, MB = 10^6 bytes; higher is better)\n\n");
  print_header_row("feed", "MB/s");
  for (std::size_t ci : which) {
    const feed_case &c = *run.cases[ci];
    double mb = static_cast<double>(c.bytes.size()) / 1e6;
    const auto &cells = run.cells[ci];
    stats ref = summarize(cells[kPugixml].samples);
    for (int k = 0; k < kConvCount; ++k) {
      const cell &cl = cells[k];
      if (cl.skipped) {
        std::printf("| %s | %s | %s | | | |\n", c.label.c_str(), kConverters[k].name, cl.note.c_str());
        continue;
      }
      stats s = summarize(cl.samples);
      std::printf("| %s | %s | %.1f | %.1f | %.1f | %s |\n", c.label.c_str(), kConverters[k].name,
                  mb / s.median, mb / s.max, mb / s.min, ratio_text(ref.median / s.median).c_str());
    }
  }
}

void print_conversions(const series_run &run, const std::vector<std::size_t> &which) {
  std::printf("\n### Conversions per second, small description-heavy feeds (higher is better)\n\n");
  print_header_row("feed", "conv/s");
  for (std::size_t ci : which) {
    const feed_case &c = *run.cases[ci];
    const auto &cells = run.cells[ci];
    stats ref = summarize(cells[kPugixml].samples);
    for (int k = 0; k < kConvCount; ++k) {
      if (!kConverters[k].writes_document || cells[k].skipped) continue;
      stats s = summarize(cells[k].samples);
      std::printf("| %s | %s | %.0f | %.0f | %.0f | %s |\n", c.label.c_str(), kConverters[k].name,
                  1 / s.median, 1 / s.max, 1 / s.min, ratio_text(ref.median / s.median).c_str());
    }
  }
}

void print_per_item(const series_run &run, const char *allocator) {
  std::printf("\n### Minimal feeds (title and enclosure only), %s: ns per item (lower is better)\n\n",
              allocator);
  print_header_row("feed", "ns/item");
  for (std::size_t ci = 0; ci < run.cases.size(); ++ci) {
    const feed_case &c = *run.cases[ci];
    const auto &cells = run.cells[ci];
    double n = static_cast<double>(c.items);
    stats ref = summarize(cells[kPugixml].samples);
    for (int k = 0; k < kConvCount; ++k) {
      const cell &cl = cells[k];
      if (cl.skipped) {
        std::printf("| %s | %s | %s | | | |\n", c.label.c_str(), kConverters[k].name, cl.note.c_str());
        continue;
      }
      stats s = summarize(cl.samples);
      // A speed ratio like the other tables: pugixml's time over this one's.
      std::printf("| %s | %s | %.1f | %.1f | %.1f | %s |\n", c.label.c_str(), kConverters[k].name,
                  s.median * 1e9 / n, s.min * 1e9 / n, s.max * 1e9 / n,
                  ratio_text(ref.median / s.median).c_str());
    }
  }
  if (run.cases.size() < 2) return;
  const feed_case &small = *run.cases.front();
  const feed_case &big = *run.cases.back();
  std::printf("\nGrowth of ns per item from %s to %s (median at %s / median at %s; 1.00 = linear):\n",
              small.label.c_str(), big.label.c_str(), big.label.c_str(), small.label.c_str());
  for (int k = 0; k < kConvCount; ++k) {
    if (!kConverters[k].writes_document) continue;
    const cell &a = run.cells.front()[k];
    const cell &b = run.cells.back()[k];
    if (a.skipped || b.skipped) {
      std::printf("- %s: not measured at both sizes\n", kConverters[k].name);
      continue;
    }
    double pa = summarize(a.samples).median / static_cast<double>(small.items);
    double pb = summarize(b.samples).median / static_cast<double>(big.items);
    std::printf("- %s: %.2f\n", kConverters[k].name, pb / pa);
  }
}

void print_memory(const std::vector<feed_case *> &cases, bool use_hwm) {
  std::printf("\n### Peak memory growth of one conversion (fresh child process, %s)\n\n",
              use_hwm ? "VmHWM after a clear_refs reset" : "ru_maxrss before and after");
  std::printf("| feed | converter | growth | x input size | x yyjson document alone |\n");
  std::printf("|---|---|---:|---:|---:|\n");
  const int order[] = {kLibrary, kPugixml, kLibxml2, kExpat, kYyjsonAlone};
  for (feed_case *c : cases) {
    long growth[kConvCount] = {};
    for (int k : order) growth[k] = peak_growth_kb(kConverters[k], *c, use_hwm);
    double input_kb = static_cast<double>(c->bytes.size()) / 1024.0;
    for (int k : order) {
      if (growth[k] < 0) {
        std::printf("| %s | %s | not measured | | |\n", c->label.c_str(), kConverters[k].name);
        continue;
      }
      double g = static_cast<double>(growth[k]);
      std::string vs_doc = growth[kYyjsonAlone] > 0 ? ratio_text(g / static_cast<double>(growth[kYyjsonAlone])) : "-";
      std::printf("| %s | %s | %.1f MB | %.2f | %s |\n", c->label.c_str(), kConverters[k].name,
                  g * 1024.0 / 1e6, g / input_kb, vs_doc.c_str());
    }
  }
}

feed_case rich_case(const char *label, std::size_t target) {
  feed_case c;
  c.label = label;
  c.bytes = bench::make_rich_feed(target, kSeed, &c.items);
  return c;
}

feed_case minimal_case(const char *label, std::size_t items) {
  feed_case c;
  c.label = label;
  c.minimal = true;
  c.items = items;
  c.bytes = bench::make_minimal_feed(items, kSeed);
  return c;
}

// Writes every feed and the library's document for it into dir, for a look
// at the input or for profiling the library on the same bytes.
int save_feeds(const char *dir, const std::vector<feed_case> &rich, const std::vector<feed_case> &minimal) {
  for (const auto *set : {&rich, &minimal}) {
    for (const feed_case &c : *set) {
      std::string base = std::string(dir) + "/" + (c.minimal ? "minimal-" : "rich-");
      for (char ch : c.label)
        if (ch != ' ') base += ch;
      char *doc = run_library(c);
      FILE *f = std::fopen((base + ".xml").c_str(), "wb");
      FILE *g = std::fopen((base + ".json").c_str(), "wb");
      bool ok = f && g && std::fwrite(c.bytes.data(), 1, c.bytes.size(), f) == c.bytes.size() &&
                (!doc || std::fputs(doc, g) >= 0);
      if (f) std::fclose(f);
      if (g) std::fclose(g);
      lyrn_free(doc);
      if (!ok) {
        std::fprintf(stderr, "cannot write %s.xml/.json\n", base.c_str());
        return 1;
      }
      std::printf("wrote %s.xml and %s.json\n", base.c_str(), base.c_str());
    }
  }
  return 0;
}

// Converts one file with the library a number of times: a small, steady
// workload to run under a profiler such as callgrind.
int convert_file(const char *path, long times) {
  FILE *f = std::fopen(path, "rb");
  if (!f) {
    std::fprintf(stderr, "cannot open %s\n", path);
    return 1;
  }
  std::string bytes;
  char buf[65536];
  for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, f)) > 0;) bytes.append(buf, n);
  std::fclose(f);
  long tracks = -1;
  for (long i = 0; i < times; ++i) {
    char *doc = lyrn_parse_feed_json(bytes.data(), bytes.size(), kFeedUrl);
    tracks = track_count_of(doc);
    lyrn_free(doc);
  }
  std::printf("%s: %zu bytes, %ld tracks, converted %ld times\n", path, bytes.size(), tracks, times);
  return 0;
}

}  // namespace

int main(int argc, char **argv) {
  settings cfg;
  const char *save_dir = nullptr;
  const char *only = nullptr;  // one series of feeds only
  const char *quick_env = std::getenv("BENCH_QUICK");
  cfg.quick = quick_env && *quick_env && std::strcmp(quick_env, "0") != 0;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--quick") == 0) {
      cfg.quick = true;
    } else if (std::strcmp(argv[i], "--save") == 0 && i + 1 < argc) {
      save_dir = argv[++i];
    } else if (std::strcmp(argv[i], "--convert") == 0 && i + 1 < argc) {
      return convert_file(argv[i + 1], i + 2 < argc ? std::atol(argv[i + 2]) : 1);
    } else if (std::strcmp(argv[i], "--only") == 0 && i + 1 < argc &&
               (std::strcmp(argv[i + 1], "rich") == 0 || std::strcmp(argv[i + 1], "minimal") == 0)) {
      only = argv[++i];
    } else {
      std::fprintf(stderr,
                   "usage: %s [--quick] [--only rich|minimal] [--save DIR]"
                   " [--convert FILE [TIMES]]\n",
                   argv[0]);
      return 2;
    }
  }
  if (const char *m = std::getenv("BENCH_MAX_CALL_SECONDS")) cfg.max_call_seconds = std::atof(m);
  if (cfg.quick) {
    cfg.budget = 0.2;
    cfg.min_rounds = 3;
    cfg.max_rounds = 15;
    cfg.sample_seconds = 0.002;
  }
  bench::init_libxml2();
  std::setvbuf(stdout, nullptr, _IOLBF, 0);

  char date[64];
  std::time_t t = std::time(nullptr);
  std::strftime(date, sizeof date, "%Y-%m-%d %H:%M UTC", std::gmtime(&t));
  std::printf("## Feed conversion benchmark%s\n\n", cfg.quick ? " (quick)" : "");
  std::printf("- date: %s\n- machine: %ld cores online, %s\n", date, sysconf(_SC_NPROCESSORS_ONLN),
              read_cpu_model().c_str());
  std::printf("- library %s; peers: pugixml %d.%d, libxml2 %s, %s; documents written with yyjson %s\n",
              lyrn_version(), PUGIXML_VERSION / 1000, PUGIXML_VERSION / 10 % 100, LIBXML_DOTTED_VERSION,
              XML_ExpatVersion(), YYJSON_VERSION_STRING);
  std::printf("- each figure: median, min and max over interleaved rounds of the thread's CPU time (page\n"
              "  faults included); ratios are against the pugixml peer's median in the same run (above 1 =\n"
              "  faster than pugixml)\n");
  std::printf("- allocator: glibc defaults (large blocks are mapped and unmapped on every call), then for\n"
              "  the minimal feeds once more with the heap kept between calls\n");

  // Feeds first, so that generation stays out of every measurement.
  double g0 = now_seconds();
  std::vector<feed_case> rich, minimal;
  bool want_rich = !only || std::strcmp(only, "rich") == 0;
  bool want_minimal = !only || std::strcmp(only, "minimal") == 0;
  if (want_rich) {
    rich.push_back(rich_case("20 KB", 20000));
    rich.push_back(rich_case("100 KB", 100000));
    if (!cfg.quick) {
      rich.push_back(rich_case("1 MB", 1000000));
      rich.push_back(rich_case("10 MB", 10000000));
      rich.push_back(rich_case("100 MB", 100000000));
    }
  }
  if (want_minimal) {
    minimal.push_back(minimal_case("1k items", 1000));
    minimal.push_back(minimal_case("10k items", 10000));
    if (!cfg.quick) {
      minimal.push_back(minimal_case("100k items", 100000));
      minimal.push_back(minimal_case("1M items", 1000000));
    }
  }
  if (save_dir) return save_feeds(save_dir, rich, minimal);
  std::size_t largest = 0;
  for (auto *set : {&rich, &minimal})
    for (feed_case &c : *set) {
      c.extracted = bench::extract_pugixml(c.bytes.data(), c.bytes.size());
      largest = std::max(largest, c.bytes.size());
    }
  std::unique_ptr<char[]> copy_target(new char[largest + 1]);
  std::memset(copy_target.get(), 0, largest + 1);
  g_copy_target = copy_target.get();
  std::printf("- feeds generated in %.1f s (not measured):", now_seconds() - g0);
  for (auto *set : {&rich, &minimal})
    for (feed_case &c : *set)
      std::printf(" %s = %s, %zu items;", c.label.c_str(), size_text(static_cast<double>(c.bytes.size())).c_str(),
                  c.items);
  std::printf("\n");

  // Memory before any timing, while the parent's heap holds little garbage.
  long hwm_before = 0, hwm_after = 0;
  bool use_hwm = peak_reset_works(&hwm_before, &hwm_after);
  std::printf("- peak reset check: VmHWM %ld kB after touching and freeing 256 MB, %ld kB after the reset: %s\n",
              hwm_before, hwm_after, use_hwm ? "works, peaks read from VmHWM" : "does not work, using ru_maxrss");
  std::vector<feed_case *> mem_cases;
  if (!rich.empty()) mem_cases.push_back(&rich.back());
  if (!minimal.empty()) mem_cases.push_back(&minimal[cfg.quick ? 1 : 2]);
  print_memory(mem_cases, use_hwm);
  std::fflush(stdout);

  series_run rich_run, minimal_run;
  for (feed_case &c : rich) rich_run.cases.push_back(&c);
  for (feed_case &c : minimal) minimal_run.cases.push_back(&c);
  std::fprintf(stderr, "checking and timing (%s)...\n", cfg.quick ? "quick" : "full");
  measure_series(rich_run, cfg);
  measure_series(minimal_run, cfg);

  std::vector<std::size_t> throughput_rows, conversion_rows;
  for (std::size_t i = 0; i < rich.size(); ++i) {
    if (rich[i].label != "20 KB") throughput_rows.push_back(i);
    if (rich[i].label == "20 KB" || rich[i].label == "100 KB") conversion_rows.push_back(i);
  }
  if (!rich.empty()) {
    print_throughput(rich_run, throughput_rows);
    print_conversions(rich_run, conversion_rows);
  }
  if (!minimal.empty()) print_per_item(minimal_run, "glibc defaults");

  // The same feeds again with no block going back to the kernel: after the
  // first call every converter reuses pages it has already touched, which
  // shows how much of the growth with size is the cost of fresh pages.
  if (!minimal.empty()) {
    mallopt(M_MMAP_MAX, 0);
    mallopt(M_TRIM_THRESHOLD, INT_MAX);
    series_run kept_run;
    kept_run.cases = minimal_run.cases;
    std::fprintf(stderr, "again with the heap kept...\n");
    measure_series(kept_run, cfg);
    print_per_item(kept_run, "heap kept between calls");
  }

  stats share = summarize(g_wall_over_cpu);
  std::printf("\nWall time over CPU time per sample: median %.2f, max %.2f (1.00 = no other process took"
              " the core)\n", share.median, share.max);

  std::printf("\nDocuments checked byte for byte against the library's on every feed: ");
  if (g_mismatches == 0) {
    std::printf("the three peers and the yyjson document alone all agree.\n");
    return 0;
  }
  std::printf("%d MISMATCH(ES), see above.\n", g_mismatches);
  return 1;
}
