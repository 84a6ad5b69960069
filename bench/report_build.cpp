// Report build throughput: a SQLite table of mixed column types, reported with
// "select * from t" through ODBC and a view that does nothing, beside the
// SQLite shell's own HTML output of the same rows as the peer.
//
//   report_build [rows]      (default 1000000)
//
// Prints rows per second, time per row at 1,000, 100,000 and the full count,
// the document size and the peak memory of the build and of the peer.
#include <chrono>
#include <clocale>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "bench_support.h"
#include "config/my_ini_file.h"
#include "db/connection_owner.h"
#include "db/datenbank_ado.h"
#include "no_view.h"
#include "report/report_builder.h"

namespace {

using namespace vornetta;
using bench::CpuSeconds;
using bench::RunChild;
using bench::TRun;
using Clock = std::chrono::steady_clock;

TRun Build(config::TMyIniFile& ini, db::TConnectionOwner& connection, report::TReportText& text,
          const std::string& statement, long expectedRows) {
  ini.WriteText("sql", statement);
  bench::TNoView view;
  rusage before{};
  getrusage(RUSAGE_SELF, &before);
  const Clock::time_point start = Clock::now();
  report::BuildReport(ini, connection, text, view);
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  rusage after{};
  getrusage(RUSAGE_SELF, &after);
  if (text.RowCount() != expectedRows) throw std::runtime_error("row count " + std::to_string(text.RowCount()));
  return {seconds, CpuSeconds(after) - CpuSeconds(before), after.ru_maxrss};
}

// Reads the same records without writing a report: the share of the database layer.
TRun ReadOnly(db::TDatenbankAdo& connection, const std::string& statement, long expectedRows) {
  rusage before{};
  getrusage(RUSAGE_SELF, &before);
  const Clock::time_point start = Clock::now();
  const std::unique_ptr<db::TRecordSet> records = connection.GetData(statement);
  long count = 0;
  std::size_t bytes = 0;
  for (; !records->Eof(); records->Next(), ++count) {
    for (int i = 0; i < records->FieldCount(); ++i) bytes += records->Value(i).size();
  }
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  rusage after{};
  getrusage(RUSAGE_SELF, &after);
  if (count != expectedRows || bytes == 0) throw std::runtime_error("record count " + std::to_string(count));
  return {seconds, CpuSeconds(after) - CpuSeconds(before), after.ru_maxrss};
}

// The best of a few runs for the small sizes, where one run is short enough to be disturbed.
template <typename F>
TRun Best(long rows, F run) {
  TRun best = run();
  for (int i = 1; i < (rows <= 100000 ? 5 : 1); ++i) {
    TRun next = run();
    if (next.cpuSeconds < best.cpuSeconds) best = next;
  }
  return best;
}

}  // namespace

int main(int argc, char** argv) {
  std::setlocale(LC_ALL, "");
  const long rows = argc > 1 ? std::strtol(argv[1], nullptr, 10) : 1000000;
  if (rows < 1) {
    std::fprintf(stderr, "usage: report_build [rows]\n");
    return 2;
  }
  try {
    const bench::TScratchFolder scratch;
    const std::unique_ptr<config::TMyIniFile> file = bench::MixedTableConfig(scratch, rows);
    config::TMyIniFile& ini = *file;
    const std::string database = (scratch.Path() / "bench.db").string();  // for the sqlite3 peer
    db::TConnectionOwner connection([&ini] { return ini.ReadValueDefault("datenbank", "connection", ""); });
    report::TReportText text;

    std::printf("report build of a SQLite table, 8 columns (integer, text, real, integer, date,\n"
                "timestamp, decimal, varchar with 10%% NULL), locale \"%s\"\n",
                std::setlocale(LC_ALL, nullptr));
    std::printf("times are processor seconds (user + system) unless marked wall\n\n");
    std::vector<long> sizes;
    for (long size : {1000L, 100000L}) {
      if (size < rows) sizes.push_back(size);
    }
    sizes.push_back(rows);
    auto statementFor = [rows](long size) {
      return size == rows ? std::string("select * from t") : "select * from t limit " + std::to_string(size);
    };

    // The peers run first, while this process is small (see RunChild).
    std::vector<TRun> peers;
    for (long size : sizes) {
      peers.push_back(Best(size, [&] { return RunChild({"sqlite3", "-html", database, statementFor(size)}, nullptr); }));
    }

    std::printf("%10s %10s %10s %12s %10s %10s %12s %8s\n", "rows", "build s", "ns/row", "rows/s", "peer s",
                "ns/row", "rows/s", "ratio");
    TRun last;
    for (std::size_t i = 0; i < sizes.size(); ++i) {
      const long size = sizes[i];
      last = Best(size, [&] { return Build(ini, connection, text, statementFor(size), size); });
      const TRun& peer = peers[i];
      std::printf("%10ld %10.3f %10.0f %12.0f %10.3f %10.0f %12.0f %8.2f\n", size, last.cpuSeconds,
                  last.cpuSeconds * 1e9 / size, size / last.cpuSeconds, peer.cpuSeconds,
                  peer.cpuSeconds * 1e9 / size, size / peer.cpuSeconds, last.cpuSeconds / peer.cpuSeconds);
    }
    const TRun read = ReadOnly(connection.Get(), statementFor(rows), rows);
    std::printf("\nreading the %ld records alone (db layer and driver): %.3f s, %.0f ns/row\n", rows,
                read.cpuSeconds, read.cpuSeconds * 1e9 / rows);
    const double documentBytes = static_cast<double>(text.DocumentText().size());
    std::printf("\n%ld rows, wall: build %.3f s, peer %.3f s\n", rows, last.seconds, peers.back().seconds);
    std::printf("document: %.1f MB in %zu pieces\n", documentBytes / 1048576.0, text.PieceCount());
    std::printf("peak memory: build process %.1f MB (%.2f x the document), peer %.1f MB\n", last.peakKb / 1024.0,
                last.peakKb * 1024.0 / documentBytes, peers.back().peakKb / 1024.0);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "report_build: %s\n", e.what());
    return 1;
  }
  return 0;
}
