#include "ui/qt_dialogs.h"

#include <QFontMetrics>
#include <QGridLayout>
#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <algorithm>
#include <cstdio>
#include <limits>
#include <new>

#include "platform/code_page.h"
#include "platform/failure.h"
#include "platform/qt_text.h"
#include "platform/safe_text.h"
#include "platform/stderr_line.h"
#include "ui/texts.h"

namespace vornetta::ui {

using platform::FromQString;
using platform::ToQString;

namespace {

// A message may quote a server or driver; its control characters are not shown.
QString MessageText(const std::string& text) { return ToQString(platform::ReplaceControlCharacters(text)); }

// Room beside a caption in the frame a window manager draws: icon and buttons.
constexpr int kTitleBarExtras = 160;

// The width a dialog needs so that the frame shows its whole caption (the
// frame's font is taken as the dialog's, bold).
int CaptionWidth(const QWidget& dialog) {
  QFont font = dialog.font();
  font.setBold(true);
  return QFontMetrics(font).horizontalAdvance(dialog.windowTitle()) + kTitleBarExtras;
}

// A message box sizes itself to its text; a row as wide as the caption keeps
// the caption whole above a short text.
void FitCaption(QMessageBox& box) {
  if (auto* grid = qobject_cast<QGridLayout*>(box.layout()))
    grid->addItem(new QSpacerItem(CaptionWidth(box), 0, QSizePolicy::Minimum, QSizePolicy::Fixed), grid->rowCount(),
                  0, 1, grid->columnCount());
}

}  // namespace

TQtDialogs::TQtDialogs(QWidget* parent) : parent_(parent) {}

void TQtDialogs::ShowMessage(const std::string& text) { ShowFailure(kAppTitle, text); }

void TQtDialogs::ShowFailure(const std::string& caption, const std::string& text) {
  QMessageBox box(QMessageBox::NoIcon, ToQString(caption), MessageText(text), QMessageBox::Ok, parent_);
  FitCaption(box);
  box.exec();
}

commands::TDialogs::Answer TQtDialogs::AskWarning(const std::string& caption, const std::string& text) {
  return Warn(ToQString(caption), MessageText(text));
}

commands::TDialogs::Answer TQtDialogs::Warn(const QString& caption, const QString& text) {
  QMessageBox box(QMessageBox::Warning, caption, text, QMessageBox::NoButton, parent_);
  QPushButton* yes = box.addButton(QStringLiteral("&Ja"), QMessageBox::YesRole);
  QPushButton* no = box.addButton(QStringLiteral("&Nein"), QMessageBox::NoRole);
  QPushButton* cancel = box.addButton(QStringLiteral("Abbrechen"), QMessageBox::RejectRole);
  // Enter must not run a statement that changes data.
  box.setDefaultButton(no);
  box.setEscapeButton(cancel);
  FitCaption(box);
  box.exec();
  QAbstractButton* clicked = box.clickedButton();
  if (clicked == yes) return Answer::Yes;
  if (clicked == no) return Answer::No;
  return Answer::Cancel;
}

bool TQtDialogs::InputQuery(const std::string& caption, const std::string& prompt,
                            std::string& value, int maxLength) {
  QInputDialog dialog(parent_);
  dialog.setInputMode(QInputDialog::TextInput);
  dialog.setWindowTitle(ToQString(caption));
  dialog.setLabelText(ToQString(prompt));
  dialog.setOkButtonText(QStringLiteral("OK"));
  dialog.setCancelButtonText(QStringLiteral("Abbrechen"));
  // The dialog's line edit exists once the input mode is set; the limit applies to typing.
  const QString initial = ToQString(value);
  if (auto* edit = dialog.findChild<QLineEdit*>()) {
    // Set before the text: Qt's own default limit would cut a longer one silently.
    edit->setMaxLength(maxLength > 0 ? std::max(maxLength, static_cast<int>(initial.size()))
                                     : std::numeric_limits<int>::max());
  }
  dialog.setTextValue(initial);
  dialog.setMinimumWidth(CaptionWidth(dialog));
  dialog.resize(std::max({dialog.sizeHint().width(), 480, CaptionWidth(dialog)}), dialog.sizeHint().height());
  if (dialog.exec() != QDialog::Accepted) return false;
  value = FromQString(dialog.textValue());
  return true;
}


namespace {

// What FailureText says, without allocating: a text of this program, or the failure's own.
const char* MessageOf(std::exception_ptr failure) noexcept {
  try {
    std::rethrow_exception(failure);
  } catch (const std::bad_alloc&) {
    return "Nicht genügend Arbeitsspeicher.";
  } catch (const std::exception& e) {
    return e.what();
  } catch (...) {
  }
  return "Unbekannter Fehler";
}

}  // namespace

std::string FailureText(std::exception_ptr failure) { return MessageOf(failure); }

void WriteStderrFailure(std::exception_ptr failure) noexcept {
  try {
    platform::WriteStderrLine(FailureText(failure));
  } catch (...) {
    std::fprintf(stderr, "vornetta: %s\n", MessageOf(failure));
  }
}

void TStderrDialogs::ShowMessage(const std::string& text) { platform::WriteStderrLine(text); }

commands::TDialogs::Answer TStderrDialogs::AskWarning(const std::string& caption, const std::string& text) {
  platform::WriteStderrLine(caption + ": " + text + " (abgebrochen)");
  return Answer::Cancel;
}

bool TStderrDialogs::InputQuery(const std::string&, const std::string&, std::string&, int) {
  return false;
}

}  // namespace vornetta::ui
