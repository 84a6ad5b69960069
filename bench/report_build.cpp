// Report build throughput: a SQLite table of mixed column types, reported with
// "select * from t" through ODBC and a view that does nothing, beside the
// SQLite shell's own HTML output of the same rows as the peer.
//
//   report_build [rows]      (default 1000000)
//
// Prints rows per second, time per row at 1,000, 100,000 and the full count,
// the document size and the peak memory of the build and of the peer.
#include <fcntl.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <clocale>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "config/my_ini_file.h"
#include "db/datenbank_ado.h"
#include "report/report_builder.h"

extern char** environ;

namespace {

using namespace vornetta;
using Clock = std::chrono::steady_clock;

class TNoView : public report::TReportView {
 public:
  void ShowSourcePage() override {}
  void PiecesAppended(const report::TReportText&) override {}
  void ProcessPendingEvents() override {}
  void LoadPreview(std::string_view) override {}
};

// Wall-clock and processor seconds (user and system) of one run, and peak memory.
struct TRun {
  double seconds = 0;
  double cpuSeconds = 0;
  long peakKb = 0;
};

double CpuSeconds(const rusage& usage) {
  return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// Runs a program with stdin and stdout redirected. Its peak memory is only
// meaningful while this process is still small: Linux carries the parent's peak
// over into a child started with vfork and exec.
TRun RunChild(const std::vector<std::string>& args, const char* input, const char* output) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  if (input) posix_spawn_file_actions_addopen(&actions, 0, input, O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, output, O_WRONLY | O_CREAT | O_TRUNC, 0644);
  std::vector<char*> argv;
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  const Clock::time_point start = Clock::now();
  pid_t pid = 0;
  const int spawned = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) throw std::runtime_error("cannot start " + args[0]);
  int status = 0;
  rusage usage{};
  if (wait4(pid, &status, 0, &usage) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    throw std::runtime_error(args[0] + " failed");
  }
  return {std::chrono::duration<double>(Clock::now() - start).count(), CpuSeconds(usage), usage.ru_maxrss};
}

void CreateTable(const std::string& database, const std::filesystem::path& dir, long rows) {
  const auto script = dir / "create.sql";
  std::ofstream(script) << "create table t (id integer, name text, price real, qty integer, day date,\n"
                           "  stamp timestamp, amount decimal(10,2), note varchar(40));\n"
                           "with recursive c(x) as (select 1 union all select x + 1 from c where x < "
                        << rows
                        << ")\n"
                           "insert into t select x, 'Kunde ' || x, x * 0.25, x % 1000,\n"
                           "  date('2020-01-01', '+' || (x % 2000) || ' days'),\n"
                           "  datetime('2020-01-01 08:00:00', '+' || x || ' minutes'),\n"
                           "  round(x * 1.07, 2),\n"
                           "  case when x % 10 = 0 then null else 'Bemerkung <b>' || (x % 97) || '</b>' end\n"
                           "from c;\n";
  RunChild({"sqlite3", database}, script.c_str(), "/dev/null");
}

TRun Build(config::TMyIniFile& ini, std::unique_ptr<db::TDatenbankAdo>& connection, report::TReportText& text,
          const std::string& statement, long expectedRows) {
  ini.WriteText("sql", statement);
  TNoView view;
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
  std::string pattern = (std::filesystem::temp_directory_path() / "vornetta-bench-XXXXXX").string();
  if (!::mkdtemp(pattern.data())) {
    std::perror("mkdtemp");
    return 1;
  }
  const std::filesystem::path dir = pattern;
  const std::string database = (dir / "bench.db").string();
  int status = 0;
  try {
    CreateTable(database, dir, rows);
    config::TMyIniFile ini((dir / "bench.ini").string());
    ini.WriteValue("datenbank", "connection", "Driver={SQLite3};Database=" + database + ";");
    std::unique_ptr<db::TDatenbankAdo> connection;
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
      peers.push_back(Best(size, [&] { return RunChild({"sqlite3", "-html", database, statementFor(size)}, nullptr, "/dev/null"); }));
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
    const TRun read = ReadOnly(*connection, statementFor(rows), rows);
    std::printf("\nreading the %ld records alone (db layer and driver): %.3f s, %.0f ns/row\n", rows,
                read.cpuSeconds, read.cpuSeconds * 1e9 / rows);
    const double documentBytes = static_cast<double>(text.DocumentText().size());
    std::printf("\n%ld rows, wall: build %.3f s, peer %.3f s\n", rows, last.seconds, peers.back().seconds);
    std::printf("document: %.1f MB in %zu pieces\n", documentBytes / 1048576.0, text.PieceCount());
    std::printf("peak memory: build process %.1f MB (%.2f x the document), peer %.1f MB\n", last.peakKb / 1024.0,
                last.peakKb * 1024.0 / documentBytes, peers.back().peakKb / 1024.0);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "report_build: %s\n", e.what());
    status = 1;
  }
  std::error_code ignored;
  std::filesystem::remove_all(dir, ignored);
  return status;
}
