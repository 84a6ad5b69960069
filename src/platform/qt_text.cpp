#include "platform/qt_text.h"

namespace vornetta::platform {

QString ToQString(std::string_view text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }

std::string FromQString(const QString& text) { return text.toStdString(); }

}  // namespace vornetta::platform
