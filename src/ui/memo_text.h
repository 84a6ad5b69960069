// Memo texts between the window and the file: Qt separates lines with LF, the
// file and the commands with CR LF.
#pragma once

#include <string>

#include "platform/code_page.h"

class QPlainTextEdit;

namespace vornetta::ui {

// The memo's text with CR LF line ends, in the system code page; a text the
// code page cannot hold is given as UTF-8 with `utf8` set.
std::string MemoText(const QPlainTextEdit* memo, bool& utf8);

// A memo's text as a script for the commands: CR LF line ends, in the system
// code page, or UTF-8 when the code page cannot hold it.
struct TMemoScript {
  std::string text;
  platform::TextEncoding encoding = platform::TextEncoding::CodePage;
};
TMemoScript MemoScript(const QPlainTextEdit* memo);

// Shows text (system code page, or UTF-8 when `utf8`), whatever its line ends.
void SetMemoText(QPlainTextEdit* memo, const std::string& text, bool utf8 = false);

}  // namespace vornetta::ui
