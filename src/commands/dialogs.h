// The window's dialogs as commands see them: a message box, the warning with
// Ja/Nein/Abbrechen and the one-line input. The window shows them with Qt; tests
// answer them; an unattended run writes messages to stderr and never waits.
// All texts are UTF-8.
#pragma once

#include <exception>
#include <string>

namespace vornetta::commands {

class TDialogs {
 public:
  enum class Answer { Yes, No, Cancel };

  virtual ~TDialogs() = default;

  // A message box with the text and an OK button.
  virtual void ShowMessage(const std::string& text) = 0;

  // The same for a failed command, under a caption that names it.
  virtual void ShowFailure(const std::string& /*caption*/, const std::string& text) { ShowMessage(text); }

  // The same with the message of a failure.
  void ShowMessageOf(const std::exception& failure) { ShowMessage(failure.what()); }
  void ShowFailureOf(const std::string& caption, const std::exception& failure) {
    ShowFailure(caption, failure.what());
  }

  // A warning with the buttons "&Ja", "&Nein", "Abbrechen"; closing it is Cancel.
  virtual Answer AskWarning(const std::string& caption, const std::string& text) = 0;

  // A one-line input with caption and prompt, starting from `value` and limited
  // to `maxLength` characters (0: no limit). True and the new text in `value` on OK.
  virtual bool InputQuery(const std::string& caption, const std::string& prompt,
                          std::string& value, int maxLength) = 0;
};

}  // namespace vornetta::commands
