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

struct TChildRun {
  double seconds;
  long peakKb;
};

// Runs a program with stdin and stdout redirected; its time and peak memory.
TChildRun RunChild(const std::vector<std::string>& args, const char* input, const char* output) {
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
  return {std::chrono::duration<double>(Clock::now() - start).count(), usage.ru_maxrss};
}

long PeakKb() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
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

struct TBuildRun {
  double seconds;
  std::size_t documentBytes;
  std::int32_t rows;
};

TBuildRun Build(config::TMyIniFile& ini, std::unique_ptr<db::TDatenbankAdo>& connection,
                report::TReportText& text, const std::string& statement) {
  ini.WriteText("sql", statement);
  TNoView view;
  const Clock::time_point start = Clock::now();
  report::BuildReport(ini, connection, text, view);
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  return {seconds, text.DocumentText().size(), text.RowCount()};
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
                "timestamp, decimal, varchar with 10%% NULL), locale \"%s\"\n\n",
                std::setlocale(LC_ALL, nullptr));
    std::printf("%10s %12s %12s %14s %12s %12s\n", "rows", "build s", "ns/row", "rows/s", "peer s",
                "peer ns/row");
    std::vector<long> sizes;
    for (long size : {1000L, 100000L}) {
      if (size < rows) sizes.push_back(size);
    }
    sizes.push_back(rows);
    TBuildRun last{};
    TChildRun lastPeer{};
    for (long size : sizes) {
      const std::string statement = size == rows ? "select * from t" : "select * from t limit " + std::to_string(size);
      last = Build(ini, connection, text, statement);
      if (last.rows != size) throw std::runtime_error("row count " + std::to_string(last.rows));
      lastPeer = RunChild({"sqlite3", "-html", database, statement}, nullptr, "/dev/null");
      std::printf("%10ld %12.3f %12.0f %14.0f %12.3f %12.0f\n", size, last.seconds, last.seconds * 1e9 / size,
                  size / last.seconds, lastPeer.seconds, lastPeer.seconds * 1e9 / size);
    }
    const long peakKb = PeakKb();
    std::printf("\ndocument of %ld rows: %.1f MB (%zu pieces)\n", rows, last.documentBytes / 1048576.0,
                text.PieceCount());
    std::printf("peak memory of the build process: %.1f MB (%.2f x the document)\n", peakKb / 1024.0,
                peakKb * 1024.0 / static_cast<double>(last.documentBytes));
    std::printf("peer (sqlite3 -html): %.3f s, peak memory %.1f MB\n", lastPeer.seconds,
                lastPeer.peakKb / 1024.0);
    std::printf("build time / peer time: %.2f\n", last.seconds / lastPeer.seconds);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "report_build: %s\n", e.what());
    status = 1;
  }
  std::error_code ignored;
  std::filesystem::remove_all(dir, ignored);
  return status;
}
