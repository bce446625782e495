// SPDX-License-Identifier: MIT
// The tolerant markup scanner: one forward pass over a byte span that reports
// start tags (name and attribute region) and end tags (name and the text
// collected since the previous tag). It keeps no element stack, checks
// nothing, reports no error, and stops quietly where the input ends inside
// an unfinished construct. Comments, processing instructions and
// declarations produce nothing; CDATA contents join the collected text.
//
// The handler is any object with
//   bool start_tag(const char *name, size_t name_len, const char *attrs, size_t attrs_len);
//   bool end_tag(const char *name, size_t name_len, const collected_text &text);
// Names and attribute regions are spans of the input, valid during the call.
// A handler returns false to stop the scan there (it ran out of memory, and
// nothing it could still find would be used). The scan returns false when it
// was stopped, or stopped itself because some text could not be stored for
// lack of memory; true when it reached the end of the input.
// An end tag's text is handed over raw; the handler decodes it (entities and
// trimming) only when one of its rules reads it, which keeps text that no rule
// reads from ever being decoded or copied.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstring>

#if defined(__x86_64__) && defined(__SSE2__) && !defined(LYRN_PORTABLE_SEARCH)
#define LYRN_MARKUP_SSE2 1
#include <emmintrin.h>
#else
#define LYRN_MARKUP_SSE2 0
#endif

#include "ascii.hpp"
#include "byte_buffer.hpp"

// The tag-end search runs for every tag; inlining it into the scan loop
// saves a call per tag.
#if defined(__GNUC__)
#define LYRN_MARKUP_INLINE inline __attribute__((always_inline))
#else
#define LYRN_MARKUP_INLINE inline
#endif

namespace lyrn {

// The text collected since the last tag: a span of the input while it is one
// piece, else the scanner's buffer where the pieces were joined.
struct collected_text {
  const char *data;
  std::size_t size;
};

namespace markup_detail {

// The collected text. A single piece (the usual case: one text run, or one
// CDATA section) stays a span of the input; only when a second piece joins it
// (text around a comment or a CDATA section) are the pieces copied into one
// buffer that is reused for the whole scan.
class text_collector {
 public:
  // False when the piece could not be stored; the scan then stops.
  bool append(const char *p, std::size_t n) {
    if (n == 0) return true;
    if (joined_) return buffer_.append(p, n);
    if (span_size_ == 0) {
      span_ = p;
      span_size_ = n;
      return true;
    }
    buffer_.clear();
    joined_ = true;
    if (span_size_ > static_cast<std::size_t>(-1) - n - 1 || !buffer_.reserve(span_size_ + n + 1)) return false;
    buffer_.append(span_, span_size_);
    return buffer_.append(p, n);
  }

  void clear() {
    span_size_ = 0;
    joined_ = false;
  }

  collected_text text() const {
    if (joined_) return {buffer_.data() ? buffer_.data() : "", buffer_.size()};
    return {span_size_ ? span_ : "", span_size_};
  }

 private:
  const char *span_ = nullptr;
  std::size_t span_size_ = 0;
  bool joined_ = false;
  byte_buffer buffer_;
};

// ---- Searches ----------------------------------------------------------------
// Each search family answers the same questions over in[from, n) and never
// reads at or past n: the index of the first byte that matters there, or n.
// The portable family looks at one byte at a time (and lets memchr skip long
// runs); the wide ones look at a whole vector of bytes per step and must give
// the same answers, which the tests check by forcing each family in turn.

// The portable family.
struct portable_search {
  // The first c.
  static std::size_t find_byte(const char *in, std::size_t from, std::size_t n, char c) {
    const void *hit = std::memchr(in + from, c, n - from);
    return hit ? static_cast<std::size_t>(static_cast<const char *>(hit) - in) : n;
  }
  // The first '>', '"' or '\''.
  static std::size_t find_tag_stop(const char *in, std::size_t from, std::size_t n) {
    for (std::size_t j = from; j < n; ++j) {
      const char c = in[j];
      if (c == '>' || c == '"' || c == '\'') return j;
    }
    return n;
  }
  // The first whitespace byte in [from, stop), else stop (stop <= n).
  static std::size_t find_space(const char *in, std::size_t from, std::size_t stop, std::size_t) {
    while (from < stop && !ascii_is_space(in[from])) ++from;
    return from;
  }
  // The first whitespace byte, '>', '"' or '\'': where a tag's name ends or
  // the tag does.
  static std::size_t find_name_stop(const char *in, std::size_t from, std::size_t n) {
    for (std::size_t j = from; j < n; ++j) {
      const char c = in[j];
      if (c == '>' || c == '"' || c == '\'' || ascii_is_space(c)) return j;
    }
    return n;
  }
};

#if LYRN_MARKUP_SSE2
// Sixteen bytes a step with SSE2, which every x86-64 processor has. The
// first steps are taken inline, since most runs between two markup bytes are
// short (the indentation between tags, a title); a run that outlasts them is
// handed to memchr, whose C library picks the widest vectors the processor
// offers.
struct sse2_search {
  static constexpr std::size_t kInlineSteps = 4;

  static __m128i load(const char *p) { return _mm_loadu_si128(reinterpret_cast<const __m128i *>(p)); }
  static unsigned bits(__m128i v) { return static_cast<unsigned>(_mm_movemask_epi8(v)); }
  static std::size_t first(std::size_t at, unsigned mask) {
    return at + static_cast<std::size_t>(__builtin_ctz(mask));
  }

  static std::size_t find_byte(const char *in, std::size_t from, std::size_t n, char c) {
    const __m128i want = _mm_set1_epi8(c);
    for (std::size_t step = 0; step < kInlineSteps && from + 16 <= n; ++step, from += 16)
      if (const unsigned m = bits(_mm_cmpeq_epi8(load(in + from), want))) return first(from, m);
    return portable_search::find_byte(in, from, n, c);
  }

  static std::size_t find_tag_stop(const char *in, std::size_t from, std::size_t n) {
    const __m128i gt = _mm_set1_epi8('>');
    const __m128i dq = _mm_set1_epi8('"');
    const __m128i sq = _mm_set1_epi8('\'');
    for (; from + 16 <= n; from += 16) {
      const __m128i v = load(in + from);
      const __m128i hit = _mm_or_si128(_mm_cmpeq_epi8(v, gt), _mm_or_si128(_mm_cmpeq_epi8(v, dq), _mm_cmpeq_epi8(v, sq)));
      if (const unsigned m = bits(hit)) return first(from, m);
    }
    return portable_search::find_tag_stop(in, from, n);
  }

  // Whitespace is ' ' or a byte from '\t' to '\r': after subtracting '\t',
  // the latter are the bytes whose unsigned minimum with 4 is themselves.
  static std::size_t find_space(const char *in, std::size_t from, std::size_t stop, std::size_t n) {
    const __m128i sp = _mm_set1_epi8(' ');
    const __m128i tab = _mm_set1_epi8('\t');
    const __m128i four = _mm_set1_epi8(4);
    for (; from < stop && from + 16 <= n; from += 16) {
      const __m128i v = load(in + from);
      const __m128i t = _mm_sub_epi8(v, tab);
      const __m128i hit = _mm_or_si128(_mm_cmpeq_epi8(v, sp), _mm_cmpeq_epi8(_mm_min_epu8(t, four), t));
      if (const unsigned m = bits(hit)) {
        const std::size_t at = first(from, m);
        return at < stop ? at : stop;
      }
    }
    return from < stop ? portable_search::find_space(in, from, stop, n) : stop;
  }

  static std::size_t find_name_stop(const char *in, std::size_t from, std::size_t n) {
    const __m128i gt = _mm_set1_epi8('>');
    const __m128i dq = _mm_set1_epi8('"');
    const __m128i sq = _mm_set1_epi8('\'');
    const __m128i sp = _mm_set1_epi8(' ');
    const __m128i tab = _mm_set1_epi8('\t');
    const __m128i four = _mm_set1_epi8(4);
    for (; from + 16 <= n; from += 16) {
      const __m128i v = load(in + from);
      const __m128i t = _mm_sub_epi8(v, tab);
      const __m128i space = _mm_or_si128(_mm_cmpeq_epi8(v, sp), _mm_cmpeq_epi8(_mm_min_epu8(t, four), t));
      const __m128i stop = _mm_or_si128(_mm_cmpeq_epi8(v, gt), _mm_or_si128(_mm_cmpeq_epi8(v, dq), _mm_cmpeq_epi8(v, sq)));
      if (const unsigned m = bits(_mm_or_si128(space, stop))) return first(from, m);
    }
    return portable_search::find_name_stop(in, from, n);
  }
};
#endif

// Index of the first occurrence of the 3-byte pattern at or after `from`, or n.
template <class Search>
std::size_t find3(const char *in, std::size_t from, std::size_t n, const char pat[3]) {
  if (n < 3) return n;
  const std::size_t last = n - 2;  // a match starts before this
  while (from < last) {
    const std::size_t at = Search::find_byte(in, from, last, pat[0]);
    if (at == last) return n;
    if (in[at + 1] == pat[1] && in[at + 2] == pat[2]) return at;
    from = at + 1;
  }
  return n;
}

// Index of the '>' that closes a tag whose '<' is just before `from`, or n
// when the input ends first. A quoted run hides everything up to its closing
// quote of the same kind, the name included.
template <class Search>
LYRN_MARKUP_INLINE std::size_t find_tag_end(const char *in, std::size_t from, std::size_t n) {
  std::size_t j = from;
  for (;;) {
    j = Search::find_tag_stop(in, j, n);
    if (j == n || in[j] == '>') return j;
    const std::size_t q = Search::find_byte(in, j + 1, n, in[j]);
    if (q == n) return n;
    j = q + 1;
  }
}

template <class Search, class Handler>
bool scan_markup_with(const char *in, std::size_t n, Handler &handler) {
  text_collector text;
  std::size_t i = 0;
  while (i < n) {
    if (in[i] != '<') {
      const std::size_t end = Search::find_byte(in, i, n, '<');
      if (!text.append(in + i, end - i)) return false;
      i = end;
      continue;
    }
    const std::size_t left = n - i;
    if (left == 1) return true;
    const char second = in[i + 1];
    if (second == '!' || second == '?') {
      if (second == '!' && left >= 4 && in[i + 2] == '-' && in[i + 3] == '-') {
        // The closing "-->" may not overlap the opener: "<!-->" is still open.
        const std::size_t close = find3<Search>(in, i + 4, n, "-->");
        if (close == n) return true;
        i = close + 3;
        continue;
      }
      if (second == '!' && left >= 9 && std::memcmp(in + i + 2, "[CDATA[", 7) == 0) {
        const std::size_t close = find3<Search>(in, i + 9, n, "]]>");
        if (close == n) return true;
        if (!text.append(in + i + 9, close - (i + 9))) return false;
        i = close + 3;
        continue;
      }
      // Processing instruction or declaration: up to the first '>', quotes or not.
      const std::size_t gt = Search::find_byte(in, i + 2, n, '>');
      if (gt == n) return true;
      i = gt + 1;
      continue;
    }
    // Usually one search finds where the name ends: at the '>' of a tag
    // without attributes, or at the whitespace in front of the attributes,
    // from where the tag-end search goes on. Whitespace before the name and
    // quotes inside it take the general way.
    const std::size_t p = i;
    const bool is_end = second == '/';
    std::size_t start = is_end ? p + 2 : p + 1;
    const std::size_t hit = Search::find_name_stop(in, start, n);
    if (hit == n) return true;
    std::size_t gt, name_end = 0;
    bool name_found = true;
    if (in[hit] == '>') {
      gt = hit;
    } else if (hit > start && ascii_is_space(in[hit])) {
      name_end = hit;
      gt = find_tag_end<Search>(in, hit, n);
    } else {
      gt = find_tag_end<Search>(in, p + 1, n);
      name_found = false;
    }
    if (gt == n) return true;
    i = gt + 1;
    if (gt == p + 1) {  // "<>"
      text.clear();
      continue;
    }
    const std::size_t stop = (!is_end && in[gt - 1] == '/') ? gt - 1 : gt;
    if (!name_found) {
      while (start < stop && ascii_is_space(in[start])) ++start;
      name_end = Search::find_space(in, start, stop, n);
    } else if (in[hit] == '>') {
      name_end = stop;
    }
    const char *name = in + start;
    const std::size_t name_len = name_end - start;
    if (is_end) {
      if (name_len > 0 && !handler.end_tag(name, name_len, text.text())) return false;
      text.clear();
    } else {
      text.clear();
      if (name_len > 0 && !handler.start_tag(name, name_len, in + name_end, stop - name_end)) return false;
    }
  }
  return true;
}

}  // namespace markup_detail

// The search families a scan can use, narrowest first.
enum class markup_search { portable, sse2 };

namespace markup_detail {
inline std::atomic<int> g_forced_search{-1};
}  // namespace markup_detail

// True when this build and this processor can run the family.
inline bool markup_search_available(markup_search s) {
  return s == markup_search::portable || (s == markup_search::sse2 && LYRN_MARKUP_SSE2 != 0);
}

// The family scans use: the one a test forced, else the widest available.
inline markup_search active_markup_search() {
  const int forced = markup_detail::g_forced_search.load(std::memory_order_relaxed);
  if (forced >= 0) return static_cast<markup_search>(forced);
#if LYRN_MARKUP_SSE2
  return markup_search::sse2;
#else
  return markup_search::portable;
#endif
}

// For tests: makes the following scans of the whole process use `s`; false
// (and nothing changed) when it is not available here.
inline bool force_markup_search(markup_search s) {
  if (!markup_search_available(s)) return false;
  markup_detail::g_forced_search.store(static_cast<int>(s), std::memory_order_relaxed);
  return true;
}

// For tests: scans choose the widest family again.
inline void unforce_markup_search() { markup_detail::g_forced_search.store(-1, std::memory_order_relaxed); }

template <class Handler>
bool scan_feed_markup(const char *in, std::size_t n, Handler &handler) {
  using namespace markup_detail;
  switch (active_markup_search()) {
#if LYRN_MARKUP_SSE2
    case markup_search::sse2:
      return scan_markup_with<sse2_search>(in, n, handler);
#endif
    default:
      return scan_markup_with<portable_search>(in, n, handler);
  }
}

}  // namespace lyrn
