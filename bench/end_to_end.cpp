// End to end: an unattended run of build/vornetta (database, report, mail) beside
// the shell pipeline `sqlite3 -html DB QUERY | python3 peer_send.py` doing the
// same job, both mailing to one local sink that reads and discards.
//   build/bench/end_to_end [rows ...]          default 1000 10000 100000
//   build/bench/end_to_end --mariadb [rows]    default 200000; needs the
//       VORNETTA_MARIADB_* variables of scripts/mariadb-test-server.sh
//   build/bench/end_to_end --large-value [MiB ...]   default 50 100: the memory
//       one large value costs beyond the report text
//   build/bench/end_to_end --postgres [rows]   default 200000, against
//       `psql -H -c 'select * from t' | python3 peer_send.py`; needs the
//       VORNETTA_POSTGRES_* variables of scripts/postgres-test-server.sh
// Each contender runs three times per size, alternating; the median wall time
// and the largest peak memory are shown. Beside them the floor: floor_fetch
// reading the same table through the same driver and options, nothing else.
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "bench_support.h"

extern char** environ;

namespace {

using vornetta::bench::RunChild;
using vornetta::bench::TRun;
using vornetta::bench::TScratchFolder;

constexpr int kRuns = 3;
const std::string kSourceDir = VORNETTA_SOURCE_DIR;
const std::string kProgram = std::string(VORNETTA_BINARY_DIR) + "/vornetta";
const std::string kFloor = std::string(VORNETTA_BINARY_DIR) + "/bench/floor_fetch";

// bench/discard_sink.py, started once; tells the size of each mail it took.
class TSink {
 public:
  TSink() {
    int fds[2];
    if (pipe(fds) != 0) throw std::runtime_error("pipe");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
    posix_spawn_file_actions_addclose(&actions, fds[0]);
    const std::string script = kSourceDir + "/bench/discard_sink.py";
    char* argv[] = {const_cast<char*>("/usr/bin/python3"), const_cast<char*>(script.c_str()), nullptr};
    if (posix_spawn(&pid_, "/usr/bin/python3", &actions, nullptr, argv, environ) != 0)
      throw std::runtime_error("cannot start the sink");
    posix_spawn_file_actions_destroy(&actions);
    close(fds[1]);
    out_ = fdopen(fds[0], "r");
    if (std::fscanf(out_, " port %d", &port_) != 1) throw std::runtime_error("the sink did not start");
  }
  ~TSink() {
    kill(pid_, SIGTERM);
    waitpid(pid_, nullptr, 0);
    std::fclose(out_);
  }
  int Port() const { return port_; }
  long NextMailBytes() {
    long bytes = 0;
    if (std::fscanf(out_, " mail %ld", &bytes) != 1) throw std::runtime_error("the sink took no mail");
    return bytes;
  }

 private:
  pid_t pid_ = 0;
  FILE* out_ = nullptr;
  int port_ = 0;
};

struct TContender {
  std::vector<double> seconds;
  long peakKb = 0;
  long bytes = 0;
  void Add(const TRun& run, long mailBytes) {
    seconds.push_back(run.seconds);
    peakKb = std::max(peakKb, run.peakKb);
    bytes = mailBytes;
  }
  double Median() {
    std::sort(seconds.begin(), seconds.end());
    return seconds[seconds.size() / 2];
  }
};

void WriteIni(const std::string& path, const std::string& connection, int port) {
  std::ofstream(path) << "[datenbank]\r\nconnection=" << connection << "\r\n[sql]\r\n0=select * from t;\r\n"
                      << "[email]\r\nempfaenger=leitung@example.com\r\nabsender=bericht@example.com\r\n"
                      << "betreff=Bench\r\nsmtpserver=127.0.0.1:" << port << "\r\n";
  std::filesystem::permissions(path, std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
}

std::string Quoted(const std::string& text) { return "'" + text + "'"; }

// The ODBC connection string and statement the floor program reads with.
struct TFloor {
  std::string connection;
  std::string statement = "select * from t";
};

void Compare(TSink& sink, const std::string& label, const std::string& ini, const std::string& peerCommand,
             const TFloor& floor) {
  TContender ours, peer, bare;
  for (int run = 0; run < kRuns; ++run) {
    const TRun oursRun = RunChild({kProgram, ini, "-unattend"}, nullptr);
    ours.Add(oursRun, sink.NextMailBytes());
    bare.Add(RunChild({kFloor, floor.connection, floor.statement}, nullptr), 0);
    if (peerCommand.empty()) continue;
    const TRun peerRun = RunChild({"sh", "-c", peerCommand}, nullptr);
    peer.Add(peerRun, sink.NextMailBytes());
  }
  const double floorS = bare.Median();
  const double oursS = ours.Median();
  // Every size in MiB, so the memory ratio reads off the printed figures.
  const double memoryRatio = ours.peakKb / 1024.0 / (1.3 * ours.bytes / 1048576.0 + 40);
  std::printf("%-16s vornetta %7.2f s %7.1f MiB %9.2f MiB mail | ", label.c_str(), oursS, ours.peakKb / 1024.0,
              ours.bytes / 1048576.0);
  std::printf("floor %6.2f s (vornetta / floor %.2f) | ", floorS, oursS / floorS);
  if (peerCommand.empty()) {
    std::printf("memory/(1.3 x mail + 40 MiB) %.3f\n", memoryRatio);
    return;
  }
  const double peerS = peer.Median();
  std::printf("peer %6.2f s %6.1f MiB %9.2f MiB mail | ratio %.2f, %+.2f s, memory/(1.3 x mail + 40 MiB) %.3f\n",
              peerS, peer.peakKb / 1024.0, peer.bytes / 1048576.0, oursS / peerS, oursS - peerS, memoryRatio);
  std::fflush(stdout);
}

std::string Env(const char* name) {
  const char* value = std::getenv(name);
  if (value == nullptr || *value == '\0') throw std::runtime_error(std::string(name) + " is not set");
  return value;
}

void RunSqlite(TSink& sink, const TScratchFolder& scratch, const std::vector<long>& sizes) {
  for (long rows : sizes) {
    const std::string db = (scratch.Path() / ("rows" + std::to_string(rows) + ".db")).string();
    vornetta::bench::CreateMixedTable(db, scratch.Path(), rows);
    const std::string ini = (scratch.Path() / "sqlite.ini").string();
    WriteIni(ini, "Driver={SQLite3};Database=" + db + ";", sink.Port());
    const std::string peer = "sqlite3 -html " + Quoted(db) + " 'select * from t' | /usr/bin/python3 " +
                             Quoted(kSourceDir + "/bench/peer_send.py") + " " + std::to_string(sink.Port());
    Compare(sink, "sqlite " + std::to_string(rows), ini, peer, {"Driver={SQLite3};Database=" + db + ";StepAPI=1;"});
  }
}

void RunMariaDb(TSink& sink, const TScratchFolder& scratch, long rows) {
  const std::string host = Env("VORNETTA_MARIADB_HOST"), port = Env("VORNETTA_MARIADB_PORT"),
                    user = Env("VORNETTA_MARIADB_USER"), password = Env("VORNETTA_MARIADB_PASSWORD"),
                    database = Env("VORNETTA_MARIADB_DATABASE");
  const std::string client = "mariadb -h " + host + " -P " + port + " -u " + user + " -p" + Quoted(password) + " " +
                             database;
  const std::string create =
      "drop table if exists t; create table t (id integer, name text, price double, qty integer, day date, "
      "stamp timestamp null, amount decimal(10,2), note varchar(40)); insert into t select seq, concat('Kunde ', seq), "
      "seq * 0.25, seq % 1000, date('2020-01-01') + interval (seq % 2000) day, "
      "timestamp('2020-01-01 08:00:00') + interval seq minute, round(seq * 1.07, 2), "
      "case when seq % 10 = 0 then null else concat('Bemerkung <b>', seq % 97, '</b>') end from seq_1_to_" +
      std::to_string(rows) + ";";
  const std::string createFile = (scratch.Path() / "create-mariadb.sql").string();
  std::ofstream(createFile) << create << "\n";
  RunChild({"sh", "-c", client}, createFile.c_str());
  const std::string ini = (scratch.Path() / "mariadb.ini").string();
  const std::string connection = "Driver={MySQL};Server=" + host + ";Port=" + port + ";Database=" + database +
                                 ";Uid=" + user + ";Pwd=" + password + ";";
  WriteIni(ini, connection, sink.Port());
  const std::string peer = client + " --html -e 'select * from t' | /usr/bin/python3 " +
                           Quoted(kSourceDir + "/bench/peer_send.py") + " " + std::to_string(sink.Port());
  Compare(sink, "mariadb " + std::to_string(rows), ini, peer, {connection});
}

// The table of the MariaDB run; the peer psql writes all of it as one HTML table.
void RunPostgres(TSink& sink, const TScratchFolder& scratch, long rows) {
  const std::string host = Env("VORNETTA_POSTGRES_HOST"), port = Env("VORNETTA_POSTGRES_PORT"),
                    user = Env("VORNETTA_POSTGRES_USER"), database = Env("VORNETTA_POSTGRES_DATABASE");
  setenv("PGPASSWORD", Env("VORNETTA_POSTGRES_PASSWORD").c_str(), 1);
  const std::string client = "psql -X -q -h " + host + " -p " + port + " -U " + user + " -d " + database;
  const std::string create =
      "drop table if exists t; create table t as select x as id, 'Kunde ' || x as name, x * 0.25::float8 as price, "
      "x % 1000 as qty, date '2020-01-01' + x % 2000 as day, timestamp '2020-01-01 08:00:00' + x * interval "
      "'1 minute' as stamp, round(x * 1.07, 2)::numeric(10,2) as amount, case when x % 10 = 0 then null else "
      "'Bemerkung <b>' || (x % 97) || '</b>' end::varchar(40) as note from generate_series(1, " +
      std::to_string(rows) + ") x;";
  const std::string createFile = (scratch.Path() / "create-postgres.sql").string();
  std::ofstream(createFile) << create << "\n";
  RunChild({"sh", "-c", client}, createFile.c_str());
  const std::string ini = (scratch.Path() / "postgres.ini").string();
  const std::string connection = "Driver={PostgreSQL Unicode};Server=" + host + ";Port=" + port +
                                 ";Database=" + database + ";Uid=" + user +
                                 ";Pwd=" + Env("VORNETTA_POSTGRES_PASSWORD") + ";";
  WriteIni(ini, connection, sink.Port());
  const std::string peer = client + " -H -c 'select * from t' | /usr/bin/python3 " +
                           Quoted(kSourceDir + "/bench/peer_send.py") + " " + std::to_string(sink.Port());
  // The floor reads with the driver options the program adds to such a string.
  Compare(sink, "postgres " + std::to_string(rows), ini, peer,
          {connection + "UseDeclareFetch=1;Fetch=1000;BoolsAsChar=0;"});
}

// One record with a single text value of `megabytes` MiB (with markup to
// escape), with and without CSV attachments: the peak beyond what a run with a
// tiny value needs, in multiples of the value's size.
void RunLargeValue(TSink& sink, const TScratchFolder& scratch, const std::vector<long>& sizes) {
  const std::string ini = (scratch.Path() / "large.ini").string();
  auto peakOf = [&](long bytes, bool csv) {
    const std::string db = (scratch.Path() / ("value" + std::to_string(bytes) + ".db")).string();
    std::filesystem::remove(db);
    // hex(zeroblob(n)) is n * 2 zeros: every second pair becomes "<b".
    const std::string create = "create table t (v text); insert into t values (replace(hex(zeroblob(" +
                               std::to_string(bytes / 2) + ")), '0000', 'a<bc'));";
    RunChild({"sqlite3", db, create}, nullptr);
    WriteIni(ini, "Driver={SQLite3};Database=" + db + ";", sink.Port());
    if (csv) std::ofstream(ini, std::ios::app) << "anhang=csv\r\n";
    TRun worst;
    for (int run = 0; run < kRuns; ++run) {
      const TRun one = RunChild({kProgram, ini, "-unattend"}, nullptr);
      sink.NextMailBytes();
      worst.peakKb = std::max(worst.peakKb, one.peakKb);
    }
    return worst.peakKb / 1024.0;
  };
  for (bool csv : {false, true}) {
    const double base = peakOf(16, csv);
    for (long megabytes : sizes) {
      const double peak = peakOf(megabytes << 20, csv);
      std::printf("value %4ld MiB%s: peak %7.1f MiB, %6.1f MiB beyond a tiny value = %.2f x the value\n", megabytes,
                  csv ? " + csv" : "", peak, peak - base, (peak - base) / static_cast<double>(megabytes));
      std::fflush(stdout);
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  try {
    // As under cron: no display, Qt's offscreen platform.
    unsetenv("DISPLAY");
    unsetenv("WAYLAND_DISPLAY");
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    const std::string server = argc > 1 && std::string(argv[1]).starts_with("--") ? argv[1] : "";
    if (!server.empty() && server != "--mariadb" && server != "--postgres" && server != "--large-value")
      throw std::runtime_error("unknown option " + server);
    std::vector<long> sizes;
    for (int i = server.empty() ? 1 : 2; i < argc; ++i) sizes.push_back(std::stol(argv[i]));
    if (sizes.empty())
      sizes = server.empty()                ? std::vector<long>{1000, 10000, 100000}
              : server == "--large-value" ? std::vector<long>{50, 100}
                                          : std::vector<long>{200000};
    TScratchFolder scratch;
    TSink sink;
    if (server == "--large-value") {
      RunLargeValue(sink, scratch, sizes);
    } else if (server == "--mariadb") {
      for (long rows : sizes) RunMariaDb(sink, scratch, rows);
    } else if (server == "--postgres") {
      for (long rows : sizes) RunPostgres(sink, scratch, rows);
    } else {
      RunSqlite(sink, scratch, sizes);
    }
    return 0;
  } catch (const std::exception& failure) {
    std::fprintf(stderr, "end_to_end: %s\n", failure.what());
    return 1;
  }
}
