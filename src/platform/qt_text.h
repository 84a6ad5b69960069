// Qt strings at the window's edge: system code page bytes in, Unicode out, and back.
#pragma once

#include <QString>
#include <string>
#include <string_view>

namespace vornetta::platform {

QString ToQString(std::string_view text);
// From UTF-8 when `utf8` (a text the code page could not hold), else as above.
QString ToQString(std::string_view text, bool utf8);
std::string FromQString(const QString& text);
// Lossless: in the code page when every character fits there, else UTF-8 with `utf8` set.
std::string FromQString(const QString& text, bool& utf8);

}  // namespace vornetta::platform
