// What the benchmarks share: processor time, a peer program run with its
// resource use, the mixed-type SQLite table they all read, and a scratch folder.
#pragma once

#include <sys/resource.h>

#include <filesystem>
#include <string>
#include <vector>

namespace vornetta::bench {

// Wall-clock and processor seconds (user and system) of one run, and peak memory.
struct TRun {
  double seconds = 0;
  double cpuSeconds = 0;
  long peakKb = 0;
};

double CpuSeconds(const rusage& usage);

// Runs a program with stdin (when given) and stdout redirected; throws when it
// fails. Its peak memory is only meaningful while this process is still small:
// Linux carries the parent's peak over into a child started with vfork and exec.
TRun RunChild(const std::vector<std::string>& args, const char* input, const char* output = "/dev/null");

// Creates table t in a new SQLite database: id integer, name text, price real,
// qty integer, day date, stamp timestamp, amount decimal(10,2), note varchar(40)
// with 10% NULL and some markup.
void CreateMixedTable(const std::string& database, const std::filesystem::path& scratch, long rows);

// A new folder under the temporary directory, removed with everything in it.
class TScratchFolder {
 public:
  TScratchFolder();
  ~TScratchFolder();
  TScratchFolder(const TScratchFolder&) = delete;
  TScratchFolder& operator=(const TScratchFolder&) = delete;
  const std::filesystem::path& Path() const { return path_; }

 private:
  std::filesystem::path path_;
};

}  // namespace vornetta::bench
