// SPDX-License-Identifier: MIT
#include "svg_chart.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace bench {
namespace {

const char *const kColours[] = {"#1f77b4", "#ff7f0e", "#2ca02c", "#d62728", "#9467bd", "#8c564b", "#7f7f7f"};

std::string escaped(const std::string &s) {
  std::string out;
  for (char c : s) {
    if (c == '&')
      out += "&amp;";
    else if (c == '<')
      out += "&lt;";
    else if (c == '>')
      out += "&gt;";
    else
      out += c;
  }
  return out;
}

// A round step for about five grid lines up to top: 1, 2 or 5 times a power of ten.
double grid_step(double top) {
  const double raw = top / 5;
  const double power = std::pow(10.0, std::floor(std::log10(raw)));
  for (double m : {1.0, 2.0, 5.0})
    if (m * power >= raw) return m * power;
  return 10 * power;
}

std::string number(double v) {
  char buf[32];
  if (v == 0)
    return "0";
  if (v >= 100)
    std::snprintf(buf, sizeof buf, "%.0f", v);
  else if (v >= 10)
    std::snprintf(buf, sizeof buf, "%.1f", v);
  else
    std::snprintf(buf, sizeof buf, "%.2f", v);
  return buf;
}

}  // namespace

bool write_bar_chart(const std::string &path, const bar_chart &chart) {
  const double left = 70, right = 20, top = 50, bottom = 60, legend = 22;
  const std::size_t groups = chart.groups.size(), bars = chart.series.size();
  const double bar_w = 22, gap = 26;
  const double group_w = static_cast<double>(bars) * bar_w + gap;
  const double plot_w = std::max(300.0, static_cast<double>(groups) * group_w);
  const double plot_h = 260;
  // Wide enough for the title at about 7.5 pixels a character.
  const double width = std::max(left + plot_w + right, left + 7.5 * static_cast<double>(chart.title.size()));
  const double height = top + plot_h + bottom + legend * static_cast<double>((bars + 2) / 3);

  double max_v = 0;
  for (const chart_series &s : chart.series)
    for (double v : s.values) max_v = std::max(max_v, v);
  if (!(max_v > 0)) max_v = 1;
  const double step = grid_step(max_v * 1.08);
  const double y_top = std::ceil(max_v * 1.08 / step) * step;
  auto y_of = [&](double v) { return top + plot_h - v / y_top * plot_h; };

  std::FILE *f = std::fopen(path.c_str(), "w");
  if (!f) return false;
  std::fprintf(f,
               "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"%.0f\" height=\"%.0f\" viewBox=\"0 0 %.0f %.0f\""
               " font-family=\"sans-serif\" font-size=\"11\">\n",
               width, height, width, height);
  std::fprintf(f, "<!-- SPDX-License-Identifier: MIT -->\n");
  std::fprintf(f, "<rect width=\"100%%\" height=\"100%%\" fill=\"white\"/>\n");
  std::fprintf(f, "<text x=\"%.0f\" y=\"24\" font-size=\"14\" font-weight=\"bold\">%s</text>\n", left,
               escaped(chart.title).c_str());
  for (double v = 0; v <= y_top + step / 2; v += step) {
    const double y = y_of(v);
    std::fprintf(f, "<line x1=\"%.1f\" y1=\"%.1f\" x2=\"%.1f\" y2=\"%.1f\" stroke=\"#ddd\"/>\n", left, y,
                 left + plot_w, y);
    std::fprintf(f, "<text x=\"%.1f\" y=\"%.1f\" text-anchor=\"end\">%s</text>\n", left - 6, y + 4,
                 number(v).c_str());
  }
  std::fprintf(f, "<text transform=\"translate(16 %.1f) rotate(-90)\" text-anchor=\"middle\">%s</text>\n",
               top + plot_h / 2, escaped(chart.unit).c_str());
  for (std::size_t g = 0; g < groups; ++g) {
    const double x0 = left + static_cast<double>(g) * group_w + gap / 2;
    for (std::size_t b = 0; b < bars; ++b) {
      const std::vector<double> &vals = chart.series[b].values;
      const double v = g < vals.size() ? vals[g] : 0;
      const double x = x0 + static_cast<double>(b) * bar_w;
      if (!(v > 0)) {
        std::fprintf(f, "<text x=\"%.1f\" y=\"%.1f\" text-anchor=\"middle\" fill=\"#999\">-</text>\n", x + bar_w / 2,
                     top + plot_h - 4);
        continue;
      }
      const double y = y_of(v);
      std::fprintf(f, "<rect x=\"%.1f\" y=\"%.1f\" width=\"%.1f\" height=\"%.1f\" fill=\"%s\"/>\n", x + 1, y,
                   bar_w - 2, top + plot_h - y, kColours[b % (sizeof kColours / sizeof kColours[0])]);
      std::fprintf(f,
                   "<text x=\"%.1f\" y=\"%.1f\" font-size=\"9\" text-anchor=\"start\" transform=\"rotate(-90 %.1f %.1f)\">"
                   "%s</text>\n",
                   x + bar_w / 2 + 3, y - 3, x + bar_w / 2 + 3, y - 3, number(v).c_str());
    }
    std::fprintf(f, "<text x=\"%.1f\" y=\"%.1f\" text-anchor=\"middle\">%s</text>\n",
                 x0 + static_cast<double>(bars) * bar_w / 2, top + plot_h + 18, escaped(chart.groups[g]).c_str());
  }
  std::fprintf(f, "<line x1=\"%.1f\" y1=\"%.1f\" x2=\"%.1f\" y2=\"%.1f\" stroke=\"#333\"/>\n", left, top + plot_h,
               left + plot_w, top + plot_h);
  for (std::size_t b = 0; b < bars; ++b) {
    const double x = left + static_cast<double>(b % 3) * 190;
    const double y = top + plot_h + 40 + legend * static_cast<double>(b / 3);
    std::fprintf(f, "<rect x=\"%.1f\" y=\"%.1f\" width=\"12\" height=\"12\" fill=\"%s\"/>\n", x, y - 10,
                 kColours[b % (sizeof kColours / sizeof kColours[0])]);
    std::fprintf(f, "<text x=\"%.1f\" y=\"%.1f\">%s</text>\n", x + 18, y, escaped(chart.series[b].name).c_str());
  }
  std::fprintf(f, "</svg>\n");
  return std::fclose(f) == 0;
}

}  // namespace bench
