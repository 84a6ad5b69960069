#include "platform/qt_text.h"

#include "platform/code_page.h"

namespace vornetta::platform {

QString ToQString(std::string_view text) {
  std::u16string wide = ToUtf16(text);
  return QString(reinterpret_cast<const QChar*>(wide.data()), static_cast<qsizetype>(wide.size()));
}

std::string FromQString(const QString& text) {
  return FromUtf16(std::u16string_view(reinterpret_cast<const char16_t*>(text.utf16()),
                                       static_cast<size_t>(text.size())));
}

std::string FromQString(const QString& text, bool& utf8) {
  const std::u16string_view wide(reinterpret_cast<const char16_t*>(text.utf16()), static_cast<size_t>(text.size()));
  std::string fitting;
  utf8 = !FromUtf16Exact(wide, fitting);
  return utf8 ? Utf16ToUtf8(wide) : fitting;
}

QString ToQString(std::string_view text, bool utf8) {
  return utf8 ? QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())) : ToQString(text);
}

}  // namespace vornetta::platform
