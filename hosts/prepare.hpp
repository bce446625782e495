// SPDX-License-Identifier: MIT
// What our C++ hosts (the tool and the Node.js addon) do around the library,
// which reads UTF-8 only and gives no document when it cannot write one:
//   - prepare: find the input's encoding (byte order mark, XML declaration)
//     and transcode it to UTF-8 with iconv, rewrite character reference
//     pairs that encode one supplementary character, and optionally repair
//     invalid UTF-8 and lone surrogate references;
//   - diagnose: after the library returned null with an empty last error,
//     name the cause with a code and, where a byte is to blame, its offset,
//     line and column in the text the library was given.
// The input is never copied unless it has to change. Diagnosis runs only on
// failure. Nothing here throws except std::bad_alloc.
#ifndef LYRN_HOSTS_PREPARE_HPP
#define LYRN_HOSTS_PREPARE_HPP

#include <cstddef>
#include <string>

namespace lyrn_host {

// The failure codes beside the library's own last-error texts ("null xml",
// "null html", "invalid base_url", "invalid user_id", "invalid slug",
// "out of memory").
extern const char kInvalidUtf8[];         // "invalid utf-8"
extern const char kSurrogateReference[];  // "surrogate reference"
extern const char kNonFiniteDuration[];   // "non-finite duration"
extern const char kDocumentTooLarge[];    // "document too large"
extern const char kUnknownEncoding[];     // "unknown encoding"
extern const char kCannotDecode[];        // "cannot decode"
extern const char kCannotWrite[];         // "cannot write document": no cause found

// What the caller asked for: "auto" (detect), an encoding name, or "none"
// (the bytes as they are: no transcoding and no reference rewriting).
struct encoding_choice {
  enum mode_t { detect, forced, none } mode = detect;
  std::string name;  // the forced encoding
};

// Reads "auto", "none" (any letter case) or an encoding name.
encoding_choice parse_encoding_choice(const std::string &value);

// True when iconv can convert from `name` to UTF-8.
bool converter_knows(const std::string &name);

// A place in a text: a 0-based byte offset, a 1-based line (LF, CR LF and a
// lone CR end a line) and a 1-based column counted in characters.
struct text_position {
  std::size_t offset = 0;
  std::size_t line = 1;
  std::size_t column = 1;
};

text_position position_of(const char *text, std::size_t size, std::size_t offset);

// Why a conversion was refused. `code` is empty when nothing failed.
struct failure {
  std::string code;
  std::string message;  // one line, without a host's hints
  bool has_position = false;
  text_position where;
  bool about_url = false;  // the feed URL, not the document, is to blame
};

struct prepare_options {
  encoding_choice encoding;
  bool repair = false;
  bool is_text = false;  // already text (a JavaScript string): never transcoded
};

// A growable block from malloc: space reserved and not yet written costs
// address space only, which lets a conversion reserve for its worst case.
// Throws std::bad_alloc when it cannot grow.
class text_buffer {
 public:
  text_buffer() = default;
  text_buffer(const text_buffer &) = delete;
  text_buffer &operator=(const text_buffer &) = delete;
  ~text_buffer();
  void swap(text_buffer &other) noexcept;
  void reserve(std::size_t capacity);
  void append(const char *bytes, std::size_t n);
  char *data() { return data_; }
  const char *data() const { return data_; }
  std::size_t size() const { return size_; }
  std::size_t capacity() const { return capacity_; }
  void set_size(std::size_t n) { size_ = n; }  // n <= capacity()

 private:
  char *data_ = nullptr;
  std::size_t size_ = 0, capacity_ = 0;
};

// The text the library reads: the caller's bytes when nothing had to
// change, else `owned`.
struct prepared_text {
  const char *data = "";
  std::size_t size = 0;
  text_buffer owned;
  std::string from;           // the source encoding when transcoded
  std::string warning;        // the declaration contradicts the bytes
  std::size_t pairs = 0;      // reference pairs rewritten as one character
  std::size_t repaired = 0;   // sequences and references replaced with U+FFFD
};

// Prepares `size` bytes at `data` (kept alive by the caller while *out is
// used). False with *why set ("unknown encoding", "cannot decode") when the
// bytes cannot be turned into UTF-8.
bool prepare(const char *data, std::size_t size, const prepare_options &options, prepared_text *out,
             failure *why);

// What a document is, for messages and for which causes apply.
enum class document_kind { feed, listing };

// The cause of a null result with an empty last error, found in the text
// the library was given (and the feed URL). Runs the library again on a
// repaired copy only when several causes are present.
failure diagnose(const prepared_text &text, const char *feed_url, document_kind kind);

// The failure for a document too long for the host to hold as one string.
failure too_large(document_kind kind, std::size_t size, std::size_t limit);

// The failure for an encoding name that iconv does not know.
failure unknown_encoding(const std::string &name);

// Finds the first invalid UTF-8 sequence; false when there is none.
bool find_invalid_utf8(const char *text, std::size_t size, std::size_t *offset);

}  // namespace lyrn_host

#endif
