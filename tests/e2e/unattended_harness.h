// What the end-to-end tests of the unattended run need around the program: a
// child process with captured output and a time limit, a real SMTP server that
// keeps what it receives, temporary folders and configuration files in the
// program's code page.
#pragma once

#include <chrono>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "support/temp_folder.h"

namespace vornetta::e2e {

struct TProcessResult {
  int exitStatus = -1;  // the exit code; 128 + signal when killed
  bool timedOut = false;
  std::string out;
  std::string err;
};

// Runs argv[0] (a path) with the arguments, the current environment changed by
// `env` ("NAME=value" replaces NAME, "NAME" alone removes it), in `cwd` when not
// empty, with nothing on stdin. Kills the child after `timeout`.
TProcessResult RunProcess(const std::vector<std::string>& argv,
                          const std::vector<std::string>& env = {},
                          const std::string& cwd = "",
                          std::chrono::seconds timeout = std::chrono::seconds(120));

// build/vornetta of this build tree.
std::string ProgramPath();
// The source tree (VORNETTA_SOURCE_DIR).
std::string SourceDir();

// A loopback port that nobody listens on (bound, read and released).
int ClosedLoopbackPort();

std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::string& bytes);

using TTempDir = vornetta::test::TTempFolder;

// One mail as the server stored it: the data without dot-stuffing, split at the
// first empty line, and the envelope.
struct TReceivedMail {
  std::string raw;
  std::string header;  // header lines, each ending in CR LF
  std::string body;    // everything after the empty line
  std::string mailFrom;
  std::vector<std::string> rcptTo;

  // The value of the first header line of that name (continuation lines joined
  // as they stand, CR LF included); empty when absent.
  std::string Header(const std::string& name) const;
};

// The real SMTP server (aiosmtpd through scripts/smtp-sink.py) on a free
// loopback port, stopped by the destructor whatever the test did.
class TSmtpSink {
 public:
  // `auth` "user:password" makes the server offer AUTH LOGIN for that pair;
  // `options` go to the script as they are (e.g. "--cert", PEM, "--key", PEM).
  explicit TSmtpSink(const std::string& folder, const std::string& auth = "",
                     const std::vector<std::string>& options = {});
  ~TSmtpSink();
  TSmtpSink(const TSmtpSink&) = delete;
  TSmtpSink& operator=(const TSmtpSink&) = delete;

  int Port() const { return port_; }
  // Received mails in the order of arrival.
  std::vector<TReceivedMail> Mails() const;
  // The server's own log (stderr), for failure messages.
  std::string Log() const;

 private:
  void Stop();

  std::string folder_;
  int pid_ = -1;
  int port_ = 0;
};

// A configuration file as the program stores it: sections of keys in order,
// values escaped (CR, LF, TAB as ##13, ##10, ##09), lines ending in CR LF.
// Texts are given in UTF-8 and written in ISO-8859-15.
class TIniText {
 public:
  TIniText& Set(const std::string& section, const std::string& key, const std::string& valueUtf8);
  // A multi-line text as numbered keys "0", "1", ... (one per line).
  TIniText& SetText(const std::string& section, const std::string& textUtf8);
  std::string Bytes() const;
  // The file as UTF-8 with the byte-order mark.
  std::string Utf8Bytes() const;
  void Save(const std::string& path) const { WriteFile(path, Bytes()); }

 private:
  std::vector<std::pair<std::string, std::vector<std::pair<std::string, std::string>>>> sections_;
};

// The key names of one section of a stored configuration, in file order.
std::vector<std::string> IniKeys(const std::string& iniBytes, const std::string& section);
// The stored (escaped) value of one key; empty when missing.
std::string IniValue(const std::string& iniBytes, const std::string& section, const std::string& key);

// UTF-8 text in ISO-8859-15 bytes.
std::string Latin9(const std::string& utf8);

}  // namespace vornetta::e2e
