# SPDX-License-Identifier: MIT
# The addon links the shared C library that scripts/find-lib.js locates, and
# compiles the hosts' shared preparation (hosts/prepare.cpp of the source
# tree, or the copy in this folder) into itself. It is written against the
# plain Node-API C interface; exceptions stay on for the C++ inside it.
{
  "targets": [
    {
      "target_name": "lyrn",
      "sources": ["src/addon.cc", "<!@(node scripts/find-lib.js hosts-sources)"],
      "include_dirs": [
        "<!@(node scripts/find-lib.js include)",
        "<!@(node scripts/find-lib.js hosts-include)"
      ],
      "libraries": ["<!@(node scripts/find-lib.js libs)"],
      "defines": ["NAPI_VERSION=8"],
      "cflags!": ["-fno-exceptions"],
      "cflags_cc!": ["-fno-exceptions", "-std=gnu++17"],
      "cflags_cc": ["-std=c++17", "-Wall", "-Wextra"],
      "conditions": [
        ["OS=='mac'", {"libraries": ["-liconv"]}]
      ],
      "xcode_settings": {
        "GCC_ENABLE_CPP_EXCEPTIONS": "YES",
        "CLANG_CXX_LANGUAGE_STANDARD": "c++17"
      }
    }
  ]
}
