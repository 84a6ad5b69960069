// A line chart over the whole result: the mixed SQLite table reported once
// without and once with "linie;day;price,amount", the memory the chart's values
// take beside the document, and the time to draw the PNG.
//
//   chart_draw [rows]      (default 100000)
#include <QGuiApplication>

#include <algorithm>
#include <cstdlib>
#include <clocale>
#include <cstdio>
#include <string>

#include "bench_support.h"
#include "chart/chart_colours.h"
#include "chart/chart_painter.h"
#include "config/my_ini_file.h"
#include "db/connection_owner.h"
#include "no_view.h"
#include "report/report_builder.h"

namespace {

using namespace vornetta;

long PeakKb() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
  std::setlocale(LC_ALL, "de_DE.UTF-8");
  const long rows = argc > 1 ? std::atol(argv[1]) : 100000;
  bench::TScratchFolder scratch;
  const std::string database = (scratch.Path() / "bench.db").string();
  bench::CreateMixedTable(database, scratch.Path(), rows);

  config::TMyIniFile ini((scratch.Path() / "bench.ini").string());
  ini.WriteValue("datenbank", "connection", "Driver={SQLite3};Database=" + database + ";");
  ini.WriteText("sql", "select day as day, price as price, amount as amount from t;");
  db::TConnectionOwner connection([&] { return ini.ReadValueDefault("datenbank", "connection", ""); });
  report::TReportText text;
  bench::TNoView view;

  const long startKb = PeakKb();
  report::BuildReport(ini, connection, text, view);
  const long plainKb = PeakKb();
  const std::size_t documentBytes = text.DocumentText().size();

  ini.WriteValue("diagramm", "0", "linie;day;price,amount");
  report::BuildReport(ini, connection, text, view);
  const long chartKb = PeakKb();
  const report::TChartData& chart = text.Charts().at(0);
  const std::size_t chartBytes =
      chart.labels.Bytes() + chart.xs.capacity() * sizeof(double) + chart.values.capacity() * sizeof(double);

  const chart::TChartColours colours = chart::ColoursFromStyleSheet("");
  double best = 1e9;
  std::size_t pngBytes = 0;
  for (int run = 0; run < 3; ++run) {
    // Processor time: on the shared machine the wall clock mostly measures the wait for a core.
    rusage before{}, after{};
    getrusage(RUSAGE_SELF, &before);
    pngBytes = chart::ChartPng(chart, colours).size();
    getrusage(RUSAGE_SELF, &after);
    best = std::min(best, bench::CpuSeconds(after) - bench::CpuSeconds(before));
  }
  const long drawnKb = PeakKb();

  std::printf("rows %ld, points %zu, date axis %s\n", rows, chart.PointCount(), chart.dateAxis ? "yes" : "no");
  std::printf("document %.1f MiB, chart values %.2f MiB (%.1f%% of the document)\n", documentBytes / 1048576.0,
              chartBytes / 1048576.0, 100.0 * static_cast<double>(chartBytes) / static_cast<double>(documentBytes));
  std::printf("peak: start %.1f MiB, build %.1f MiB, build with chart %.1f MiB, after drawing %.1f MiB\n",
              startKb / 1024.0, plainKb / 1024.0, chartKb / 1024.0, drawnKb / 1024.0);
  std::printf("drawing and PNG: best of 3 %.3f s processor time, PNG %zu bytes\n", best, pngBytes);
  return 0;
}
