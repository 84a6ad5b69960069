// Record-set read throughput: the mixed-type SQLite table of report_build, read
// value by value through TRecordSet with nothing else done, beside the SQLite
// shell writing the same rows as a list to /dev/null as the peer.
//
//   record_set_read [rows] [runs]      (defaults 1000000 and 3)
//
// Prints the best processor time of the runs per row, and the process's peak memory.
#include <sys/resource.h>

#include <clocale>
#include <cstdio>
#include <memory>
#include <stdexcept>
#include <string>

#include "bench_support.h"
#include "db/datenbank_ado.h"

namespace {

using namespace vornetta;
using bench::CpuSeconds;
using bench::RunChild;

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
  try {
    const bench::TScratchFolder scratch;
    const std::string database = (scratch.Path() / "bench.db").string();
    bench::CreateMixedTable(database, scratch.Path(), rows);

    double peer = 0;
    for (int i = 0; i < runs; ++i) {
      const double s = RunChild({"sqlite3", "-list", database, "select * from t"}, nullptr).cpuSeconds;
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
    return 1;
  }
  return 0;
}
