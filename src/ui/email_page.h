// The page "eMail" (TabSheet5): recipients, subject, server and sender, the
// transport settings, the three pieces of HTML decoration, the attachments and
// the limits of long tables,
// in four groups inside a scroll area, so that nothing is cut at the window's
// minimum size. Each field is named after its key in section "email".
#pragma once

#include "ui/attachment_controls.h"

class QComboBox;
class QFormLayout;
class QGroupBox;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QToolButton;
class QWidget;

namespace vornetta::ui {

struct TEmailPage {
  // Builds the page without a parent; the page control takes it. The file
  // chooser of "zertifikate" opens over dialogParent.
  explicit TEmailPage(QWidget* dialogParent);

  QWidget* page = nullptr;
  QLineEdit* empfaenger = nullptr;
  QLineEdit* cc = nullptr;
  QLineEdit* bcc = nullptr;
  QLineEdit* betreff = nullptr;
  QLineEdit* smtpserver = nullptr;
  QLineEdit* smtpuser = nullptr;
  QLineEdit* smtppass = nullptr;
  QLineEdit* absender = nullptr;
  QPlainTextEdit* kopfzeile = nullptr;
  QPlainTextEdit* fusszeile = nullptr;
  QPlainTextEdit* css = nullptr;
  QComboBox* verschluesselung = nullptr;  // each item carries the word stored in the file
  QLineEdit* zertifikate = nullptr;
  QToolButton* zertifikateWaehlen = nullptr;
  TAttachmentControls attachments;  // "anhang", "zeilenMax", "groesseMax"
  QLineEdit* sendenWenn = nullptr;
  QComboBox* zeitzone = nullptr;  // each item carries the zone's name, the first "" (the system's)

  // The groups' forms, top to bottom. A new field is one more row at the end of
  // its group (addRow with a FieldLabel); the tab order follows the rows.
  QFormLayout* recipientsForm = nullptr;  // "Empfänger und Betreff"
  QFormLayout* serverForm = nullptr;      // "Server und Anmeldung"
  QFormLayout* designForm = nullptr;      // "Gestaltung"
  QFormLayout* attachmentsForm = nullptr;  // "Anhänge und Grenzen"
  QLineEdit* smtptokenbefehl = nullptr;
  QPushButton* verbindungTesten = nullptr;
};

}  // namespace vornetta::ui
