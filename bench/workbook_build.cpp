// Memory of the workbook attachment: a SQLite table of mixed column types
// reported with anhang=xlsx and a row cap, so that the mail is mostly the
// workbook, against the memory rule for a mail (peak <= 1.3 x mail + 40 MiB).
//
//   workbook_build [rows]      (default 1000000)
//
// Prints the time, the workbook and mail sizes and the peak memory of the build.
#include <sys/resource.h>

#include <chrono>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "bench_support.h"
#include "config/my_ini_file.h"
#include "db/connection_owner.h"
#include "no_view.h"
#include "report/report_builder.h"

namespace {

using namespace vornetta;

}  // namespace

int main(int argc, char** argv) {
  std::setlocale(LC_ALL, "");
  const long rows = argc > 1 ? std::strtol(argv[1], nullptr, 10) : 1000000;
  if (rows < 1) {
    std::fprintf(stderr, "usage: workbook_build [rows]\n");
    return 2;
  }
  try {
    const bench::TScratchFolder scratch;
    const std::unique_ptr<config::TMyIniFile> file = bench::MixedTableConfig(scratch, rows);
    config::TMyIniFile& ini = *file;
    ini.WriteValue("email", "anhang", "xlsx");
    ini.WriteValue("email", "zeilenMax", "100");
    ini.WriteText("sql", "select * from t");
    db::TConnectionOwner connection([&ini] { return ini.ReadValueDefault("datenbank", "connection", ""); });
    report::TReportText text;
    bench::TNoView view;

    rusage before{};
    getrusage(RUSAGE_SELF, &before);
    const auto start = std::chrono::steady_clock::now();
    report::BuildReport(ini, connection, text, view);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    rusage after{};
    getrusage(RUSAGE_SELF, &after);
    if (text.RowCount() != rows) throw std::runtime_error("row count " + std::to_string(text.RowCount()));

    constexpr double kMiB = 1048576.0;
    const double workbook = static_cast<double>(text.Workbook().size());
    // The mail: the HTML part and the workbook in base64 lines of 76 characters and CR LF.
    const double mail = static_cast<double>(text.DocumentText().size()) + workbook / 57.0 * 78.0;
    const double peak = after.ru_maxrss * 1024.0;
    std::printf("%ld rows x 8 columns, anhang=xlsx, zeilenMax=100, locale \"%s\"\n", rows,
                std::setlocale(LC_ALL, nullptr));
    std::printf("build: %.1f s wall, %.1f s processor\n", seconds,
                bench::CpuSeconds(after) - bench::CpuSeconds(before));
    std::printf("workbook %.1f MiB, HTML %.2f MiB, mail %.1f MiB\n", workbook / kMiB,
                text.DocumentText().size() / kMiB, mail / kMiB);
    std::printf("peak memory %.1f MiB; bound 1.3 x mail + 40 MiB = %.1f MiB; ratio %.2f\n", peak / kMiB,
                (1.3 * mail + 40 * kMiB) / kMiB, peak / (1.3 * mail + 40 * kMiB));
  } catch (const std::exception& e) {
    std::fprintf(stderr, "workbook_build: %s\n", e.what());
    return 1;
  }
  return 0;
}
