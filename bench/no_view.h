// What the report benchmarks share: a view that shows nothing, so they measure
// the build alone, and a configuration over the mixed SQLite table.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "bench_support.h"
#include "config/my_ini_file.h"
#include "report/report_builder.h"

namespace vornetta::bench {

class TNoView : public report::TReportView {
 public:
  void ShowSourcePage() override {}
  void PiecesAppended(const report::TReportText&) override {}
  bool PumpEvents() override { return true; }
  void LoadPreview(std::string_view) override {}
};

// A configuration file in `scratch` whose connection reads the mixed table of
// `rows` records, created beside it.
inline std::unique_ptr<config::TMyIniFile> MixedTableConfig(const TScratchFolder& scratch, long rows) {
  const auto& dir = scratch.Path();
  const std::string database = (dir / "bench.db").string();
  CreateMixedTable(database, dir, rows);
  auto ini = std::make_unique<config::TMyIniFile>((dir / "bench.ini").string());
  ini->WriteValue("datenbank", "connection", "Driver={SQLite3};Database=" + database + ";");
  return ini;
}

}  // namespace vornetta::bench
