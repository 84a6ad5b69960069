#include "platform/failure.h"

#include "platform/code_page.h"

namespace vornetta::platform {

EFailure::EFailure(const std::string& codePageMessage) : std::runtime_error(codePageMessage) {}

EFailure::EFailure(const char* codePageMessage) : std::runtime_error(codePageMessage) {}

EFailure::EFailure(const TUtf8Message& message) : EFailure(FromUtf8(message.text), message) {}

EFailure::EFailure(const std::string& codePageMessage, const TUtf8Message& message)
    : std::runtime_error(codePageMessage) {
  // Only a message the code-page form does not hold whole keeps its UTF-8 form.
  if (ToUtf8(codePageMessage) != message.text) utf8_ = std::make_shared<const std::string>(message.text);
}

std::string EFailure::Utf8() const { return utf8_ ? *utf8_ : ToUtf8(what()); }

std::string MessageUtf8(const std::exception& failure) {
  if (const auto* own = dynamic_cast<const EFailure*>(&failure)) return own->Utf8();
  return ToUtf8(failure.what());
}

}  // namespace vornetta::platform
