// SPDX-License-Identifier: MIT
module git.example.org/quorvane-velotune-feed-rss-parser/bindings/go

go 1.19
