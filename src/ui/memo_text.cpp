#include "ui/memo_text.h"

#include <QPlainTextEdit>

#include "platform/qt_text.h"

namespace vornetta::ui {

std::string MemoText(const QPlainTextEdit* memo, bool& utf8) {
  QString text = memo->toPlainText();
  text.replace(QLatin1Char('\n'), QStringLiteral("\r\n"));
  return platform::FromQString(text, utf8);
}

TMemoScript MemoScript(const QPlainTextEdit* memo) {
  bool utf8 = false;
  TMemoScript script;
  script.text = MemoText(memo, utf8);
  if (utf8) script.encoding = platform::TextEncoding::Utf8;
  return script;
}

void SetMemoText(QPlainTextEdit* memo, const std::string& text, bool utf8) {
  QString shown = platform::ToQString(text, utf8);
  shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  shown.replace(QLatin1Char('\r'), QLatin1Char('\n'));
  memo->setPlainText(shown);
}

}  // namespace vornetta::ui
