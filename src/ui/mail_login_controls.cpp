#include "ui/mail_login_controls.h"

#include <QLineEdit>
#include <QPushButton>

#include "ui/page_widgets.h"

namespace vornetta::ui {

TMailLoginControls NewMailLoginControls(QWidget* parent, QLineEdit* smtppass) {
  TMailLoginControls controls;
  controls.smtptokenbefehl = NewEdit("smtptokenbefehl", parent);
  controls.smtptokenbefehl->setToolTip(
      QStringLiteral("Befehl, dessen erste Ausgabezeile ein OAuth2-Zugriffstoken ist (Microsoft 365, Gmail). "
                     "Angemeldet wird mit XOAUTH2, sonst OAUTHBEARER, immer verschlüsselt; das Passwort wird "
                     "dann nicht verwendet."));
  controls.verbindungTesten = new QPushButton(QStringLiteral("Verbindung testen"), parent);
  controls.verbindungTesten->setObjectName(QStringLiteral("verbindungTesten"));
  controls.verbindungTesten->setToolTip(
      QStringLiteral("Verbinden, verschlüsseln, anmelden und mit QUIT beenden; es wird nichts gesendet."));

  const QString passwordTip = smtppass->toolTip();
  const auto showPasswordUse = [smtppass, passwordTip](const QString& tokenCommand) {
    const bool token = !tokenCommand.trimmed().isEmpty();
    smtppass->setEnabled(!token);
    smtppass->setToolTip(token ? QStringLiteral("Wird nicht verwendet: der Token-Befehl ist gesetzt "
                                                "(Anmeldung mit OAuth2).")
                               : passwordTip);
  };
  QObject::connect(controls.smtptokenbefehl, &QLineEdit::textChanged, smtppass, showPasswordUse);
  return controls;
}

}  // namespace vornetta::ui
