#include "ui/memo_log.h"

#include <QPlainTextEdit>

#include "platform/qt_text.h"

namespace vornetta::ui {

void TMemoLog::Clear() { memo_->clear(); }

void TMemoLog::AddLine(const std::string& line) { memo_->appendPlainText(platform::ToQString(line)); }


}  // namespace vornetta::ui
