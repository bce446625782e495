// SPDX-License-Identifier: MIT
// A small SVG writer for the benchmark's tables: grouped bars, one group per
// feed and one bar per converter, with the value above each bar. No
// dependency beyond the C++ library, so charts come out wherever the
// benchmark runs.
#pragma once

#include <string>
#include <vector>

namespace bench {

struct chart_series {
  std::string name;
  std::vector<double> values;  // one per group; not positive = not measured
};

struct bar_chart {
  std::string title;
  std::string unit;  // the y axis, e.g. "MB/s"
  std::vector<std::string> groups;
  std::vector<chart_series> series;
};

// Writes the chart to path; false when the file cannot be written.
bool write_bar_chart(const std::string &path, const bar_chart &chart);

}  // namespace bench
