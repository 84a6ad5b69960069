// The two realisations of the dialogs: Qt message boxes for the window, and
// stderr lines for the unattended run, which must never wait for a person.
#pragma once

#include <QPointer>
#include <QWidget>

#include <exception>
#include <string>

#include "commands/dialogs.h"

namespace vornetta::ui {

class TQtDialogs : public commands::TDialogs {
 public:
  // parent may be null; the dialogs are then top-level windows.
  explicit TQtDialogs(QWidget* parent = nullptr);

  void ShowMessage(const std::string& text) override;
  void ShowFailure(const std::string& caption, const std::string& text) override;
  Answer AskWarning(const std::string& caption, const std::string& text) override;
  bool InputQuery(const std::string& caption, const std::string& prompt, std::string& value,
                  int maxLength) override;

 private:
  // The warning with "&Ja", "&Nein" (the default) and "Abbrechen".
  Answer Warn(const QString& caption, const QString& text);

  QPointer<QWidget> parent_;
};

// Writes every message to stderr as "vornetta: <message>" and answers every
// question the cautious way: warnings with Cancel, inputs with cancel.
class TStderrDialogs : public commands::TDialogs {
 public:
  void ShowMessage(const std::string& text) override;
  Answer AskWarning(const std::string& caption, const std::string& text) override;
  bool InputQuery(const std::string& caption, const std::string& prompt, std::string& value,
                  int maxLength) override;
};


// The message of a failure: its what(), or a German text for a lack of memory
// and for a failure outside the standard hierarchy.
std::string FailureText(std::exception_ptr failure);

// Writes FailureText as platform::WriteStderrLine does. Never throws: for destructors
// and the program's last word; short of memory the text goes out unconverted.
void WriteStderrFailure(std::exception_ptr failure) noexcept;

}  // namespace vornetta::ui
