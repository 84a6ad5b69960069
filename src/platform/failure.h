// Failures of the program: exceptions whose what() is the message in UTF-8, the
// one kind of text inside the program. The window, stderr and the mail show it
// as it stands; only an edge that needs the code page converts it.
#pragma once

#include <stdexcept>
#include <string>

namespace vornetta::platform {

class EFailure : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

}  // namespace vornetta::platform
