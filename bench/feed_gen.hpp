// SPDX-License-Identifier: MIT
// Deterministic synthetic feeds for the benchmark. The same seed gives the
// same bytes on every machine and library version: the generator has its own
// PRNG and draws numbers only through it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace bench {

// A feed with description-heavy items (HTML descriptions of 1-3 KB, some
// content:encoded, dates, durations in three forms, authors, artwork on about
// half the items, unique enclosures), grown item by item until it holds
// about target_bytes.
std::string make_rich_feed(std::size_t target_bytes, std::uint64_t seed, std::size_t *items);

// A feed whose items carry only a title and an enclosure.
std::string make_minimal_feed(std::size_t items, std::uint64_t seed);

}  // namespace bench
