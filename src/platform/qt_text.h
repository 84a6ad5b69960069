// Qt strings at the window's edge: the program's UTF-8 texts in, Unicode out, and back.
#pragma once

#include <QString>
#include <string>
#include <string_view>

namespace vornetta::platform {

QString ToQString(std::string_view text);
std::string FromQString(const QString& text);

}  // namespace vornetta::platform
