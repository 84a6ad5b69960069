#include "ui/memo_text.h"

#include <QPlainTextEdit>

#include "platform/qt_text.h"

namespace vornetta::ui {

std::string MemoText(const QPlainTextEdit* memo) {
  QString text = memo->toPlainText();
  text.replace(QLatin1Char('\n'), QStringLiteral("\r\n"));
  return platform::FromQString(text);
}

void SetMemoText(QPlainTextEdit* memo, const std::string& text) {
  QString shown = platform::ToQString(text);
  shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  shown.replace(QLatin1Char('\r'), QLatin1Char('\n'));
  memo->setPlainText(shown);
}

}  // namespace vornetta::ui
