#include "bench_support.h"

#include <fcntl.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>

#include <chrono>
#include <fstream>
#include <stdexcept>
#include <system_error>

extern char** environ;

namespace vornetta::bench {

double CpuSeconds(const rusage& usage) {
  return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

TRun RunChild(const std::vector<std::string>& args, const char* input, const char* output) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  if (input) posix_spawn_file_actions_addopen(&actions, 0, input, O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, output, O_WRONLY | O_CREAT | O_TRUNC, 0644);
  std::vector<char*> argv;
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  const auto start = std::chrono::steady_clock::now();
  pid_t pid = 0;
  const int spawned = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) throw std::runtime_error("cannot start " + args[0]);
  int status = 0;
  rusage usage{};
  if (wait4(pid, &status, 0, &usage) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
    throw std::runtime_error(args[0] + " failed");
  return {std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), CpuSeconds(usage),
          usage.ru_maxrss};
}

void CreateMixedTable(const std::string& database, const std::filesystem::path& scratch, long rows) {
  const auto script = scratch / "create.sql";
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
}

TScratchFolder::TScratchFolder() {
  std::string pattern = (std::filesystem::temp_directory_path() / "vornetta-bench-XXXXXX").string();
  if (!::mkdtemp(pattern.data())) throw std::system_error(errno, std::generic_category(), "mkdtemp");
  path_ = pattern;
}

TScratchFolder::~TScratchFolder() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

}  // namespace vornetta::bench
