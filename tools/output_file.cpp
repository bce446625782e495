// SPDX-License-Identifier: MIT
#include "output_file.hpp"

#include <dirent.h>
#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <system_error>
#include <thread>

#ifdef LYRN_COVERAGE
// gcc's runtime: writes the coverage counters now, which _exit would skip.
extern "C" void __gcov_dump(void);
#endif

namespace lyrn_tool {
namespace {

constexpr char kTempMark[] = ".lyrn-";
constexpr std::size_t kTempRandom = 6;  // mkstemp's XXXXXX

// The temporary files that exist right now, and how many outputs are done.
// Workers take the lock only to create, rename or remove a temporary file,
// so that a stop sees each one either present or gone, never half made.
std::mutex g_temp_lock;
std::vector<std::string> g_temps;
std::size_t g_finished = 0, g_total = 0;

// The mode a plain create gives under the umask. Reading the umask means
// setting it for a moment; only this file's code creates files in a batch,
// and always under g_temp_lock, so nothing sees the moment.
mode_t file_mode() {
  const mode_t mask = umask(0);
  umask(mask);
  return static_cast<mode_t>(0666 & ~mask);
}

std::string dir_of(const std::string &path) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

std::string base_of(const std::string &path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

void forget_temp(const std::string &path) {
  auto it = std::find(g_temps.begin(), g_temps.end(), path);
  if (it != g_temps.end()) g_temps.erase(it);
}

void put_text(const char *text) {
  std::size_t n = std::strlen(text);
  while (n) {
    const ssize_t w = ::write(STDERR_FILENO, text, n);
    if (w < 0 && errno == EINTR) continue;
    if (w <= 0) return;
    text += w;
    n -= static_cast<std::size_t>(w);
  }
}

// Waits for a stop signal, then removes every temporary file and ends the
// process. Holding the lock to the end keeps workers from creating or
// renaming anything after the last removal.
void watch_signals(sigset_t set) {
  int sig = 0;
  while (sigwait(&set, &sig) != 0) {
  }
  g_temp_lock.lock();
  for (const std::string &t : g_temps) ::unlink(t.c_str());
  const char *name = sig == SIGINT ? "SIGINT" : sig == SIGTERM ? "SIGTERM" : "SIGHUP";
  std::string line = isatty(STDERR_FILENO) ? "\r\033[K" : "";
  line += std::string("lyrn: stopped by ") + name + ": " + std::to_string(g_finished) + " of " +
          std::to_string(g_total) + " outputs finished, no partial file left\n";
  put_text(line.c_str());
#ifdef LYRN_COVERAGE
  __gcov_dump();
#endif
  ::_exit(128 + sig);
}

}  // namespace

bool output_file::open(const std::string &final_path, std::string *error) {
  discard();
  final_path_ = final_path;
  std::string temp = dir_of(final_path) + "/." + base_of(final_path) + kTempMark + "XXXXXX";
  std::lock_guard<std::mutex> guard(g_temp_lock);
  const int fd = ::mkostemp(&temp[0], O_CLOEXEC);
  if (fd < 0) {
    *error = final_path + ": " + std::strerror(errno);
    return false;
  }
  ::fchmod(fd, file_mode());  // what a plain create would give, not mkstemp's 0600
  stream_ = ::fdopen(fd, "wb");
  if (!stream_) {
    *error = final_path + ": " + std::strerror(errno);
    ::close(fd);
    ::unlink(temp.c_str());
    return false;
  }
  temp_path_ = temp;
  g_temps.push_back(temp_path_);
  return true;
}

bool output_file::commit(std::string *error) {
  if (!stream_) {
    *error = final_path_ + ": " + std::strerror(EBADF);
    return false;
  }
  int failed = 0;
  if (std::fflush(stream_) != 0) failed = errno;
  // Synced before the rename, so that after a crash of the machine the final
  // name holds the old content or the new, never an empty file.
  if (!failed && ::fsync(fileno(stream_)) != 0) failed = errno;
  if (std::fclose(stream_) != 0 && !failed) failed = errno;
  stream_ = nullptr;
  if (!failed) {
    std::lock_guard<std::mutex> guard(g_temp_lock);
    if (::rename(temp_path_.c_str(), final_path_.c_str()) == 0) {
      forget_temp(temp_path_);
      temp_path_.clear();
      ++g_finished;
      return true;
    }
    failed = errno;
  }
  *error = final_path_ + ": " + std::strerror(failed ? failed : EIO);
  discard();
  return false;
}

void output_file::discard() {
  if (stream_) (void)std::fclose(stream_);  // the file is being thrown away
  stream_ = nullptr;
  if (temp_path_.empty()) return;
  std::lock_guard<std::mutex> guard(g_temp_lock);
  ::unlink(temp_path_.c_str());
  forget_temp(temp_path_);
  temp_path_.clear();
}

bool is_temporary_for(const std::string &name, const std::vector<std::string> &outputs) {
  const std::size_t mark_len = sizeof kTempMark - 1;
  if (name.size() < 1 + mark_len + kTempRandom || name[0] != '.') return false;
  const std::size_t mark = name.size() - kTempRandom - mark_len;
  if (name.compare(mark, mark_len, kTempMark) != 0) return false;
  const std::string output = name.substr(1, mark - 1);
  return std::find(outputs.begin(), outputs.end(), output) != outputs.end();
}

void remove_stale_temporaries(const std::string &dir, const std::vector<std::string> &outputs) {
  DIR *d = ::opendir(dir.c_str());
  if (!d) return;
  while (const dirent *e = ::readdir(d)) {
    const std::string name = e->d_name;
    if (!is_temporary_for(name, outputs)) continue;
    std::string path = dir;
    path += '/';
    path += name;
    ::unlink(path.c_str());
  }
  ::closedir(d);
}

bool make_dirs(const std::string &dir, std::string *error) {
  std::string path;
  std::size_t start = 0;
  while (start <= dir.size()) {
    std::size_t slash = dir.find('/', start);
    if (slash == std::string::npos) slash = dir.size();
    path = dir.substr(0, slash);
    start = slash + 1;
    if (path.empty()) continue;  // the root of an absolute path
    struct stat st;
    if (::stat(path.c_str(), &st) == 0) {
      if (S_ISDIR(st.st_mode)) continue;
      *error = path + ": " + std::strerror(ENOTDIR);
      return false;
    }
    if (::mkdir(path.c_str(), 0777) != 0 && errno != EEXIST) {
      *error = path + ": " + std::strerror(errno);
      return false;
    }
  }
  return true;
}

void start_interrupt_watch(std::size_t total) {
  {
    std::lock_guard<std::mutex> guard(g_temp_lock);
    g_total = total;
  }
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGINT);
  sigaddset(&set, SIGTERM);
  sigaddset(&set, SIGHUP);
  if (pthread_sigmask(SIG_BLOCK, &set, nullptr) != 0) return;
  try {
    std::thread(watch_signals, set).detach();
  } catch (const std::system_error &) {
    pthread_sigmask(SIG_UNBLOCK, &set, nullptr);  // no watcher: the default action stays
  }
}

}  // namespace lyrn_tool
