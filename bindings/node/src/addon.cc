// SPDX-License-Identifier: MIT
// The native side of the `lyrn` package: one function per C export. Feed
// conversion also runs as an AsyncWorker on libuv's thread pool. Every string
// the library returns sits in a lyrn_string, so lyrn_free runs on every path,
// thrown errors included. Failures become LyrnError objects (the class that
// index.js hands over through setErrorClass) with a `code`.
#include <napi.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <utility>

#include "lyrn.h"

namespace {

struct lyrn_deleter {
  void operator()(char *p) const { lyrn_free(p); }
};
using lyrn_string = std::unique_ptr<char, lyrn_deleter>;

struct malloc_deleter {
  void operator()(char *p) const { std::free(p); }
};
using owned_chars = std::unique_ptr<char, malloc_deleter>;

// Codes of our own, for failures that leave no last-error text.
const char kCannotWrite[] = "cannot write document";
const char kOutOfMemory[] = "out of memory";

struct addon_data {
  Napi::FunctionReference error_class;
};

// A LyrnError(message, code), or a plain Error with a code before
// setErrorClass has run.
Napi::Value make_error(Napi::Env env, const std::string &code, const std::string &message) {
  auto *data = env.GetInstanceData<addon_data>();
  if (data && !data->error_class.IsEmpty())
    return data->error_class.New({Napi::String::New(env, message), Napi::String::New(env, code)});
  Napi::Error e = Napi::Error::New(env, message);
  e.Set("code", Napi::String::New(env, code));
  return e.Value();
}

[[noreturn]] void throw_error(Napi::Env env, const std::string &code, const std::string &message) {
  throw Napi::Error(env, make_error(env, code, message));
}

// The library's last error on this thread, or `fallback` when it left none.
std::string last_error_or(const char *fallback) {
  const char *e = lyrn_last_error();
  return *e ? e : fallback;
}

// Text for messages: the value as JSON.stringify writes it.
std::string quoted(Napi::Env env, Napi::Value v) {
  if (v.IsUndefined()) return "undefined";
  Napi::Object json = env.Global().Get("JSON").As<Napi::Object>();
  Napi::Value s = json.Get("stringify").As<Napi::Function>().Call(json, {v});
  return s.IsString() ? s.As<Napi::String>().Utf8Value() : "?";
}

// A JavaScript string as UTF-8 in a malloc'd block with a NUL after it.
owned_chars utf8_copy(Napi::Env env, Napi::Value v, std::size_t *len) {
  std::size_t n = 0;
  NAPI_THROW_IF_FAILED(env, napi_get_value_string_utf8(env, v, nullptr, 0, &n), owned_chars());
  owned_chars buf(static_cast<char *>(std::malloc(n + 1)));
  if (!buf) throw_error(env, kOutOfMemory, "out of memory while copying a string");
  NAPI_THROW_IF_FAILED(env, napi_get_value_string_utf8(env, v, buf.get(), n + 1, &n), owned_chars());
  *len = n;
  return buf;
}

// Bytes to convert: the bytes of a Buffer or Uint8Array, read in place, or
// the UTF-8 copy of a string that this object owns. An empty input is ""
// with length 0, which the library reads as a NUL-terminated empty text.
struct input_bytes {
  owned_chars owned;
  Napi::ObjectReference keep;  // holds a Buffer alive while a pool thread reads it
  const char *data = "";
  std::size_t len = 0;
};

// `hold`: keep a Buffer alive until this object goes. Buffers are not
// copied: on the main thread the copy of a large feed costs about as much as
// its conversion.
input_bytes read_bytes(Napi::Env env, Napi::Value v, bool hold, const char *what) {
  input_bytes in;
  if (v.IsString()) {
    in.owned = utf8_copy(env, v, &in.len);
    in.data = in.owned.get();
  } else if (v.IsTypedArray() && v.As<Napi::TypedArray>().TypedArrayType() == napi_uint8_array) {
    Napi::Uint8Array a = v.As<Napi::Uint8Array>();
    if (a.ByteLength() > 0) {
      in.data = reinterpret_cast<const char *>(a.Data());
      in.len = a.ByteLength();
      if (hold) in.keep = Napi::Persistent(a.As<Napi::Object>());
    }
  } else {
    throw Napi::TypeError::New(env, std::string(what) + " must be a Buffer, a Uint8Array or a string");
  }
  if (in.len == 0) in.data = "";
  return in;
}

// An optional text argument: null for undefined or null, else a copy.
// A NUL inside would end the C string early, so it is refused.
owned_chars read_text(Napi::Env env, Napi::Value v, const char *what) {
  if (v.IsUndefined() || v.IsNull()) return owned_chars();
  if (!v.IsString()) throw Napi::TypeError::New(env, std::string(what) + " must be a string");
  std::size_t len = 0;
  owned_chars s = utf8_copy(env, v, &len);
  if (std::strlen(s.get()) != len)
    throw Napi::TypeError::New(env, std::string(what) + " must not contain a NUL character");
  return s;
}

// Like read_text, but a string with a NUL becomes a lone control byte: the
// checks of feed URLs and path segments reject both the same way.
owned_chars read_checked_text(Napi::Env env, Napi::Value v, const char *what) {
  if (v.IsUndefined() || v.IsNull()) return owned_chars();
  if (!v.IsString()) throw Napi::TypeError::New(env, std::string(what) + " must be a string");
  std::size_t len = 0;
  owned_chars s = utf8_copy(env, v, &len);
  if (std::strlen(s.get()) != len) std::strcpy(s.get(), "\x01");
  return s;
}

std::string cannot_write_feed_message() {
  return "the playlist document could not be written: the feed holds text that is not valid UTF-8 "
         "(convert the feed to UTF-8 first), or memory ran out";
}

Napi::Value feed_error(Napi::Env env, const std::string &code) {
  if (code == kCannotWrite) return make_error(env, code, cannot_write_feed_message());
  return make_error(env, code, "the feed could not be converted: " + code);
}

// ---- Feed conversion ------------------------------------------------------

// Converts on a pool thread. The worker holds the caller's Buffer (or owns
// the copy of a string) and its own copy of the feed URL until it is done;
// the Buffer must not change meanwhile, as with fs.write.
class convert_worker : public Napi::AsyncWorker {
 public:
  convert_worker(Napi::Env env, input_bytes feed, owned_chars feed_url)
      : Napi::AsyncWorker(env, "lyrn.parseFeed"),
        deferred_(Napi::Promise::Deferred::New(env)),
        feed_(std::move(feed)),
        feed_url_(std::move(feed_url)) {}

  Napi::Promise promise() const { return deferred_.Promise(); }

  void Execute() override {
    doc_.reset(lyrn_parse_feed_json(feed_.data, feed_.len, feed_url_.get()));
    // The last error belongs to this pool thread: read it here.
    if (!doc_) code_ = last_error_or(kCannotWrite);
  }

  void OnOK() override {
    Napi::Env env = Env();
    Napi::HandleScope scope(env);
    release_input();
    if (!doc_) {
      deferred_.Reject(feed_error(env, code_));
      return;
    }
    try {
      Napi::String s = Napi::String::New(env, doc_.get());
      doc_.reset();
      deferred_.Resolve(s);
    } catch (const Napi::Error &e) {
      // A document too long for a JavaScript string.
      doc_.reset();
      deferred_.Reject(e.Value());
    }
  }

  void OnError(const Napi::Error &e) override {
    release_input();
    deferred_.Reject(e.Value());
  }

 private:
  // On the main thread, once the pool thread is done with the bytes.
  void release_input() {
    feed_.keep.Reset();
    feed_.owned.reset();
    feed_.data = "";
    feed_.len = 0;
  }

  Napi::Promise::Deferred deferred_;
  input_bytes feed_;
  owned_chars feed_url_;
  lyrn_string doc_;
  std::string code_;
};

Napi::Value ParseFeedJson(const Napi::CallbackInfo &info) {
  Napi::Env env = info.Env();
  input_bytes feed = read_bytes(env, info[0], true, "parseFeed: data");
  owned_chars url = read_text(env, info[1], "parseFeed: feedUrl");
  auto *worker = new convert_worker(env, std::move(feed), std::move(url));
  Napi::Promise p = worker->promise();
  worker->Queue();
  return p;
}

Napi::Value ParseFeedJsonSync(const Napi::CallbackInfo &info) {
  Napi::Env env = info.Env();
  input_bytes feed = read_bytes(env, info[0], false, "parseFeedSync: data");
  owned_chars url = read_text(env, info[1], "parseFeedSync: feedUrl");
  lyrn_string doc(lyrn_parse_feed_json(feed.data, feed.len, url.get()));
  if (!doc) throw Napi::Error(env, feed_error(env, last_error_or(kCannotWrite)));
  return Napi::String::New(env, doc.get());
}

// ---- Durations, dates and titles -----------------------------------------

Napi::Value ParseDuration(const Napi::CallbackInfo &info) {
  owned_chars text = read_text(info.Env(), info[0], "parseDuration: text");
  return Napi::Number::New(info.Env(), lyrn_parse_duration(text.get()));
}

Napi::Value FormatDuration(const Napi::CallbackInfo &info) {
  Napi::Env env = info.Env();
  if (!info[0].IsNumber()) throw Napi::TypeError::New(env, "formatDuration: seconds must be a number");
  // "H:MM:SS" with a 64-bit hour count fits easily.
  char buf[64];
  int32_t n = lyrn_format_duration(info[0].As<Napi::Number>().DoubleValue(), buf, sizeof buf);
  if (n < 0) throw Napi::RangeError::New(env, "formatDuration: the text does not fit");
  return Napi::String::New(env, buf, static_cast<std::size_t>(n));
}

Napi::Value ParseDate(const Napi::CallbackInfo &info) {
  owned_chars text = read_text(info.Env(), info[0], "parseDate: text");
  int64_t t = lyrn_parse_rfc2822_date(text.get());
  if (t == 0) return info.Env().Null();
  return Napi::Number::New(info.Env(), static_cast<double>(t));
}

Napi::Value CleanTitle(const Napi::CallbackInfo &info) {
  Napi::Env env = info.Env();
  owned_chars title = read_text(env, info[0], "cleanTitle: title");
  lyrn_string clean(lyrn_clean_title(title.get()));
  if (!clean) throw_error(env, kOutOfMemory, "out of memory while cleaning a title");
  return Napi::String::New(env, clean.get());
}

// ---- Feed locations ------------------------------------------------------

Napi::Value IsValidFeedUrl(const Napi::CallbackInfo &info) {
  owned_chars url = read_checked_text(info.Env(), info[0], "isValidFeedUrl: url");
  return Napi::Boolean::New(info.Env(), lyrn_validate_feed_url(url.get()) == 0);
}

std::string build_url_message(Napi::Env env, const std::string &code, const Napi::CallbackInfo &info) {
  if (code == "invalid base_url")
    return "invalid base_url: " + quoted(env, info[0]) +
           " is not an http:// or https:// URL with a host (and without spaces or control characters)";
  const char *segment = "must be one safe path segment: not empty, not \".\" or \"..\", and without "
                        "\"/\", \"\\\", \"?\", \"#\", \"%\", spaces or control characters";
  if (code == "invalid user_id") return "invalid user_id: " + quoted(env, info[1]) + " " + segment;
  if (code == "invalid slug") return "invalid slug: " + quoted(env, info[2]) + " " + segment;
  return "the feed URL could not be built: " + code;
}

Napi::Value BuildUserFeedUrl(const Napi::CallbackInfo &info) {
  Napi::Env env = info.Env();
  owned_chars base = read_checked_text(env, info[0], "buildUserFeedUrl: baseUrl");
  owned_chars user = read_checked_text(env, info[1], "buildUserFeedUrl: userId");
  owned_chars slug = read_checked_text(env, info[2], "buildUserFeedUrl: slug");
  lyrn_string url(lyrn_build_user_feed_url(base.get(), user.get(), slug.get()));
  if (!url) {
    std::string code = last_error_or(kOutOfMemory);
    throw_error(env, code, build_url_message(env, code, info));
  }
  return Napi::String::New(env, url.get());
}

Napi::Value DiscoverSlugsJson(const Napi::CallbackInfo &info) {
  Napi::Env env = info.Env();
  input_bytes html;
  if (!info[0].IsUndefined() && !info[0].IsNull()) html = read_bytes(env, info[0], false, "discoverSlugs: html");
  lyrn_string slugs(lyrn_discover_slugs_json(html.data, html.len));
  if (!slugs) {
    std::string code = last_error_or(kCannotWrite);
    throw_error(env, code,
                code == kCannotWrite
                    ? "the slug list could not be written: a slug is not valid UTF-8, or memory ran out"
                    : "the listing could not be read: " + code);
  }
  return Napi::String::New(env, slugs.get());
}

// ---- Self-test and versions ----------------------------------------------

Napi::Value Selftest(const Napi::CallbackInfo &info) { return Napi::Number::New(info.Env(), lyrn_selftest()); }

Napi::Value Version(const Napi::CallbackInfo &info) { return Napi::String::New(info.Env(), lyrn_version()); }

Napi::Value AbiVersion(const Napi::CallbackInfo &info) {
  return Napi::Number::New(info.Env(), lyrn_abi_version());
}

Napi::Value SetErrorClass(const Napi::CallbackInfo &info) {
  Napi::Env env = info.Env();
  if (!info[0].IsFunction()) throw Napi::TypeError::New(env, "setErrorClass: a class is needed");
  env.GetInstanceData<addon_data>()->error_class = Napi::Persistent(info[0].As<Napi::Function>());
  return env.Undefined();
}

Napi::Object Init(Napi::Env env, Napi::Object exports) {
  env.SetInstanceData(new addon_data());
  const std::pair<const char *, Napi::Function::Callback> functions[] = {
      {"parseFeedJson", ParseFeedJson},
      {"parseFeedJsonSync", ParseFeedJsonSync},
      {"parseDuration", ParseDuration},
      {"formatDuration", FormatDuration},
      {"parseDate", ParseDate},
      {"cleanTitle", CleanTitle},
      {"isValidFeedUrl", IsValidFeedUrl},
      {"buildUserFeedUrl", BuildUserFeedUrl},
      {"discoverSlugsJson", DiscoverSlugsJson},
      {"selftest", Selftest},
      {"version", Version},
      {"abiVersion", AbiVersion},
      {"setErrorClass", SetErrorClass},
  };
  for (const auto &f : functions) exports.Set(f.first, Napi::Function::New(env, f.second, f.first));
  return exports;
}

}  // namespace

NODE_API_MODULE(lyrn, Init)
