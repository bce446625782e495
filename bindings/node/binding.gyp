# SPDX-License-Identifier: MIT
# The addon links the shared C library that scripts/find-lib.js locates.
{
  "targets": [
    {
      "target_name": "lyrn",
      "sources": ["src/addon.cc"],
      "include_dirs": [
        "<!(node -p \"require('node-addon-api').include_dir\")",
        "<!@(node scripts/find-lib.js include)"
      ],
      "libraries": ["<!@(node scripts/find-lib.js libs)"],
      "defines": ["NAPI_VERSION=8", "NAPI_CPP_EXCEPTIONS"],
      "cflags!": ["-fno-exceptions"],
      "cflags_cc!": ["-fno-exceptions", "-std=gnu++17"],
      "cflags_cc": ["-std=c++17", "-Wall", "-Wextra"],
      "xcode_settings": {
        "GCC_ENABLE_CPP_EXCEPTIONS": "YES",
        "CLANG_CXX_LANGUAGE_STANDARD": "c++17"
      }
    }
  ]
}
