// SPDX-License-Identifier: MIT
#include "batch.hpp"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>

#include "display.hpp"
#include "input_file.hpp"
#include "json_output.hpp"
#include "output_file.hpp"

namespace lyrn_tool {
namespace {

using clock_type = std::chrono::steady_clock;

struct file_outcome {
  bool finished = false;
  bool ok = false;
  std::vector<std::string> messages;
};

// Everything the workers share, guarded by `lock` except the next index.
struct batch_state {
  const std::vector<std::string> *files;
  const batch_options *options;
  std::atomic<std::size_t> next{0};
  std::mutex lock;
  std::vector<file_outcome> outcomes;
  std::size_t reported = 0;  // outcomes before this index have been printed
  std::size_t done = 0, failed = 0, tracks = 0;
  unsigned long long bytes = 0;
  bool progress = false;       // a progress line is on screen and kept up to date
  bool progress_shown = false;
  clock_type::time_point start, last_draw;
};

double seconds_since(clock_type::time_point start) {
  return std::chrono::duration<double>(clock_type::now() - start).count();
}

double megabytes(unsigned long long bytes) { return static_cast<double>(bytes) / 1e6; }

std::string plural(std::size_t n, const char *one, const char *many) {
  return std::to_string(n) + " " + (n == 1 ? one : many);
}

void clear_progress(batch_state *s) {
  if (s->progress_shown) std::fputs("\r\033[K", stderr);
  s->progress_shown = false;
}

void draw_progress(batch_state *s) {
  const double t = seconds_since(s->start);
  std::fprintf(stderr, "\r\033[Klyrn: %zu/%zu files, %s, %s, %.1f MB/s", s->done, s->files->size(),
               plural(s->tracks, "track", "tracks").c_str(), plural(s->failed, "error", "errors").c_str(),
               t > 0 ? megabytes(s->bytes) / t : 0.0);
  (void)std::fflush(stderr);  // stderr is unbuffered; a failed progress line is no failure
  s->progress_shown = true;
  s->last_draw = clock_type::now();
}

// Prints the messages of every finished file that follows the ones already
// printed, so that they come out in input order whatever the threads do.
void report_in_order(batch_state *s) {
  bool printed = false;
  while (s->reported < s->outcomes.size() && s->outcomes[s->reported].finished) {
    for (const std::string &m : s->outcomes[s->reported].messages) {
      if (!printed) clear_progress(s);
      printed = true;
      std::fprintf(stderr, "lyrn: %s\n", display_name(m).c_str());
    }
    s->outcomes[s->reported].messages.clear();
    ++s->reported;
  }
  // Redrawn at most ten times a second, and always for the first and the
  // last file, so that even a short batch shows where it ended.
  const bool due = printed || !s->progress_shown || s->done == s->files->size() ||
                   std::chrono::duration<double>(clock_type::now() - s->last_draw).count() >= 0.1;
  if (s->progress && due) draw_progress(s);
}

// Writes one document through a temporary file renamed into place.
bool write_output(const std::string &path, const convert_result &r, bool pretty, std::string *error) {
  output_file out;
  if (!out.open(path, error)) return false;
  if (!write_document(out.stream(), r.json.data(), r.json.size(), pretty)) {
    *error = path + ": " + std::strerror(errno);
    return false;  // the destructor removes the temporary file
  }
  return out.commit(error);
}

// One file: read, convert, write. Never throws.
void convert_one(batch_state *s, std::size_t index, file_outcome *out, std::size_t *tracks,
                 std::size_t *bytes) {
  const std::string &path = (*s->files)[index];
  const std::string label = display_name(path);
  try {
    input_bytes input;
    std::string error;
    if (!read_input(path.c_str(), s->options->input_limit, &input, &error)) {
      out->messages.push_back(label + ": " + error);
      return;
    }
    *bytes = input.size();
    convert_result r;
    convert_feed(label, input.data(), input.size(), s->options->convert, &r);
    input = input_bytes();  // the feed is no longer needed while the document is written
    out->messages = std::move(r.messages);
    if (!r.ok) return;
    if (!write_output(output_path(s->options->dir, path), r, s->options->pretty, &error)) {
      out->messages.push_back(display_name(error));
      return;
    }
    *tracks = r.tracks;
    out->ok = true;
  } catch (const std::bad_alloc &) {
    out->ok = false;
    out->messages.push_back(label + ": out of memory");
  }
}

void worker(batch_state *s) {
  for (;;) {
    const std::size_t i = s->next.fetch_add(1);
    if (i >= s->files->size()) return;
    file_outcome outcome;
    std::size_t tracks = 0, bytes = 0;
    convert_one(s, i, &outcome, &tracks, &bytes);
    std::lock_guard<std::mutex> guard(s->lock);
    outcome.finished = true;
    s->outcomes[i] = std::move(outcome);
    ++s->done;
    if (!s->outcomes[i].ok) ++s->failed;
    s->tracks += tracks;
    s->bytes += bytes;
    report_in_order(s);
  }
}

}  // namespace

std::string output_name(const std::string &path) {
  const std::size_t slash = path.rfind('/');
  std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  if (name == "." || name == "..") return "";
  const std::size_t dot = name.rfind('.');
  if (dot != std::string::npos && dot > 0) name.erase(dot);
  return name;
}

std::string output_path(const std::string &dir, const std::string &path) {
  const bool slash = !dir.empty() && dir.back() == '/';
  return dir + (slash ? "" : "/") + output_name(path) + ".json";
}

int run_batch(const std::vector<std::string> &files, const batch_options &options) {
  std::string error;
  if (!make_dirs(options.dir, &error)) {
    std::fprintf(stderr, "lyrn: %s\n", display_name(error).c_str());
    return 1;
  }
  std::vector<std::string> outputs;
  outputs.reserve(files.size());
  for (const std::string &f : files) outputs.push_back(output_name(f) + ".json");
  remove_stale_temporaries(options.dir, outputs);
  start_interrupt_watch(files.size());
  batch_state s;
  s.files = &files;
  s.options = &options;
  s.outcomes.resize(files.size());
  s.progress = !options.convert.quiet && isatty(STDERR_FILENO);
  s.start = s.last_draw = clock_type::now();

  std::vector<std::thread> threads;
  const std::size_t wanted = std::min<std::size_t>(options.jobs ? options.jobs : 1, files.size());
  try {
    for (std::size_t i = 1; i < wanted; ++i) threads.emplace_back(worker, &s);
  } catch (const std::system_error &) {
    // Fewer threads than asked for: the ones running share the work.
  }
  worker(&s);
  for (std::thread &t : threads) t.join();

  std::lock_guard<std::mutex> guard(s.lock);
  clear_progress(&s);
  if (!options.convert.quiet) {
    const double t = seconds_since(s.start);
    std::fprintf(stderr, "lyrn: %s, %zu failed, %s, %.2f MB in %.2f s (%.1f MB/s)\n",
                 plural(files.size(), "file", "files").c_str(), s.failed,
                 plural(s.tracks, "track", "tracks").c_str(), megabytes(s.bytes), t,
                 t > 0 ? megabytes(s.bytes) / t : 0.0);
  }
  return s.failed ? 1 : 0;
}

}  // namespace lyrn_tool
