// The dry run's output: the mail as the data phase would carry it, written to a
// file or stdout instead of a server. The message writer dot-stuffs its body
// lines for SMTP; this sink takes that "." off again, so the file holds the
// mail itself, every line ending in CR LF.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

#include "message/line_writer.h"

namespace vornetta::dispatch {

class TDryRunOutput : public message::TIdLineWriter {
 public:
  // "-" is stdout; any other name a file, created or emptied on the first line.
  explicit TDryRunOutput(std::string target) : target_(std::move(target)) {}
  TDryRunOutput(const TDryRunOutput&) = delete;
  TDryRunOutput& operator=(const TDryRunOutput&) = delete;
  ~TDryRunOutput() override;

  // Throws std::runtime_error naming the file when it cannot be opened or written.
  void SendLine(std::string_view line) override;
  // Flushes and closes; throws like SendLine. Nothing happens when no line came.
  void Finish();

 private:
  void Fail(const char* what);

  std::string target_;
  std::FILE* file_ = nullptr;
};

}  // namespace vornetta::dispatch
