// Failures whose message may hold characters the system code page cannot. The
// program's own texts are written in the source as UTF-8 and given here whole:
// what() is the message in the code page, Utf8() the whole message, so that a
// Unicode window, stderr and mail can show what the code page could not.
#pragma once

#include <exception>
#include <memory>
#include <stdexcept>
#include <string>

namespace vornetta::platform {

// A message written in UTF-8.
struct TUtf8Message {
  std::string text;
};

class EFailure : public std::runtime_error {
 public:
  // A message in the system code page; it is whole as it stands.
  explicit EFailure(const std::string& codePageMessage);
  explicit EFailure(const char* codePageMessage);
  // A message in UTF-8; what() gives it in the code page ("?" where a character has no place).
  explicit EFailure(const TUtf8Message& message);
  // A message whose code-page form the caller chose (a stand-in where a character has no place).
  EFailure(const std::string& codePageMessage, const TUtf8Message& message);

  // The whole message in UTF-8.
  std::string Utf8() const;

 private:
  std::shared_ptr<const std::string> utf8_;  // null: what() is whole; shared, so copies never throw
};

// The whole message of a failure in UTF-8: an EFailure's own, else what() read in the code page.
std::string MessageUtf8(const std::exception& failure);

}  // namespace vornetta::platform
