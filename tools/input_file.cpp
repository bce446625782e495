// SPDX-License-Identifier: MIT
#include "input_file.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <utility>

namespace lyrn_tool {

input_bytes::input_bytes(input_bytes &&other) noexcept : data_(other.data_), size_(other.size_) {
  other.data_ = nullptr;
  other.size_ = 0;
}

input_bytes &input_bytes::operator=(input_bytes &&other) noexcept {
  if (this != &other) {
    std::free(data_);
    data_ = std::exchange(other.data_, nullptr);
    size_ = std::exchange(other.size_, 0);
  }
  return *this;
}

input_bytes::~input_bytes() { std::free(data_); }

namespace {

std::string too_large(std::size_t limit) {
  return "the input is larger than the limit of " + size_text(limit) + " (--max-input SIZE raises it)";
}

// Reads until the end of the input into a buffer that starts at `hint`
// bytes and doubles, never beyond limit + 1 bytes: one byte past the limit
// is enough to know the input is too large.
bool read_all(int fd, std::size_t hint, std::size_t limit, char **data, std::size_t *size,
              std::string *error) {
  const std::size_t cap_max = limit < static_cast<std::size_t>(-1) ? limit + 1 : limit;
  // Never 0: hint + 1 is not, and neither is cap_max, which is at least 1.
  std::size_t cap = hint < cap_max ? hint + 1 : cap_max;  // +1: the end is seen without a regrow
  if (cap < 65536 && cap_max >= 65536) cap = 65536;
  char *buf = static_cast<char *>(std::malloc(cap));
  if (!buf) {
    *error = std::strerror(ENOMEM);
    return false;
  }
  std::size_t len = 0;
  for (;;) {
    if (len == cap) {
      if (cap == cap_max) break;
      const std::size_t next = cap > cap_max / 2 ? cap_max : cap * 2;
      char *grown = static_cast<char *>(std::realloc(buf, next));
      if (!grown) {
        std::free(buf);
        *error = std::strerror(ENOMEM);
        return false;
      }
      buf = grown;
      cap = next;
    }
    const ssize_t got = ::read(fd, buf + len, cap - len);
    if (got < 0) {
      if (errno == EINTR) continue;
      const int read_errno = errno;
      std::free(buf);
      *error = std::strerror(read_errno);
      return false;
    }
    if (got == 0) break;
    len += static_cast<std::size_t>(got);
  }
  if (len > limit) {
    std::free(buf);
    *error = too_large(limit);
    return false;
  }
  *data = buf;
  *size = len;
  return true;
}

}  // namespace

bool read_input(const char *path, std::size_t limit, input_bytes *out, std::string *error) {
  const bool from_stdin = !path || std::strcmp(path, "-") == 0;
  const int fd = from_stdin ? STDIN_FILENO : ::open(path, O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    *error = std::strerror(errno);
    return false;
  }
  struct stat st;
  std::size_t hint = 0;
  bool ok = true;
  if (::fstat(fd, &st) != 0) {
    *error = std::strerror(errno);
    ok = false;
  } else if (S_ISDIR(st.st_mode)) {
    *error = std::strerror(EISDIR);
    ok = false;
  } else if (S_ISREG(st.st_mode)) {
    // A regular file is refused by its size before a byte is read.
    if (static_cast<unsigned long long>(st.st_size) > limit) {
      *error = too_large(limit);
      ok = false;
    }
    hint = static_cast<std::size_t>(st.st_size);
  }
  char *data = nullptr;
  std::size_t size = 0;
  if (ok) ok = read_all(fd, hint, limit, &data, &size, error);
  if (!from_stdin) ::close(fd);
  if (!ok) return false;
  *out = input_bytes();
  out->data_ = data;
  out->size_ = size;
  return true;
}

bool parse_size(const char *text, std::size_t *size) {
  if (!text || *text < '0' || *text > '9') return false;
  char *end = nullptr;
  errno = 0;
  const unsigned long long n = std::strtoull(text, &end, 10);
  if (errno != 0 || n == 0) return false;
  unsigned shift = 0;
  if (*end == 'K' || *end == 'k') shift = 10;
  else if (*end == 'M' || *end == 'm') shift = 20;
  else if (*end == 'G' || *end == 'g') shift = 30;
  else if (*end == 'T' || *end == 't') shift = 40;
  if (shift) ++end;
  if (*end != '\0') return false;
  const unsigned long long max = static_cast<unsigned long long>(static_cast<std::size_t>(-1) - 1);
  if (n > (max >> shift)) return false;
  *size = static_cast<std::size_t>(n << shift);
  return true;
}

std::string size_text(std::size_t size) {
  static const char *const units[] = {"KiB", "MiB", "GiB", "TiB"};
  std::string unit = size == 1 ? "byte" : "bytes";
  std::size_t n = size;
  for (const char *u : units) {
    if (n < 1024 || n % 1024 != 0) break;
    n /= 1024;
    unit = u;
  }
  return std::to_string(n) + " " + unit;
}

}  // namespace lyrn_tool
