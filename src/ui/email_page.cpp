#include "ui/email_page.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QToolButton>
#include <iterator>

#include "ui/mail_login_controls.h"
#include "ui/page_widgets.h"

namespace vornetta::ui {

TEmailPage::TEmailPage(QWidget* dialogParent) {
  page = new QWidget;
  page->setObjectName(QStringLiteral("TabSheet5"));

  empfaenger = NewEdit("empfaenger", page);
  cc = NewEdit("cc", page);
  bcc = NewEdit("bcc", page);
  betreff = NewEdit("betreff", page);
  smtpserver = NewEdit("smtpserver", page);
  smtpuser = NewEdit("smtpuser", page);
  smtppass = NewEdit("smtppass", page);
  absender = NewEdit("absender", page);
  kopfzeile = NewMemo("kopfzeile", page);
  fusszeile = NewMemo("fusszeile", page);
  css = NewMemo("css", page);
  fusszeile->setFixedHeight(57);
  kopfzeile->setFixedHeight(57);

  verschluesselung = new QComboBox(page);
  verschluesselung->setObjectName(QStringLiteral("verschluesselung"));
  verschluesselung->addItem(QStringLiteral("Automatisch"), QStringLiteral("auto"));
  verschluesselung->addItem(QStringLiteral("STARTTLS"), QStringLiteral("starttls"));
  verschluesselung->addItem(QStringLiteral("SSL/TLS"), QStringLiteral("ssl"));
  verschluesselung->addItem(QStringLiteral("keine"), QStringLiteral("aus"));
  zertifikate = NewEdit("zertifikate", page);
  zertifikateWaehlen = new QToolButton(page);
  zertifikateWaehlen->setObjectName(QStringLiteral("zertifikateWaehlen"));
  zertifikateWaehlen->setText(QStringLiteral("..."));
  zertifikateWaehlen->setToolTip(QStringLiteral("Zertifikatsdatei wählen"));
  auto* certificateLine = new QHBoxLayout;
  certificateLine->setSpacing(4);
  certificateLine->addWidget(zertifikate, 1);
  certificateLine->addWidget(zertifikateWaehlen);
  QLineEdit* const certificates = zertifikate;
  QObject::connect(zertifikateWaehlen, &QToolButton::clicked, dialogParent, [dialogParent, certificates] {
    // Window-modal and not waited for, so the event loop (and a test) goes on.
    auto* chooser =
        new QFileDialog(dialogParent, QStringLiteral("Zertifikate"), QFileInfo(certificates->text()).path(),
                        QStringLiteral("PEM-Zertifikate (*.pem *.crt);;Alle Dateien (*)"));
    chooser->setObjectName(QStringLiteral("zertifikateDialog"));
    chooser->setFileMode(QFileDialog::ExistingFile);
    chooser->setAttribute(Qt::WA_DeleteOnClose);
    QObject::connect(chooser, &QFileDialog::fileSelected, certificates, &QLineEdit::setText);
    chooser->open();
  });

  auto* grid = new QGridLayout(page);
  grid->setHorizontalSpacing(8);
  grid->setVerticalSpacing(6);
  QWidget* const leftColumn[] = {empfaenger, cc, bcc, betreff};
  const QString leftCaptions[] = {QStringLiteral("Empfänger"), QStringLiteral("CC"), QStringLiteral("BCC"),
                                  QStringLiteral("Betreff")};
  QWidget* const rightColumn[] = {smtpserver, smtpuser, smtppass, absender};
  const QString rightCaptions[] = {QStringLiteral("SMTP Server"), QStringLiteral("SMTP Benutzer"),
                                   QStringLiteral("SMTP Passwort"), QStringLiteral("Absender")};
  for (int row = 0; row < 4; ++row) {
    QWidget* left = leftColumn[row];
    QWidget* right = rightColumn[row];
    grid->addWidget(FieldLabel(leftCaptions[row], left, page), row, 0);
    grid->addWidget(left, row, 1);
    grid->addWidget(FieldLabel(rightCaptions[row], right, page), row, 2);
    grid->addWidget(right, row, 3);
  }
  grid->addWidget(FieldLabel(QStringLiteral("Verschlüsselung"), verschluesselung, page), 4, 0);
  grid->addWidget(verschluesselung, 4, 1);
  grid->addWidget(FieldLabel(QStringLiteral("Zertifikate"), zertifikate, page), 4, 2);
  grid->addLayout(certificateLine, 4, 3);
  grid->addWidget(FieldLabel(QStringLiteral("Kopfzeile"), kopfzeile, page), 5, 0, Qt::AlignRight | Qt::AlignTop);
  grid->addWidget(kopfzeile, 5, 1, 1, 3);
  grid->addWidget(FieldLabel(QStringLiteral("Fusszeile"), fusszeile, page), 6, 0, Qt::AlignRight | Qt::AlignTop);
  grid->addWidget(fusszeile, 6, 1, 1, 3);
  grid->addWidget(FieldLabel(QStringLiteral("Stylesheet"), css, page), 7, 0, Qt::AlignRight | Qt::AlignTop);
  grid->addWidget(css, 7, 1, 1, 3);
  // The results of the select statements as CSV files along with the report.
  cbAnhang = new QCheckBox(QStringLiteral("Ergebnisse als CSV anhängen"), page);
  cbAnhang->setObjectName(QStringLiteral("cbAnhang"));
  grid->addWidget(cbAnhang, 8, 1, 1, 3);
  const TMailLoginControls login = NewMailLoginControls(page, smtppass);
  smtptokenbefehl = login.smtptokenbefehl;
  verbindungTesten = login.verbindungTesten;
  grid->addWidget(verbindungTesten, 9, 1, 1, 1, Qt::AlignLeft);
  grid->addWidget(FieldLabel(QStringLiteral("Token-Befehl"), smtptokenbefehl, page), 9, 2);
  grid->addWidget(smtptokenbefehl, 9, 3);
  grid->setColumnStretch(1, 1);
  grid->setColumnStretch(3, 1);
  grid->setRowStretch(7, 1);

  // Tab order as on screen: left column, right column, each top to bottom, then
  // the full-width memos.
  QWidget* const order[] = {empfaenger, cc,       bcc,         betreff,   verschluesselung,
                            smtpserver, smtpuser, smtppass,    absender,  zertifikate,
                            zertifikateWaehlen,   kopfzeile,   fusszeile, css,
                            cbAnhang,   verbindungTesten,     smtptokenbefehl};
  for (std::size_t i = 1; i < std::size(order); ++i) QWidget::setTabOrder(order[i - 1], order[i]);
}

}  // namespace vornetta::ui
