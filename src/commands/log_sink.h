// Where the connection test writes its log: the window's memo, or a test's list.
#pragma once

#include <string>

namespace vornetta::commands {

class TLogSink {
 public:
  virtual ~TLogSink() = default;
  virtual void Clear() = 0;
  // Appends one line (no line break).
  virtual void AddLine(const std::string& line) = 0;
};

}  // namespace vornetta::commands
