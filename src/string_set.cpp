// SPDX-License-Identifier: MIT
// The process's secret hash key for the duplicate sets.
#include "string_set.hpp"

#include <atomic>
#include <cerrno>
#include <ctime>

#if defined(__linux__) && defined(__has_include)
#if __has_include(<sys/random.h>)
#include <sys/random.h>
#define LYRN_HAVE_GETRANDOM 1
#endif
#endif

namespace lyrn {
namespace {

// Zero means "not chosen yet"; a chosen word is never zero.
std::atomic<std::uint64_t> g_key_words[2];

}  // namespace

namespace key_detail {

namespace {
constexpr std::uint64_t splitmix64(std::uint64_t x) {
  x += 0x9e3779b97f4a7c15ULL;
  x = (x ^ (x >> 30)) * 0xbf58476d1ce4e5b9ULL;
  x = (x ^ (x >> 27)) * 0x94d049bb133111ebULL;
  return x ^ (x >> 31);
}
}  // namespace

// Without a random source: what differs between processes and runs (the
// addresses that address-space randomisation moves, two clocks) and between
// calls (a counter), mixed.
void fallback_words(std::uint64_t out[2]) {
  static std::atomic<std::uint64_t> calls{0};
  int on_stack = 0;
  timespec real{}, mono{};
  clock_gettime(CLOCK_REALTIME, &real);
  clock_gettime(CLOCK_MONOTONIC, &mono);
  std::uint64_t x = splitmix64(reinterpret_cast<std::uintptr_t>(&on_stack));
  x = splitmix64(x ^ reinterpret_cast<std::uintptr_t>(&g_key_words));
  x = splitmix64(x ^ reinterpret_cast<std::uintptr_t>(&fallback_words));
  x = splitmix64(x ^ static_cast<std::uint64_t>(real.tv_sec) ^ (static_cast<std::uint64_t>(real.tv_nsec) << 32));
  x = splitmix64(x ^ static_cast<std::uint64_t>(mono.tv_sec) ^ (static_cast<std::uint64_t>(mono.tv_nsec) << 32));
  x = splitmix64(x ^ calls.fetch_add(1, std::memory_order_relaxed));
  out[0] = x;
  out[1] = splitmix64(x ^ 0x6a09e667f3bcc909ULL);
}

// Sixteen bytes from the kernel's random source without blocking (it may not
// be seeded yet early at boot); false when they cannot be had.
bool random_words(std::uint64_t out[2]) {
#if defined(LYRN_HAVE_GETRANDOM)
  unsigned char *p = reinterpret_cast<unsigned char *>(out);
  std::size_t got = 0;
  for (int tries = 0; got < 2 * sizeof(std::uint64_t) && tries < 4; ++tries) {
    const int saved_errno = errno;
    const ssize_t n = getrandom(p + got, 2 * sizeof(std::uint64_t) - got, GRND_NONBLOCK);
    errno = saved_errno;  // the host's errno is left as it was
    if (n > 0) got += static_cast<std::size_t>(n);
  }
  return got == 2 * sizeof(std::uint64_t);
#else
  (void)out;
  return false;
#endif
}

}  // namespace key_detail

hash_key process_hash_key() {
  std::uint64_t k0 = g_key_words[0].load(std::memory_order_acquire);
  std::uint64_t k1 = g_key_words[1].load(std::memory_order_acquire);
  if (k0 && k1) return {k0, k1};
  std::uint64_t fresh[2];
  if (!key_detail::random_words(fresh)) key_detail::fallback_words(fresh);
  // Each word is set once by whichever thread gets there first; the others
  // take that word.
  for (int i = 0; i < 2; ++i) {
    std::uint64_t expected = 0;
    const std::uint64_t word = fresh[i] ? fresh[i] : 0x243f6a8885a308d3ULL;
    g_key_words[i].compare_exchange_strong(expected, word, std::memory_order_acq_rel);
  }
  return {g_key_words[0].load(std::memory_order_acquire), g_key_words[1].load(std::memory_order_acquire)};
}

}  // namespace lyrn
