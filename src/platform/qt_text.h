// Qt strings at the window's edge: system code page bytes in, Unicode out, and back.
#pragma once

#include <QString>
#include <string>
#include <string_view>

namespace vornetta::platform {

QString ToQString(std::string_view text);
std::string FromQString(const QString& text);

}  // namespace vornetta::platform
