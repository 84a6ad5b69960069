// The connection test's log in the memo "Memodbtest": one memo line per entry.
#pragma once

#include <string>

#include "commands/log_sink.h"

class QPlainTextEdit;

namespace vornetta::ui {

class TMemoLog : public commands::TLogSink {
 public:
  explicit TMemoLog(QPlainTextEdit* memo) : memo_(memo) {}
  void Clear() override;
  void AddLine(const std::string& line) override;

 private:
  QPlainTextEdit* memo_;
};

}  // namespace vornetta::ui
