// The charts of a built report as PNG images, ready to go into the mail or the
// preview under their Content-IDs.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "report/report_text.h"

namespace vornetta::chart {

struct TChartImage {
  std::string contentId;  // without angle brackets
  std::string fileName;   // diagramm-N.png, N the statement number
  std::string png;
};

// Every chart of `report`, drawn in the colours of the style sheet `cssUtf8`.
std::vector<TChartImage> DrawReportCharts(const report::TReportText& report, std::string_view cssUtf8);

}  // namespace vornetta::chart
