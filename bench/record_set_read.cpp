// Record-set read throughput: the mixed-type SQLite table of report_build, read
// value by value through TRecordSet with nothing else done, beside the SQLite
// shell writing the same rows as a list to /dev/null as the peer.
//
//   record_set_read [rows] [runs]      (defaults 1000000 and 3)
//
// Prints the best processor time of the runs per row, and the process's peak memory.
#include <fcntl.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <clocale>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "db/datenbank_ado.h"

extern char** environ;

namespace {

using namespace vornetta;

double CpuSeconds(const rusage& usage) {
  return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

double RunChild(const std::vector<std::string>& args, const char* input) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  if (input) posix_spawn_file_actions_addopen(&actions, 0, input, O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  std::vector<char*> argv;
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  pid_t pid = 0;
  const int spawned = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) throw std::runtime_error("cannot start " + args[0]);
  int status = 0;
  rusage usage{};
  if (wait4(pid, &status, 0, &usage) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
    throw std::runtime_error(args[0] + " failed");
  return CpuSeconds(usage);
}

double ReadAll(db::TDatenbankAdo& connection, long expectedRows, std::size_t& bytes) {
  rusage before{};
  getrusage(RUSAGE_SELF, &before);
  const std::unique_ptr<db::TRecordSet> records = connection.GetData("select * from t");
  long count = 0;
  bytes = 0;
  for (; !records->Eof(); records->Next(), ++count) {
    for (int i = 0; i < records->FieldCount(); ++i) bytes += records->Value(i).size();
  }
  rusage after{};
  getrusage(RUSAGE_SELF, &after);
  if (count != expectedRows || records->RecNo() != expectedRows)
    throw std::runtime_error("record count " + std::to_string(count));
  return CpuSeconds(after) - CpuSeconds(before);
}

}  // namespace

int main(int argc, char** argv) {
  std::setlocale(LC_ALL, "");
  const long rows = argc > 1 ? std::strtol(argv[1], nullptr, 10) : 1000000;
  const int runs = argc > 2 ? std::atoi(argv[2]) : 3;
  if (rows < 1 || runs < 1) {
    std::fprintf(stderr, "usage: record_set_read [rows] [runs]\n");
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
    RunChild({"sqlite3", database}, script.c_str());

    double peer = 0;
    for (int i = 0; i < runs; ++i) {
      const double s = RunChild({"sqlite3", "-list", database, "select * from t"}, nullptr);
      if (i == 0 || s < peer) peer = s;
    }
    db::TDatenbankAdo connection("Driver={SQLite3};Database=" + database + ";");
    double best = 0;
    std::size_t bytes = 0;
    for (int i = 0; i < runs; ++i) {
      const double s = ReadAll(connection, rows, bytes);
      if (i == 0 || s < best) best = s;
    }
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("reading %ld records x 8 columns, locale \"%s\", best of %d (processor time)\n", rows,
                std::setlocale(LC_ALL, nullptr), runs);
    std::printf("record set: %.3f s, %.0f ns/row, %.1f MB of value text\n", best, best * 1e9 / rows,
                bytes / 1048576.0);
    std::printf("peer (sqlite3 -list): %.3f s, %.0f ns/row; ratio %.2f\n", peer, peer * 1e9 / rows, best / peer);
    std::printf("peak memory of this process: %.1f MB\n", usage.ru_maxrss / 1024.0);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "record_set_read: %s\n", e.what());
    status = 1;
  }
  std::error_code ignored;
  std::filesystem::remove_all(dir, ignored);
  return status;
}
