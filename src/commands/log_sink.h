// Where the connection test writes its log: the window's memo, or a test's list.
#pragma once

#include <string>

#include "platform/code_page.h"

namespace vornetta::commands {

class TLogSink {
 public:
  virtual ~TLogSink() = default;
  virtual void Clear() = 0;
  // Appends one line (system code page, no line break).
  virtual void AddLine(const std::string& line) = 0;
  // The same with a line in UTF-8: a log that can show every character shows
  // it whole; by default it is kept in the code page.
  virtual void AddLineUtf8(const std::string& line) { AddLine(platform::FromUtf8(line)); }
};

}  // namespace vornetta::commands
