// SPDX-License-Identifier: MIT
//! Finds the C library, in this order:
//!   1. LYRN_LIB_DIR, the folder holding libquorvane-velotune-feed-rss-parser.so
//!      (such as a CMake build folder);
//!   2. the `pkg-config` program's quorvane-velotune-feed-rss-parser (an
//!      install or the Debian -dev package);
//!   3. the build folder of the source tree this crate sits in (../../build
//!      after `make run`).
//! A folder outside the loader's default ones goes into the rpath, so tests
//! and programs run without LD_LIBRARY_PATH.
use std::env;
use std::path::{Path, PathBuf};
use std::process::Command;

const LIB: &str = "quorvane-velotune-feed-rss-parser";

fn has_library(dir: &Path) -> bool {
    dir.join(format!("lib{}.so", LIB)).exists() || dir.join(format!("lib{}.dylib", LIB)).exists()
}

fn is_system_dir(dir: &str) -> bool {
    matches!(dir, "/lib" | "/usr/lib" | "/lib64" | "/usr/lib64")
        || ((dir.starts_with("/lib/") || dir.starts_with("/usr/lib/"))
            && dir.rsplit('/').next().map_or(false, |last| last.contains("-linux-")))
}

fn link_dir(dir: &str) {
    println!("cargo:rustc-link-search=native={}", dir);
    if !is_system_dir(dir) {
        println!("cargo:rustc-link-arg=-Wl,-rpath,{}", dir);
    }
}

fn from_pkg_config() -> bool {
    let out = match Command::new("pkg-config").args(["--libs", LIB]).output() {
        Ok(out) if out.status.success() => out,
        _ => return false,
    };
    let flags = String::from_utf8_lossy(&out.stdout).into_owned();
    for flag in flags.split_whitespace() {
        if let Some(dir) = flag.strip_prefix("-L") {
            link_dir(dir);
        } else if let Some(name) = flag.strip_prefix("-l") {
            println!("cargo:rustc-link-lib=dylib={}", name);
        }
    }
    true
}

fn main() {
    println!("cargo:rerun-if-env-changed=LYRN_LIB_DIR");
    println!("cargo:rerun-if-env-changed=PKG_CONFIG_PATH");
    println!("cargo:rerun-if-changed=build.rs");

    if let Some(dir) = env::var_os("LYRN_LIB_DIR") {
        let dir = PathBuf::from(dir);
        let dir = dir.canonicalize().unwrap_or(dir);
        if !has_library(&dir) {
            panic!("LYRN_LIB_DIR={} holds no lib{}.so", dir.display(), LIB);
        }
        link_dir(&dir.to_string_lossy());
        println!("cargo:rustc-link-lib=dylib={}", LIB);
        return;
    }
    if from_pkg_config() {
        return;
    }
    let tree = PathBuf::from(env::var_os("CARGO_MANIFEST_DIR").expect("cargo sets CARGO_MANIFEST_DIR"))
        .join("../../build");
    if let Ok(dir) = tree.canonicalize() {
        if has_library(&dir) {
            link_dir(&dir.to_string_lossy());
            println!("cargo:rustc-link-lib=dylib={}", LIB);
            return;
        }
    }
    panic!(
        "lib{} not found: set LYRN_LIB_DIR to the folder that holds it, install it where pkg-config \
         finds it, or run `make run` in the source tree",
        LIB
    );
}
