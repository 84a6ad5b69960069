// Where the message writer puts its lines: the SMTP connection in the program,
// a collecting list in tests. Each line is sent followed by CR LF.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace vornetta::message {

class TIdLineWriter {
 public:
  virtual ~TIdLineWriter() = default;

  // Sends the line and CR LF as one write.
  virtual void SendLine(std::string_view line) = 0;

  // SendLine for every line, in order.
  virtual void SendLines(const std::vector<std::string>& lines) {
    for (const std::string& line : lines) SendLine(line);
  }
};

}  // namespace vornetta::message
