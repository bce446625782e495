// SPDX-License-Identifier: MIT
// The built-in self-test behind lyrn_selftest.
#pragma once

#include <cstdint>

namespace lyrn {

// Runs the ten fixed checks in order: 0 when all pass, else the number of
// the first that failed.
std::int32_t selftest();

}  // namespace lyrn
