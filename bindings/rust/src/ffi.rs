// SPDX-License-Identifier: MIT
//! The thirteen exports of lyrn.h, declared by hand.
use std::os::raw::{c_char, c_double, c_void};

extern "C" {
    pub fn lyrn_version() -> *const c_char;
    pub fn lyrn_abi_version() -> i32;
    pub fn lyrn_free(ptr: *mut c_void);
    pub fn lyrn_last_error() -> *const c_char;
    pub fn lyrn_parse_feed_json(feed: *const c_char, feed_len: usize, feed_url: *const c_char) -> *mut c_char;
    pub fn lyrn_parse_duration(text: *const c_char) -> c_double;
    pub fn lyrn_format_duration(seconds: c_double, buf: *mut c_char, buf_size: usize) -> i32;
    pub fn lyrn_parse_rfc2822_date(text: *const c_char) -> i64;
    pub fn lyrn_clean_title(title: *const c_char) -> *mut c_char;
    pub fn lyrn_validate_feed_url(url: *const c_char) -> i32;
    pub fn lyrn_build_user_feed_url(base_url: *const c_char, user_id: *const c_char, slug: *const c_char)
        -> *mut c_char;
    pub fn lyrn_discover_slugs_json(html: *const c_char, html_len: usize) -> *mut c_char;
    pub fn lyrn_selftest() -> i32;
}
