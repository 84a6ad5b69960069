// Peak memory of reading a large PostgreSQL result through TRecordSet: the
// streamed read (the cursor the provider asks the driver for) beside the driver's
// whole-result read, and psql with FETCH_COUNT as the peer. Each read runs in a
// process of its own, so each peak is its own.
//
//   eval "$(scripts/postgres-test-server.sh start /tmp/pg-bench)"
//   build/bench/postgres_read [rows]      (default 200000)
//   scripts/postgres-test-server.sh stop /tmp/pg-bench
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <stdexcept>
#include <string>

#include "bench_support.h"
#include "db/datenbank_ado.h"

namespace {

using namespace vornetta;

std::string Env(const char* name) {
  const char* value = std::getenv(name);
  if (!value || !*value) throw std::runtime_error(std::string(name) + " is not set (scripts/postgres-test-server.sh)");
  return value;
}

struct TRead {
  double seconds = 0;
  long peakKb = 0;
  long rows = 0;
  double megabytes = 0;
};

// Reads the whole table value by value in a child process; its peak memory and rows.
TRead ReadInChild(const std::string& connection) {
  int pipeFds[2];
  if (pipe(pipeFds) != 0) throw std::runtime_error("pipe");
  const auto start = std::chrono::steady_clock::now();
  const pid_t pid = fork();
  if (pid < 0) throw std::runtime_error("fork");
  if (pid == 0) {
    close(pipeFds[0]);
    long result[2] = {-1, 0};
    try {
      db::TDatenbankAdo database(connection);
      std::unique_ptr<db::TRecordSet> records = database.GetData("select * from bench_t");
      long bytes = 0;
      for (; !records->Eof(); records->Next())
        for (int i = 0; i < records->FieldCount(); ++i) bytes += static_cast<long>(records->Value(i).size());
      result[0] = records->RecNo();
      result[1] = bytes;
    } catch (const std::exception& e) {
      std::fprintf(stderr, "postgres_read: %s\n", e.what());
    }
    if (write(pipeFds[1], result, sizeof result) != sizeof result) _exit(1);
    _exit(result[0] < 0 ? 1 : 0);
  }
  close(pipeFds[1]);
  long result[2] = {-1, 0};
  const bool got = read(pipeFds[0], result, sizeof result) == sizeof result;
  close(pipeFds[0]);
  int status = 0;
  rusage usage{};
  if (wait4(pid, &status, 0, &usage) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0 || !got)
    throw std::runtime_error("the read failed");
  return {std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), usage.ru_maxrss,
          result[0], result[1] / 1048576.0};
}

}  // namespace

int main(int argc, char** argv) {
  std::setlocale(LC_ALL, "");
  const long rows = argc > 1 ? std::strtol(argv[1], nullptr, 10) : 200000;
  if (rows < 1) {
    std::fprintf(stderr, "usage: postgres_read [rows]\n");
    return 2;
  }
  try {
    const std::string connection = Env("VORNETTA_POSTGRES_CONNECTION");
    {
      // The mixed table of the other benchmarks: 8 columns, 10% NULL, umlauts.
      db::TDatenbankAdo setup(connection);
      setup.Execute("drop table if exists bench_t");
      setup.Execute(
          "create table bench_t as select x as id, 'Kunde ' || x as name, (x * 0.25)::real as price, "
          "x % 1000 as qty, date '2020-01-01' + x % 2000 as day, "
          "timestamp '2020-01-01 08:00:00' + x * interval '1 minute' as stamp, "
          "round(x * 1.07, 2)::numeric(12,2) as amount, "
          "case when x % 10 = 0 then null else 'Bemerkung <b>' || (x % 97) || '</b> Größe' end::varchar(40) as note "
          "from generate_series(1, " + std::to_string(rows) + ") x");
    }
    const TRead streamed = ReadInChild(connection);
    const TRead whole = ReadInChild(connection + "UseDeclareFetch=0;");
    setenv("PGPASSWORD", Env("VORNETTA_POSTGRES_PASSWORD").c_str(), 1);
    const bench::TRun peer =
        bench::RunChild({"psql", "-X", "-q", "-A", "-h", Env("VORNETTA_POSTGRES_HOST"), "-p",
                         Env("VORNETTA_POSTGRES_PORT"), "-U", Env("VORNETTA_POSTGRES_USER"), "-d",
                         Env("VORNETTA_POSTGRES_DATABASE"), "-v", "FETCH_COUNT=1000", "-c", "select * from bench_t"},
                        nullptr);
    db::TDatenbankAdo(connection).Execute("drop table bench_t");
    if (streamed.rows != rows || whole.rows != rows) throw std::runtime_error("row count differs");

    std::printf("reading %ld records x 8 columns (%.1f MB of value text), locale \"%s\"\n", rows,
                streamed.megabytes, std::setlocale(LC_ALL, nullptr));
    std::printf("record set, streamed (default):     %6.2f s, peak %7.1f MB\n", streamed.seconds,
                streamed.peakKb / 1024.0);
    std::printf("record set, UseDeclareFetch=0:      %6.2f s, peak %7.1f MB\n", whole.seconds,
                whole.peakKb / 1024.0);
    std::printf("peer (psql, FETCH_COUNT=1000):      %6.2f s, peak %7.1f MB\n", peer.seconds, peer.peakKb / 1024.0);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "postgres_read: %s\n", e.what());
    return 1;
  }
  return 0;
}
