// SPDX-License-Identifier: MIT
// The native side of the `lyrn` package: one function per C export. Feed
// conversion also runs as async work on libuv's thread pool. Feeds and
// listings go through the hosts' shared preparation (encoding detection and
// transcoding, reference pairs, repair) and a refused conversion through its
// diagnosis, so every failure is a LyrnError with a code.
//
// Written against the plain Node-API C interface, without C++ exceptions
// crossing it: every callback catches everything, every status is checked,
// and nothing is thrown into an environment that is being torn down (a
// worker ended by terminate() or process.exit, or the main thread at exit).
// An environment cleanup hook cancels work that has not started; work that
// is running finishes on its pool thread and its completion only releases
// what it holds.
#include <node_api.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include "lyrn.h"
#include "prepare.hpp"

namespace {

struct lyrn_deleter {
  void operator()(char *p) const { lyrn_free(p); }
};
using lyrn_string = std::unique_ptr<char, lyrn_deleter>;

// Per-environment state. Async work holds a shared_ptr to it, so it
// outlives the environment's own reference when work completes late.
struct addon_state {
  napi_ref error_class = nullptr;
  // Node's MAX_STRING_LENGTH (UTF-16 units), handed over by index.js.
  std::size_t max_string = 0;
  napi_env env = nullptr;
  bool closing = false;                 // the environment is being torn down
  std::vector<napi_async_work> queued;  // async work not yet completed
};

struct instance_data {
  std::shared_ptr<addon_state> state;
};

addon_state *state_of(napi_env env) {
  void *data = nullptr;
  if (napi_get_instance_data(env, &data) != napi_ok || !data) return nullptr;
  return static_cast<instance_data *>(data)->state.get();
}

// A thrown value is pending or the environment cannot run JavaScript: no
// further calls into it.
bool can_throw(napi_env env) {
  bool pending = false;
  if (napi_is_exception_pending(env, &pending) != napi_ok || pending) return false;
  addon_state *s = state_of(env);
  return !s || !s->closing;
}

void throw_type_error(napi_env env, const std::string &message) {
  if (can_throw(env)) napi_throw_type_error(env, nullptr, message.c_str());
}

napi_value make_string(napi_env env, const std::string &s) {
  napi_value v = nullptr;
  if (napi_create_string_utf8(env, s.data(), s.size(), &v) != napi_ok) return nullptr;
  return v;
}

napi_value make_null(napi_env env) {
  napi_value v = nullptr;
  napi_get_null(env, &v);
  return v;
}

napi_value make_number(napi_env env, double d) {
  napi_value v = nullptr;
  napi_create_double(env, d, &v);
  return v;
}

// A LyrnError(message, code, offset, line, column) from the class index.js
// handed over, else an Error with the same properties. Null when the
// environment cannot make one.
napi_value make_error(napi_env env, const lyrn_host::failure &f) {
  napi_value message = make_string(env, f.message), code = make_string(env, f.code);
  if (!message || !code) return nullptr;
  napi_value offset = f.has_position ? make_number(env, static_cast<double>(f.where.offset)) : make_null(env);
  napi_value line = f.has_position ? make_number(env, static_cast<double>(f.where.line)) : make_null(env);
  napi_value column = f.has_position ? make_number(env, static_cast<double>(f.where.column)) : make_null(env);
  addon_state *s = state_of(env);
  napi_value cls = nullptr, error = nullptr;
  if (s && s->error_class && napi_get_reference_value(env, s->error_class, &cls) == napi_ok && cls) {
    napi_value argv[] = {message, code, offset, line, column};
    if (napi_new_instance(env, cls, 5, argv, &error) == napi_ok) return error;
    return nullptr;
  }
  if (napi_create_error(env, code, message, &error) != napi_ok) return nullptr;
  napi_set_named_property(env, error, "offset", offset);
  napi_set_named_property(env, error, "line", line);
  napi_set_named_property(env, error, "column", column);
  return error;
}

void throw_failure(napi_env env, const lyrn_host::failure &f) {
  if (!can_throw(env)) return;
  napi_value e = make_error(env, f);
  if (e) napi_throw(env, e);
}

lyrn_host::failure failure_of(const std::string &code, const std::string &message) {
  lyrn_host::failure f;
  f.code = code;
  f.message = message;
  return f;
}

lyrn_host::failure out_of_memory() { return failure_of("out of memory", "out of memory"); }

// Runs a callback body; anything it throws becomes a LyrnError (memory) or
// nothing at all, never an exception leaving the addon.
template <typename Body>
napi_value guarded(napi_env env, Body body) {
  try {
    return body();
  } catch (const std::bad_alloc &) {
    throw_failure(env, out_of_memory());
  } catch (...) {
    throw_failure(env, failure_of("cannot write document", "an unexpected native failure"));
  }
  return nullptr;
}

// Arguments of one call.
struct args {
  napi_value this_arg = nullptr;
  napi_value v[6] = {};
  std::size_t count = 6;
};

bool get_args(napi_env env, napi_callback_info info, args *a) {
  if (napi_get_cb_info(env, info, &a->count, a->v, &a->this_arg, nullptr) != napi_ok) return false;
  for (std::size_t i = a->count; i < 6; ++i) napi_get_undefined(env, &a->v[i]);
  return true;
}

napi_valuetype type_of(napi_env env, napi_value v) {
  napi_valuetype t = napi_undefined;
  napi_typeof(env, v, &t);
  return t;
}

bool is_nullish(napi_env env, napi_value v) {
  const napi_valuetype t = type_of(env, v);
  return t == napi_undefined || t == napi_null;
}

// A JavaScript string as UTF-8 (lone surrogates become U+FFFD). False with
// nothing thrown when the environment refuses.
bool utf8_of(napi_env env, napi_value v, std::string *out) {
  std::size_t n = 0;
  if (napi_get_value_string_utf8(env, v, nullptr, 0, &n) != napi_ok) return false;
  out->assign(n + 1, '\0');
  if (napi_get_value_string_utf8(env, v, &(*out)[0], n + 1, &n) != napi_ok) return false;
  out->resize(n);
  return true;
}

// An optional text argument: false (and a TypeError) for another type or a
// text holding NUL, which would end the C string early. *present is false
// for undefined and null.
bool read_text(napi_env env, napi_value v, const char *what, std::string *out, bool *present) {
  *present = false;
  if (is_nullish(env, v)) return true;
  if (type_of(env, v) != napi_string) {
    throw_type_error(env, std::string(what) + " must be a string");
    return false;
  }
  if (!utf8_of(env, v, out)) return false;
  if (std::strlen(out->c_str()) != out->size()) {
    throw_type_error(env, std::string(what) + " must not contain a NUL character");
    return false;
  }
  *present = true;
  return true;
}

// Like read_text, but a text with a NUL becomes a lone control byte: the
// checks of feed URLs and path segments reject both the same way.
bool read_checked_text(napi_env env, napi_value v, const char *what, std::string *out, bool *present) {
  *present = false;
  if (is_nullish(env, v)) return true;
  if (type_of(env, v) != napi_string) {
    throw_type_error(env, std::string(what) + " must be a string");
    return false;
  }
  if (!utf8_of(env, v, out)) return false;
  if (std::strlen(out->c_str()) != out->size()) *out = "\x01";
  *present = true;
  return true;
}

// Bytes to convert: a Buffer or Uint8Array read in place (held by a
// reference while a pool thread reads it), or the UTF-8 of a string, which
// is text and never transcoded.
struct input_bytes {
  std::string owned;
  napi_ref keep = nullptr;
  const char *data = "";
  std::size_t size = 0;
  bool is_text = false;
};

bool read_bytes(napi_env env, napi_value v, bool hold, const char *what, input_bytes *in) {
  bool typed = false;
  if (type_of(env, v) == napi_string) {
    if (!utf8_of(env, v, &in->owned)) return false;
    in->data = in->owned.data();
    in->size = in->owned.size();
    in->is_text = true;
  } else if (napi_is_typedarray(env, v, &typed) == napi_ok && typed) {
    napi_typedarray_type type;
    std::size_t length = 0, offset = 0;
    void *data = nullptr;
    napi_value buffer;
    if (napi_get_typedarray_info(env, v, &type, &length, &data, &buffer, &offset) != napi_ok) return false;
    if (type != napi_uint8_array) {
      throw_type_error(env, std::string(what) + " must be a Buffer, a Uint8Array or a string");
      return false;
    }
    if (length > 0) {
      in->data = static_cast<const char *>(data);
      in->size = length;
      if (hold && napi_create_reference(env, v, 1, &in->keep) != napi_ok) return false;
    }
  } else {
    throw_type_error(env, std::string(what) + " must be a Buffer, a Uint8Array or a string");
    return false;
  }
  if (in->size == 0) in->data = "";
  return true;
}

// The encoding and repair options, as index.js passes them (a string or
// undefined, a boolean or undefined).
bool read_options(napi_env env, napi_value encoding, napi_value repair, lyrn_host::prepare_options *o) {
  std::string name;
  bool present = false;
  if (!read_text(env, encoding, "options.encoding", &name, &present)) return false;
  if (present) o->encoding = lyrn_host::parse_encoding_choice(name);
  if (!is_nullish(env, repair)) {
    if (type_of(env, repair) != napi_boolean) {
      throw_type_error(env, "options.repair must be a boolean");
      return false;
    }
    napi_get_value_bool(env, repair, &o->repair);
  }
  return true;
}

// ---- Conversion, on any thread ---------------------------------------------

// One conversion's outcome: the library's document, or why there is none.
struct outcome {
  lyrn_string doc;
  lyrn_host::failure why;
};

// Prepares, converts and on a null result names the cause. Calls no
// Node-API function, so it runs on pool threads too; throws nothing.
void convert(const input_bytes &in, lyrn_host::prepare_options options, const char *feed_url,
             lyrn_host::document_kind kind, outcome *out) noexcept {
  try {
    options.is_text = in.is_text;
    if (options.encoding.mode == lyrn_host::encoding_choice::forced && !in.is_text &&
        !lyrn_host::converter_knows(options.encoding.name)) {
      out->why = lyrn_host::unknown_encoding(options.encoding.name);
      return;
    }
    lyrn_host::prepared_text text;
    if (!lyrn_host::prepare(in.data, in.size, options, &text, &out->why)) return;
    const bool feed = kind == lyrn_host::document_kind::feed;
    out->doc.reset(feed ? lyrn_parse_feed_json(text.data, text.size, feed_url)
                        : lyrn_discover_slugs_json(text.data, text.size));
    if (out->doc) return;
    // The last error belongs to this thread: read it here.
    const char *e = lyrn_last_error();
    out->why = *e ? failure_of(e, e) : lyrn_host::diagnose(text, feed_url, kind);
  } catch (...) {
    out->doc.reset();
    out->why = out_of_memory();
  }
}

// The number of UTF-16 units of a UTF-8 text: every byte that starts a
// character counts one, four-byte characters two.
std::size_t utf16_units(const char *s, std::size_t n) {
  std::size_t units = 0;
  for (std::size_t i = 0; i < n; ++i) {
    const unsigned char c = static_cast<unsigned char>(s[i]);
    if ((c & 0xC0) != 0x80) units += c >= 0xF0 ? 2 : 1;
  }
  return units;
}

// The document as a JavaScript string, or a failure ("document too large"
// when it is longer than a string can be). Null with *why unset when the
// environment refuses to make anything.
napi_value document_string(napi_env env, const lyrn_string &doc, lyrn_host::document_kind kind,
                           lyrn_host::failure *why) {
  const std::size_t size = std::strlen(doc.get());
  addon_state *s = state_of(env);
  const std::size_t limit = s ? s->max_string : 0;
  if (limit && size > limit && utf16_units(doc.get(), size) > limit) {
    *why = lyrn_host::too_large(kind, size, limit);
    return nullptr;
  }
  napi_value v = nullptr;
  if (napi_create_string_utf8(env, doc.get(), size, &v) == napi_ok) return v;
  // V8 refuses a string it cannot hold; a dying environment refuses too.
  bool pending = false;
  if (napi_is_exception_pending(env, &pending) == napi_ok && pending) {
    napi_value ignored;
    napi_get_and_clear_last_exception(env, &ignored);
  }
  if (can_throw(env)) *why = lyrn_host::too_large(kind, size, limit);
  return nullptr;
}

std::string with_hint(const lyrn_host::failure &f) {
  if (f.code == lyrn_host::kInvalidUtf8 && !f.about_url)
    return f.message + "; name its encoding with options.encoding, or set options.repair";
  if (f.code == lyrn_host::kSurrogateReference) return f.message + "; set options.repair";
  return f.message;
}

lyrn_host::failure for_js(lyrn_host::failure f) {
  f.message = with_hint(f);
  return f;
}

// ---- Feed conversion --------------------------------------------------------

// Async work: the input is held (a Buffer reference, or the string's own
// copy) and the feed URL copied until the completion runs on the main thread.
struct convert_work {
  std::shared_ptr<addon_state> state;
  napi_async_work work = nullptr;
  napi_deferred deferred = nullptr;
  input_bytes feed;
  std::string url;
  bool has_url = false;
  lyrn_host::prepare_options options;
  outcome result;
};

void execute_work(napi_env, void *data) {
  auto *w = static_cast<convert_work *>(data);
  convert(w->feed, w->options, w->has_url ? w->url.c_str() : nullptr, lyrn_host::document_kind::feed,
          &w->result);
}

void forget(addon_state *s, napi_async_work work) {
  for (std::size_t i = 0; i < s->queued.size(); ++i) {
    if (s->queued[i] == work) {
      s->queued[i] = s->queued.back();
      s->queued.pop_back();
      return;
    }
  }
}

// On the main thread, whether the work ran, failed or was cancelled: settles
// the promise when the environment can still take it, and in every case
// releases the document, the input and the work.
void complete_work(napi_env env, napi_status status, void *data) {
  std::unique_ptr<convert_work> w(static_cast<convert_work *>(data));
  forget(w->state.get(), w->work);
  try {
    if (status == napi_ok && !w->state->closing) {
      napi_value value = nullptr;
      lyrn_host::failure why = w->result.why;
      if (w->result.doc) value = document_string(env, w->result.doc, lyrn_host::document_kind::feed, &why);
      w->result.doc.reset();
      if (value) {
        napi_resolve_deferred(env, w->deferred, value);
      } else if (!why.code.empty()) {
        napi_value e = make_error(env, for_js(why));
        if (e) napi_reject_deferred(env, w->deferred, e);
      }
    }
  } catch (...) {
    // Nothing can be told to an environment that cannot make a string.
  }
  if (w->feed.keep) napi_delete_reference(env, w->feed.keep);
  napi_delete_async_work(env, w->work);
}

// parseFeedJson(data, feedUrl, encoding, repair): a promise of the text.
napi_value ParseFeedJson(napi_env env, napi_callback_info info) {
  return guarded(env, [&]() -> napi_value {
    args a;
    if (!get_args(env, info, &a)) return nullptr;
    void *data = nullptr;
    if (napi_get_instance_data(env, &data) != napi_ok || !data) return nullptr;
    addon_state *s = static_cast<instance_data *>(data)->state.get();
    if (s->closing) return nullptr;
    // Until the work is queued, this owns it and the reference to the Buffer.
    struct pending_work {
      napi_env env;
      convert_work *w;
      ~pending_work() {
        if (!w) return;
        if (w->feed.keep) napi_delete_reference(env, w->feed.keep);
        if (w->work) napi_delete_async_work(env, w->work);
        delete w;
      }
    } pending{env, new convert_work()};
    convert_work *w = pending.w;
    w->state = static_cast<instance_data *>(data)->state;
    if (!read_bytes(env, a.v[0], true, "parseFeed: data", &w->feed) ||
        !read_text(env, a.v[1], "parseFeed: feedUrl", &w->url, &w->has_url) ||
        !read_options(env, a.v[2], a.v[3], &w->options))
      return nullptr;
    napi_value promise, name;
    // A promise dropped unsettled on a later failure is unreachable: nothing refers to it yet.
    if (napi_create_promise(env, &w->deferred, &promise) != napi_ok ||
        napi_create_string_utf8(env, "lyrn.parseFeed", NAPI_AUTO_LENGTH, &name) != napi_ok ||
        napi_create_async_work(env, nullptr, name, execute_work, complete_work, w, &w->work) != napi_ok)
      return nullptr;
    s->queued.push_back(w->work);
    if (napi_queue_async_work(env, w->work) != napi_ok) {
      forget(s, w->work);
      return nullptr;
    }
    pending.w = nullptr;  // the completion releases it now
    return promise;
  });
}

// parseFeedJsonSync(data, feedUrl, encoding, repair): the text.
napi_value ParseFeedJsonSync(napi_env env, napi_callback_info info) {
  return guarded(env, [&]() -> napi_value {
    args a;
    if (!get_args(env, info, &a)) return nullptr;
    input_bytes feed;
    if (!read_bytes(env, a.v[0], false, "parseFeedSync: data", &feed)) return nullptr;
    std::string url;
    bool has_url = false;
    if (!read_text(env, a.v[1], "parseFeedSync: feedUrl", &url, &has_url)) return nullptr;
    lyrn_host::prepare_options options;
    if (!read_options(env, a.v[2], a.v[3], &options)) return nullptr;
    outcome r;
    convert(feed, options, has_url ? url.c_str() : nullptr, lyrn_host::document_kind::feed, &r);
    if (r.doc) {
      napi_value v = document_string(env, r.doc, lyrn_host::document_kind::feed, &r.why);
      if (v) return v;
    }
    if (!r.why.code.empty()) throw_failure(env, for_js(r.why));
    return nullptr;
  });
}

// discoverSlugsJson(html, encoding, repair): the text of the slug array.
napi_value DiscoverSlugsJson(napi_env env, napi_callback_info info) {
  return guarded(env, [&]() -> napi_value {
    args a;
    if (!get_args(env, info, &a)) return nullptr;
    input_bytes html;
    if (!is_nullish(env, a.v[0]) && !read_bytes(env, a.v[0], false, "discoverSlugs: html", &html)) return nullptr;
    lyrn_host::prepare_options options;
    if (!read_options(env, a.v[1], a.v[2], &options)) return nullptr;
    outcome r;
    convert(html, options, nullptr, lyrn_host::document_kind::listing, &r);
    if (r.doc) {
      napi_value v = document_string(env, r.doc, lyrn_host::document_kind::listing, &r.why);
      if (v) return v;
    }
    if (!r.why.code.empty()) throw_failure(env, for_js(r.why));
    return nullptr;
  });
}

// ---- Durations, dates and titles ------------------------------------------

napi_value ParseDuration(napi_env env, napi_callback_info info) {
  return guarded(env, [&]() -> napi_value {
    args a;
    if (!get_args(env, info, &a)) return nullptr;
    std::string text;
    bool present;
    if (!read_text(env, a.v[0], "parseDuration: text", &text, &present)) return nullptr;
    return make_number(env, lyrn_parse_duration(present ? text.c_str() : nullptr));
  });
}

napi_value FormatDuration(napi_env env, napi_callback_info info) {
  return guarded(env, [&]() -> napi_value {
    args a;
    if (!get_args(env, info, &a)) return nullptr;
    if (type_of(env, a.v[0]) != napi_number) {
      throw_type_error(env, "formatDuration: seconds must be a number");
      return nullptr;
    }
    double seconds = 0;
    napi_get_value_double(env, a.v[0], &seconds);
    char buf[64];  // "H:MM:SS" with a 64-bit hour count fits easily
    const int32_t n = lyrn_format_duration(seconds, buf, sizeof buf);
    if (n < 0) {
      if (can_throw(env)) napi_throw_range_error(env, nullptr, "formatDuration: the text does not fit");
      return nullptr;
    }
    return make_string(env, std::string(buf, static_cast<std::size_t>(n)));
  });
}

napi_value ParseDate(napi_env env, napi_callback_info info) {
  return guarded(env, [&]() -> napi_value {
    args a;
    if (!get_args(env, info, &a)) return nullptr;
    std::string text;
    bool present;
    if (!read_text(env, a.v[0], "parseDate: text", &text, &present)) return nullptr;
    const int64_t t = lyrn_parse_rfc2822_date(present ? text.c_str() : nullptr);
    return t == 0 ? make_null(env) : make_number(env, static_cast<double>(t));
  });
}

napi_value CleanTitle(napi_env env, napi_callback_info info) {
  return guarded(env, [&]() -> napi_value {
    args a;
    if (!get_args(env, info, &a)) return nullptr;
    std::string title;
    bool present;
    if (!read_text(env, a.v[0], "cleanTitle: title", &title, &present)) return nullptr;
    lyrn_string clean(lyrn_clean_title(present ? title.c_str() : nullptr));
    if (!clean) {
      throw_failure(env, failure_of("out of memory", "out of memory while cleaning a title"));
      return nullptr;
    }
    return make_string(env, clean.get());
  });
}

// ---- Feed locations ---------------------------------------------------------

napi_value IsValidFeedUrl(napi_env env, napi_callback_info info) {
  return guarded(env, [&]() -> napi_value {
    args a;
    if (!get_args(env, info, &a)) return nullptr;
    std::string url;
    bool present;
    if (!read_checked_text(env, a.v[0], "isValidFeedUrl: url", &url, &present)) return nullptr;
    napi_value v = nullptr;
    napi_get_boolean(env, lyrn_validate_feed_url(present ? url.c_str() : nullptr) == 0, &v);
    return v;
  });
}

// Text for messages: the value as JSON.stringify writes it.
std::string quoted(napi_env env, napi_value v) {
  if (type_of(env, v) == napi_undefined) return "undefined";
  napi_value global, json, stringify, s;
  std::string out;
  if (napi_get_global(env, &global) == napi_ok && napi_get_named_property(env, global, "JSON", &json) == napi_ok &&
      napi_get_named_property(env, json, "stringify", &stringify) == napi_ok &&
      napi_call_function(env, json, stringify, 1, &v, &s) == napi_ok && type_of(env, s) == napi_string &&
      utf8_of(env, s, &out))
    return out;
  return "?";
}

std::string build_url_message(napi_env env, const std::string &code, const args &a) {
  if (code == "invalid base_url")
    return "invalid base_url: " + quoted(env, a.v[0]) +
           " is not an http:// or https:// URL with a host (and without spaces or control characters)";
  const char *segment = "must be one safe path segment: not empty, not \".\" or \"..\", and without "
                        "\"/\", \"\\\", \"?\", \"#\", \"%\", spaces or control characters";
  if (code == "invalid user_id") return "invalid user_id: " + quoted(env, a.v[1]) + " " + segment;
  if (code == "invalid slug") return "invalid slug: " + quoted(env, a.v[2]) + " " + segment;
  return "the feed URL could not be built: " + code;
}

napi_value BuildUserFeedUrl(napi_env env, napi_callback_info info) {
  return guarded(env, [&]() -> napi_value {
    args a;
    if (!get_args(env, info, &a)) return nullptr;
    std::string base, user, slug;
    bool has_base, has_user, has_slug;
    if (!read_checked_text(env, a.v[0], "buildUserFeedUrl: baseUrl", &base, &has_base) ||
        !read_checked_text(env, a.v[1], "buildUserFeedUrl: userId", &user, &has_user) ||
        !read_checked_text(env, a.v[2], "buildUserFeedUrl: slug", &slug, &has_slug))
      return nullptr;
    lyrn_string url(lyrn_build_user_feed_url(has_base ? base.c_str() : nullptr, has_user ? user.c_str() : nullptr,
                                             has_slug ? slug.c_str() : nullptr));
    if (!url) {
      const char *e = lyrn_last_error();
      const std::string code = *e ? e : "out of memory";
      throw_failure(env, failure_of(code, build_url_message(env, code, a)));
      return nullptr;
    }
    return make_string(env, url.get());
  });
}

// ---- Self-test, versions and set-up -----------------------------------------

napi_value Selftest(napi_env env, napi_callback_info) { return make_number(env, lyrn_selftest()); }

napi_value Version(napi_env env, napi_callback_info) {
  return guarded(env, [&]() -> napi_value { return make_string(env, lyrn_version()); });
}

napi_value AbiVersion(napi_env env, napi_callback_info) { return make_number(env, lyrn_abi_version()); }

// setup(LyrnError, maxStringLength): the error class and the longest string
// this Node can make.
napi_value Setup(napi_env env, napi_callback_info info) {
  return guarded(env, [&]() -> napi_value {
    args a;
    if (!get_args(env, info, &a)) return nullptr;
    addon_state *s = state_of(env);
    if (!s) return nullptr;
    if (type_of(env, a.v[0]) != napi_function || type_of(env, a.v[1]) != napi_number) {
      throw_type_error(env, "setup: an error class and a string length are needed");
      return nullptr;
    }
    if (s->error_class) napi_delete_reference(env, s->error_class);
    s->error_class = nullptr;
    napi_create_reference(env, a.v[0], 1, &s->error_class);
    double limit = 0;
    napi_get_value_double(env, a.v[1], &limit);
    s->max_string = limit > 0 ? static_cast<std::size_t>(limit) : 0;
    return nullptr;
  });
}

// The environment is going: work that has not started is cancelled (its
// completion runs with napi_cancelled and only releases), and no completion
// settles a promise any more.
void on_env_cleanup(void *arg) {
  auto *s = static_cast<addon_state *>(arg);
  s->closing = true;
  // Cancelling may complete the work at once, which edits the list: copy it.
  const std::vector<napi_async_work> queued = s->queued;
  for (napi_async_work work : queued) napi_cancel_async_work(s->env, work);
}

void finalize_instance(napi_env env, void *data, void *) {
  auto *d = static_cast<instance_data *>(data);
  napi_remove_env_cleanup_hook(env, on_env_cleanup, d->state.get());
  d->state->closing = true;
  if (d->state->error_class) napi_delete_reference(env, d->state->error_class);
  d->state->error_class = nullptr;
  delete d;
}

napi_value Init(napi_env env, napi_value exports) {
  try {
    auto *d = new instance_data{std::make_shared<addon_state>()};
    d->state->env = env;
    if (napi_set_instance_data(env, d, finalize_instance, nullptr) != napi_ok) {
      delete d;
      return nullptr;
    }
    napi_add_env_cleanup_hook(env, on_env_cleanup, d->state.get());
    const std::pair<const char *, napi_callback> functions[] = {
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
        {"setup", Setup},
    };
    for (const auto &f : functions) {
      napi_value fn;
      if (napi_create_function(env, f.first, NAPI_AUTO_LENGTH, f.second, nullptr, &fn) != napi_ok ||
          napi_set_named_property(env, exports, f.first, fn) != napi_ok)
        return nullptr;
    }
    return exports;
  } catch (...) {
    return nullptr;
  }
}

}  // namespace

NAPI_MODULE_INIT() { return Init(env, exports); }
