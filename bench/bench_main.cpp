// SPDX-License-Identifier: MIT
// The benchmark driver: generates the feeds, checks that every peer writes
// the library's document byte for byte, then times the library, the peers
// and two limits (memchr, memcpy) in interleaved rounds and prints medians
// with min and max, ratios against the pugixml peer measured in the same
// run, and the peak memory growth of one conversion in a fresh process.
//
// The headline figures come from fresh processes, one conversion each, as a
// host that converts a feed now and then sees them: fresh pages and all. The
// tables of repeated calls in one process follow, labelled warm.
//
// Usage: lyrn_bench [--quick] [--only rich|minimal] [--repeat-process] [--charts DIR]
//          --quick (or BENCH_QUICK=1): tiny feeds, a few seconds
//          --only: one series of feeds
//          --repeat-process: the fresh-process tables only
//          --charts DIR: also writes the tables as SVG charts into DIR
//        lyrn_bench --save DIR: writes the feeds and the library's documents
//        lyrn_bench --convert FILE [N] [--with CONVERTER] [--report]: one
//          converter alone (the library unless named), for a profiler or
//          /usr/bin/time; --report prints what the fresh-process runs read
//        BENCH_MAX_CALL_SECONDS=N skips a converter on a feed where one call
//        is projected to take longer than N seconds (default 30).
#include <fcntl.h>
#include <spawn.h>
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
#include "svg_chart.hpp"

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
  std::printf("\n### Warm: repeated calls in one process, description-heavy feeds (MB/s, MB = 10^6 bytes;"
              " higher is better)\n\n");
  std::printf("| feed | converter | median MB/s | min MB/s | max MB/s | vs pugixml | vs memchr |\n");
  std::printf("|---|---|---:|---:|---:|---:|---:|\n");
  for (std::size_t ci : which) {
    const feed_case &c = *run.cases[ci];
    double mb = static_cast<double>(c.bytes.size()) / 1e6;
    const auto &cells = run.cells[ci];
    stats ref = summarize(cells[kPugixml].samples);
    stats chr = summarize(cells[kMemchr].samples);
    for (int k = 0; k < kConvCount; ++k) {
      const cell &cl = cells[k];
      if (cl.skipped) {
        std::printf("| %s | %s | %s | | | | |\n", c.label.c_str(), kConverters[k].name, cl.note.c_str());
        continue;
      }
      stats s = summarize(cl.samples);
      std::printf("| %s | %s | %.1f | %.1f | %.1f | %s | %.3f |\n", c.label.c_str(), kConverters[k].name,
                  mb / s.median, mb / s.max, mb / s.min, ratio_text(ref.median / s.median).c_str(),
                  chr.median / s.median);
    }
  }
}

void print_conversions(const series_run &run, const std::vector<std::size_t> &which) {
  std::printf("\n### Warm: repeated calls in one process, conversions per second of small description-heavy"
              " feeds (higher is better)\n\n");
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
  std::printf("\n### Warm: repeated calls in one process, minimal feeds (title and enclosure only), %s: ns per"
              " item (lower is better)\n\n",
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

// The converters a child process can run by name; the yyjson document alone
// is left out, since extracting its input first would warm the heap.
int converter_by_name(const char *name) {
  const struct {
    const char *name;
    int id;
  } names[] = {{"library", kLibrary}, {"pugixml", kPugixml}, {"libxml2", kLibxml2},
               {"expat", kExpat},     {"memchr", kMemchr},   {"memcpy", kMemcpy}};
  for (const auto &n : names)
    if (std::strcmp(n.name, name) == 0) return n.id;
  return -1;
}

// Converts one file a number of times with one converter (the library unless
// named): a steady workload for a profiler such as callgrind, and the child
// of --repeat-process, which asks with --report for one line with the CPU
// time, wall time and minor page faults of the conversions alone. The file
// is read into a block of its exact size before anything is timed; the
// memcpy limit copies into a block that it touches for the first time.
int convert_file(const char *path, long times, int conv, bool report) {
  FILE *f = std::fopen(path, "rb");
  if (!f) {
    std::fprintf(stderr, "cannot open %s\n", path);
    return 1;
  }
  feed_case c;
  c.label = path;
  if (std::fseek(f, 0, SEEK_END) == 0) {
    long size = std::ftell(f);
    if (size > 0) c.bytes.reserve(static_cast<std::size_t>(size));
    std::fseek(f, 0, SEEK_SET);
  }
  char buf[65536];
  for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, f)) > 0;) c.bytes.append(buf, n);
  std::fclose(f);
  std::unique_ptr<char[]> target;
  if (conv == kMemcpy) {
    target.reset(new char[c.bytes.size() + 1]);
    g_copy_target = target.get();
  }
  long tracks = -1;
  if (report) std::printf("report %ld\n", times);
  rusage r0{}, r1{};
  for (long i = 0; i < times; ++i) {
    getrusage(RUSAGE_SELF, &r0);
    const double w0 = now_seconds(), c0 = cpu_seconds();
    char *doc = kConverters[conv].fn(c);
    if (doc) tracks = track_count_of(doc);
    lyrn_free(doc);
    const double c1 = cpu_seconds(), w1 = now_seconds();
    getrusage(RUSAGE_SELF, &r1);
    if (report) std::printf("conversion %.9f %.9f %ld\n", c1 - c0, w1 - w0, r1.ru_minflt - r0.ru_minflt);
  }
  if (!report)
    std::printf("%s: %zu bytes, %ld tracks, converted %ld times with %s\n", path, c.bytes.size(), tracks, times,
                kConverters[conv].name);
  return 0;
}

// Converts c once with every peer and compares each document with the
// library's, byte for byte.
void check_documents(const feed_case &c) {
  char *lib = run_library(c);
  if (!lib) {
    std::printf("MISMATCH %s: the library wrote no document\n", c.label.c_str());
    ++g_mismatches;
    return;
  }
  for (int k : {kPugixml, kLibxml2, kExpat}) {
    char *doc = kConverters[k].fn(c);
    if (!same_document(c, kConverters[k].name, lib, doc)) ++g_mismatches;
    lyrn_free(doc);
  }
  lyrn_free(lib);
}

// ---- Whole processes ---------------------------------------------------------

// What one child process measured: each conversion inside it (thread CPU
// time, page faults included, wall time and minor faults) and the whole
// process as its parent saw it (user + system CPU time from wait4).
struct process_sample {
  bool ok = false;
  std::vector<double> conv_cpu;
  std::vector<long> conv_faults;
  double proc_cpu = 0, proc_wall = 0;
};

// Runs `self --convert file times --with name --report` and reads its lines.
process_sample run_child(const char *self, const std::string &file, const char *name, long times) {
  process_sample s;
  int fds[2];
  if (pipe(fds) != 0) return s;
  std::fflush(stdout);
  // posix_spawn rather than fork: this process holds every feed, and
  // copying its page tables for each child would take longer than many of
  // the conversions.
  std::string n = std::to_string(times);
  std::string feed_path = file;
  char *const child_argv[] = {const_cast<char *>(self), const_cast<char *>("--convert"), feed_path.data(), n.data(),
                              const_cast<char *>("--with"), const_cast<char *>(name), const_cast<char *>("--report"),
                              nullptr};
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
  posix_spawn_file_actions_addclose(&actions, fds[0]);
  posix_spawn_file_actions_addclose(&actions, fds[1]);
  const double w0 = now_seconds();
  pid_t pid = -1;
  const int spawned = posix_spawn(&pid, self, &actions, nullptr, child_argv, environ);
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) {
    close(fds[0]);
    close(fds[1]);
    return s;
  }
  close(fds[1]);
  std::string out;
  char buf[512];
  for (ssize_t r; (r = read(fds[0], buf, sizeof buf)) > 0;) out.append(buf, static_cast<std::size_t>(r));
  close(fds[0]);
  int status = 0;
  rusage ru{};
  if (wait4(pid, &status, 0, &ru) != pid) return s;
  s.proc_wall = now_seconds() - w0;
  s.proc_cpu = static_cast<double>(ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) +
               static_cast<double>(ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) * 1e-6;
  long announced = -1;
  const char *p = std::strstr(out.c_str(), "report ");
  if (!p || std::sscanf(p, "report %ld", &announced) != 1) return s;
  while ((p = std::strstr(p + 1, "conversion "))) {
    double cpu = 0, wall = 0;
    long faults = 0;
    if (std::sscanf(p, "conversion %lf %lf %ld", &cpu, &wall, &faults) != 3) return s;
    s.conv_cpu.push_back(cpu);
    s.conv_faults.push_back(faults);
  }
  s.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0 && static_cast<long>(s.conv_cpu.size()) == announced;
  return s;
}

// The converters of the process runs, and the child that only reads the feed.
const int kProcessConverters[] = {kLibrary, kPugixml, kLibxml2, kExpat, kMemchr, kMemcpy};
constexpr int kProcessCount = sizeof kProcessConverters / sizeof kProcessConverters[0];
const char *const kProcessNames[kProcessCount] = {"library", "pugixml", "libxml2", "expat", "memchr", "memcpy"};

// Per converter and feed, one entry per process: its first conversion, the
// median of its later ones, and the whole process.
struct process_cell {
  std::vector<double> first_cpu, later_cpu, proc_cpu;
  std::vector<long> first_faults, later_faults;
  bool skipped = false;
};

struct process_case {
  const feed_case *feed;
  std::string file;
  long conversions = 1;  // per process: the first, then the later ones
  process_cell cells[kProcessCount];
  process_cell read_only;  // reads the file, converts nothing
};

double median_of(std::vector<double> v) { return summarize(std::move(v)).median; }

long median_of(std::vector<long> v) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

// Interleaved rounds of one child per converter (the first converter of a
// round rotates), at least min_rounds and more until the budget is spent.
void measure_processes(std::vector<process_case> &cases, const char *self, const settings &cfg) {
  for (process_case &pc : cases) {
    const double start = now_seconds();
    const int min_rounds = cfg.quick || pc.feed->bytes.size() > 5000000 ? 3 : 5;
    const int max_rounds = cfg.quick ? 5 : 21;
    const double budget = cfg.quick ? 0.5 : 6.0;
    for (int round = 0; round < max_rounds; ++round) {
      if (round >= min_rounds && now_seconds() - start >= budget) break;
      for (int j = 0; j <= kProcessCount; ++j) {
        const int k = (j + round) % (kProcessCount + 1);
        process_cell &cell = k == kProcessCount ? pc.read_only : pc.cells[k];
        if (cell.skipped) continue;
        const char *name = k == kProcessCount ? "library" : kProcessNames[k];
        process_sample s = run_child(self, pc.file, name, k == kProcessCount ? 0 : pc.conversions);
        if (!s.ok) {
          std::printf("FAILED: the child converting %s with %s did not report\n", pc.feed->label.c_str(), name);
          ++g_mismatches;
          cell.skipped = true;
          continue;
        }
        cell.proc_cpu.push_back(s.proc_cpu);
        if (s.conv_cpu.empty()) continue;
        cell.first_cpu.push_back(s.conv_cpu.front());
        cell.first_faults.push_back(s.conv_faults.front());
        if (s.conv_cpu.size() > 1) {
          cell.later_cpu.push_back(median_of(std::vector<double>(s.conv_cpu.begin() + 1, s.conv_cpu.end())));
          cell.later_faults.push_back(median_of(std::vector<long>(s.conv_faults.begin() + 1, s.conv_faults.end())));
        }
      }
    }
    std::fprintf(stderr, "  processes for %s: %zu rounds in %.1f s\n", pc.feed->label.c_str(),
                 pc.read_only.proc_cpu.size(), now_seconds() - start);
  }
}

void print_process_table(const std::vector<process_case> &cases, bool per_item) {
  const char *unit = per_item ? "ns/item" : "MB/s";
  if (per_item)
    std::printf("\n### Minimal feeds (title and enclosure only), fresh processes: ns per item (lower is better)\n\n");
  else
    std::printf("\n### Description-heavy feeds, fresh processes: MB/s (MB = 10^6 bytes; higher is better)\n\n");
  std::printf("| feed | converter | later conversions, median %s | min | max | vs pugixml | %sfirst conversion"
              " %s | faults per later conversion | faults in the first | whole process CPU ms |\n",
              unit, per_item ? "" : "vs memchr | ", unit);
  std::printf(per_item ? "|---|---|---:|---:|---:|---:|---:|---:|---:|---:|\n"
                       : "|---|---|---:|---:|---:|---:|---:|---:|---:|---:|---:|\n");
  for (const process_case &pc : cases) {
    const feed_case &c = *pc.feed;
    const double ref = median_of(pc.cells[1].later_cpu);
    const double chr = median_of(pc.cells[4].later_cpu);
    const double n = static_cast<double>(c.items), mb = static_cast<double>(c.bytes.size()) / 1e6;
    auto figure = [&](double seconds) { return per_item ? seconds * 1e9 / n : mb / seconds; };
    for (int k = 0; k < kProcessCount; ++k) {
      const process_cell &cell = pc.cells[k];
      const char *name = kConverters[kProcessConverters[k]].name;
      if (cell.skipped || cell.later_cpu.empty()) {
        std::printf("| %s | %s | not measured | | | | | | | |%s\n", c.label.c_str(), name, per_item ? "" : " |");
        continue;
      }
      const stats s = summarize(cell.later_cpu);
      std::printf("| %s | %s | %.1f | %.1f | %.1f | %s | ", c.label.c_str(), name, figure(s.median),
                  figure(per_item ? s.min : s.max), figure(per_item ? s.max : s.min), ratio_text(ref / s.median).c_str());
      if (!per_item) std::printf("%.3f | ", chr / s.median);
      std::printf("%.1f | %ld | %ld | %.1f |\n", figure(median_of(cell.first_cpu)), median_of(cell.later_faults),
                  median_of(cell.first_faults), median_of(cell.proc_cpu) * 1e3);
    }
    std::printf("| %s | reading the file alone | | | | | %s| | | %.1f |\n", c.label.c_str(), per_item ? "" : "| ",
                median_of(pc.read_only.proc_cpu) * 1e3);
  }
  std::printf("\n%s per process: the first, then the later ones, each timed alone.\n",
              cases.empty() ? "" : (std::to_string(cases.front().conversions) + " conversions").c_str());
}

struct bar_chart_file {
  std::string name;
  bench::bar_chart chart;
};

// The converters drawn in the charts (the limits would flatten every bar).
const int kChartConverters[] = {kLibrary, kPugixml, kLibxml2, kExpat};

int process_index(int conv) {
  for (int k = 0; k < kProcessCount; ++k)
    if (kProcessConverters[k] == conv) return k;
  return -1;
}

// Writes the tables as SVG charts into dir: the fresh-process tables always,
// the warm ones when they were measured.
void write_charts(const char *dir, const std::vector<process_case> &rich_p, const std::vector<process_case> &minimal_p,
                  const series_run *rich_w, const series_run *minimal_w) {
  std::vector<std::string> written;
  auto save = [&](const bar_chart_file &file) {
    if (file.chart.groups.empty()) return;
    const std::string path = std::string(dir) + "/" + file.name;
    if (bench::write_bar_chart(path, file.chart))
      written.push_back(path);
    else
      std::fprintf(stderr, "cannot write %s\n", path.c_str());
  };
  for (int per_item = 0; per_item < 2; ++per_item) {
    const std::vector<process_case> &cases = per_item ? minimal_p : rich_p;
    bar_chart_file file;
    file.name = per_item ? "fresh-minimal-ns-per-item.svg" : "fresh-rich-mb-per-s.svg";
    file.chart.title = per_item ? "Minimal feeds, one conversion in a fresh process (ns per item, lower is better)"
                                : "Description-heavy feeds, one conversion in a fresh process (MB/s, higher is better)";
    file.chart.unit = per_item ? "ns per item" : "MB/s";
    for (const process_case &pc : cases) file.chart.groups.push_back(pc.feed->label);
    for (int conv : kChartConverters) {
      bench::chart_series series{kConverters[conv].name, {}};
      for (const process_case &pc : cases) {
        const process_cell &cell = pc.cells[process_index(conv)];
        const double t = cell.skipped ? 0 : median_of(cell.later_cpu);
        const double v = !(t > 0) ? 0
                         : per_item ? t * 1e9 / static_cast<double>(pc.feed->items)
                                    : static_cast<double>(pc.feed->bytes.size()) / 1e6 / t;
        series.values.push_back(v);
      }
      file.chart.series.push_back(std::move(series));
    }
    save(file);
  }
  for (int per_item = 0; per_item < 2; ++per_item) {
    const series_run *run = per_item ? minimal_w : rich_w;
    if (!run) continue;
    bar_chart_file file;
    file.name = per_item ? "warm-minimal-ns-per-item.svg" : "warm-rich-mb-per-s.svg";
    file.chart.title = per_item ? "Minimal feeds, warm: repeated calls in one process (ns per item, lower is better)"
                                : "Description-heavy feeds, warm: repeated calls in one process (MB/s, higher is better)";
    file.chart.unit = per_item ? "ns per item" : "MB/s";
    for (const feed_case *c : run->cases) file.chart.groups.push_back(c->label);
    for (int conv : kChartConverters) {
      bench::chart_series series{kConverters[conv].name, {}};
      for (std::size_t ci = 0; ci < run->cases.size(); ++ci) {
        const cell &cl = run->cells[ci][conv];
        const double t = cl.skipped ? 0 : summarize(cl.samples).median;
        const feed_case &c = *run->cases[ci];
        const double v = !(t > 0) ? 0
                         : per_item ? t * 1e9 / static_cast<double>(c.items)
                                    : static_cast<double>(c.bytes.size()) / 1e6 / t;
        series.values.push_back(v);
      }
      file.chart.series.push_back(std::move(series));
    }
    save(file);
  }
  for (const std::string &path : written) std::printf("- chart: %s\n", path.c_str());
}

}  // namespace

int main(int argc, char **argv) {
  settings cfg;
  const char *save_dir = nullptr;
  const char *only = nullptr;  // one series of feeds only
  const char *quick_env = std::getenv("BENCH_QUICK");
  cfg.quick = quick_env && *quick_env && std::strcmp(quick_env, "0") != 0;
  const char *convert_path = nullptr;
  long convert_times = 1;
  int convert_with = kLibrary;
  bool report = false;
  bool processes_only = false;
  const char *chart_dir = nullptr;
  bool usage_error = false;
  for (int i = 1; i < argc && !usage_error; ++i) {
    if (std::strcmp(argv[i], "--quick") == 0) {
      cfg.quick = true;
    } else if (std::strcmp(argv[i], "--save") == 0 && i + 1 < argc) {
      save_dir = argv[++i];
    } else if (std::strcmp(argv[i], "--convert") == 0 && i + 1 < argc) {
      convert_path = argv[++i];
      if (i + 1 < argc && argv[i + 1][0] >= '0' && argv[i + 1][0] <= '9') convert_times = std::atol(argv[++i]);
    } else if (std::strcmp(argv[i], "--with") == 0 && i + 1 < argc) {
      convert_with = converter_by_name(argv[++i]);
      usage_error = convert_with < 0;
    } else if (std::strcmp(argv[i], "--report") == 0) {
      report = true;
    } else if (std::strcmp(argv[i], "--repeat-process") == 0) {
      processes_only = true;
    } else if (std::strcmp(argv[i], "--charts") == 0 && i + 1 < argc) {
      chart_dir = argv[++i];
    } else if (std::strcmp(argv[i], "--only") == 0 && i + 1 < argc &&
               (std::strcmp(argv[i + 1], "rich") == 0 || std::strcmp(argv[i + 1], "minimal") == 0)) {
      only = argv[++i];
    } else {
      usage_error = true;
    }
  }
  if (usage_error) {
    std::fprintf(stderr,
                 "usage: %s [--quick] [--only rich|minimal] [--repeat-process] [--charts DIR] [--save DIR]\n"
                 "       %s --convert FILE [TIMES] [--with library|pugixml|libxml2|expat|memchr|memcpy] [--report]\n",
                 argv[0], argv[0]);
    return 2;
  }
  if (convert_path) {
    bench::init_libxml2();
    return convert_file(convert_path, convert_times, convert_with, report);
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
  std::printf("- headline: fresh processes, each reading the feed and converting it a few times with one\n"
              "  converter; the later conversions are what a host pays, with glibc's defaults, when it\n"
              "  converts feeds now and then\n");
  std::printf("- warm tables: repeated calls in this one process, whose heap the earlier converters have\n"
              "  shaped; the minimal feeds once more with the heap kept between calls\n");

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

  // The headline: every converter in fresh processes, one conversion each.
  std::vector<process_case> rich_processes, minimal_processes;
  {
    char self[4096];
    const ssize_t len = readlink("/proc/self/exe", self, sizeof self - 1);
    char dir_template[] = "/tmp/lyrn-bench-XXXXXX";
    const char *dir = len > 0 ? mkdtemp(dir_template) : nullptr;
    if (!dir) {
      std::printf("FAILED: no folder for the fresh-process runs\n");
      ++g_mismatches;
    } else {
      self[len] = '\0';
      for (auto *set : {&rich, &minimal}) {
        for (const feed_case &c : *set) {
          // A process per conversion of the 100 MB and 1M-item feeds takes
          // minutes a round on a shared machine; those two stay warm only.
          if (c.bytes.size() > 50000000) continue;
          process_case pc;
          pc.feed = &c;
          pc.conversions = c.bytes.size() > 5000000 ? 3 : 5;
          pc.file = std::string(dir) + "/" + (c.minimal ? "minimal-" : "rich-") + std::to_string(c.bytes.size()) + ".xml";
          FILE *f = std::fopen(pc.file.c_str(), "wb");
          const bool ok = f && std::fwrite(c.bytes.data(), 1, c.bytes.size(), f) == c.bytes.size();
          if (f) std::fclose(f);
          if (!ok) {
            std::printf("FAILED: cannot write %s\n", pc.file.c_str());
            ++g_mismatches;
            continue;
          }
          (c.minimal ? minimal_processes : rich_processes).push_back(std::move(pc));
        }
      }
      std::fprintf(stderr, "fresh processes (%s)...\n", cfg.quick ? "quick" : "full");
      measure_processes(rich_processes, self, cfg);
      measure_processes(minimal_processes, self, cfg);
      for (auto *set : {&rich_processes, &minimal_processes})
        for (const process_case &pc : *set) std::remove(pc.file.c_str());
      rmdir(dir);
      if (!rich_processes.empty()) print_process_table(rich_processes, false);
      if (!minimal_processes.empty()) print_process_table(minimal_processes, true);
    }
  }
  if (processes_only) {
    for (auto *set : {&rich, &minimal})
      for (const feed_case &c : *set) check_documents(c);
    std::printf("\nDocuments checked byte for byte against the library's on every feed: %s\n",
                g_mismatches == 0 ? "the three peers all agree." : "MISMATCH(ES), see above.");
    if (chart_dir) write_charts(chart_dir, rich_processes, minimal_processes, nullptr, nullptr);
    return g_mismatches == 0 ? 0 : 1;
  }

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

  if (chart_dir) write_charts(chart_dir, rich_processes, minimal_processes, &rich_run, &minimal_run);

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
