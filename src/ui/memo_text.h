// Memo texts between the window and the file: Qt separates lines with LF, the
// file and the commands with CR LF.
#pragma once

#include <string>

class QPlainTextEdit;

namespace vornetta::ui {

// The memo's text with CR LF line ends.
std::string MemoText(const QPlainTextEdit* memo);

// Shows text, whatever its line ends.
void SetMemoText(QPlainTextEdit* memo, const std::string& text);

}  // namespace vornetta::ui
