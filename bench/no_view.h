// A report view that shows nothing: the benchmarks measure the build alone.
#pragma once

#include <string_view>

#include "report/report_builder.h"

namespace vornetta::bench {

class TNoView : public report::TReportView {
 public:
  void ShowSourcePage() override {}
  void PiecesAppended(const report::TReportText&) override {}
  void ProcessPendingEvents() override {}
  void LoadPreview(std::string_view) override {}
};

}  // namespace vornetta::bench
