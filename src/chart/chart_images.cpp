#include "chart/chart_images.h"

#include "chart/chart_colours.h"
#include "chart/chart_painter.h"

namespace vornetta::chart {

std::vector<TChartImage> DrawReportCharts(const report::TReportText& report, std::string_view cssUtf8) {
  std::vector<TChartImage> images;
  if (report.Charts().empty()) return images;
  const TChartColours colours = ColoursFromStyleSheet(cssUtf8);
  for (const report::TChartData& chart : report.Charts()) {
    images.push_back({chart.contentId, "diagramm-" + std::to_string(chart.statement) + ".png",
                      ChartPng(chart, colours)});
  }
  return images;
}

}  // namespace vornetta::chart
