#include "ui/email_page.h"

#include <QComboBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QScrollArea>
#include <QSpinBox>
#include <QPushButton>
#include <QToolButton>
#include <QVBoxLayout>

#include "ui/mail_login_controls.h"
#include "ui/page_widgets.h"
#include "ui/send_rule_controls.h"

namespace vornetta::ui {
namespace {

// A titled group with an empty form; the caller fills the rows.
QFormLayout* NewGroup(const char* name, const QString& title, QVBoxLayout* column) {
  auto* group = new QGroupBox(title);
  group->setObjectName(QString::fromLatin1(name));
  auto* form = new QFormLayout(group);
  form->setLabelAlignment(Qt::AlignRight | Qt::AlignVCenter);
  // Fields take the whole width, so long addresses show as much as fits.
  form->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);
  form->setHorizontalSpacing(8);
  form->setVerticalSpacing(6);
  column->addWidget(group);
  return form;
}

void AddField(QFormLayout* form, const QString& caption, QWidget* field) {
  form->addRow(FieldLabel(caption, field, form->parentWidget()), field);
}

QFormLayout* BuildRecipientsGroup(TEmailPage& p, QVBoxLayout* column) {
  QFormLayout* form = NewGroup("grpEmpfaenger", QStringLiteral("Empfänger und Betreff"), column);
  QWidget* group = form->parentWidget();
  p.empfaenger = NewEdit("empfaenger", group);
  p.cc = NewEdit("cc", group);
  p.bcc = NewEdit("bcc", group);
  p.betreff = NewEdit("betreff", group);
  p.absender = NewEdit("absender", group);
  AddField(form, QStringLiteral("Empfänger"), p.empfaenger);
  AddField(form, QStringLiteral("CC"), p.cc);
  AddField(form, QStringLiteral("BCC"), p.bcc);
  AddField(form, QStringLiteral("Betreff"), p.betreff);
  AddField(form, QStringLiteral("Absender"), p.absender);
  return form;
}

// The chooser of the certificate file beside its line.
QWidget* CertificateLine(TEmailPage& p, QWidget* group, QWidget* dialogParent) {
  auto* line = new QWidget(group);
  p.zertifikate = NewEdit("zertifikate", line);
  p.zertifikateWaehlen = new QToolButton(line);
  p.zertifikateWaehlen->setObjectName(QStringLiteral("zertifikateWaehlen"));
  p.zertifikateWaehlen->setText(QStringLiteral("..."));
  p.zertifikateWaehlen->setToolTip(QStringLiteral("Zertifikatsdatei wählen"));
  auto* layout = new QHBoxLayout(line);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(4);
  layout->addWidget(p.zertifikate, 1);
  layout->addWidget(p.zertifikateWaehlen);
  QLineEdit* const certificates = p.zertifikate;
  QObject::connect(p.zertifikateWaehlen, &QToolButton::clicked, dialogParent, [dialogParent, certificates] {
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
  return line;
}

QFormLayout* BuildServerGroup(TEmailPage& p, QVBoxLayout* column, QWidget* dialogParent) {
  QFormLayout* form = NewGroup("grpServer", QStringLiteral("Server und Anmeldung"), column);
  QWidget* group = form->parentWidget();
  p.smtpserver = NewEdit("smtpserver", group);
  p.verschluesselung = new QComboBox(group);
  p.verschluesselung->setObjectName(QStringLiteral("verschluesselung"));
  p.verschluesselung->addItem(QStringLiteral("Automatisch"), QStringLiteral("auto"));
  p.verschluesselung->addItem(QStringLiteral("STARTTLS"), QStringLiteral("starttls"));
  p.verschluesselung->addItem(QStringLiteral("SSL/TLS"), QStringLiteral("ssl"));
  p.verschluesselung->addItem(QStringLiteral("keine"), QStringLiteral("aus"));
  QWidget* certificates = CertificateLine(p, group, dialogParent);
  p.smtpuser = NewEdit("smtpuser", group);
  p.smtppass = NewEdit("smtppass", group);
  AddField(form, QStringLiteral("SMTP Server"), p.smtpserver);
  AddField(form, QStringLiteral("Verschlüsselung"), p.verschluesselung);
  form->addRow(FieldLabel(QStringLiteral("Zertifikate"), p.zertifikate, group), certificates);
  AddField(form, QStringLiteral("SMTP Benutzer"), p.smtpuser);
  AddField(form, QStringLiteral("SMTP Passwort"), p.smtppass);
  const TMailLoginControls login = NewMailLoginControls(group, p.smtppass);
  p.smtptokenbefehl = login.smtptokenbefehl;
  p.verbindungTesten = login.verbindungTesten;
  AddField(form, QStringLiteral("Token-Befehl"), p.smtptokenbefehl);
  auto* testLine = new QHBoxLayout;
  testLine->addWidget(p.verbindungTesten);
  testLine->addStretch(1);
  form->addRow(QString(), testLine);
  return form;
}

QFormLayout* BuildDesignGroup(TEmailPage& p, QVBoxLayout* column) {
  QFormLayout* form = NewGroup("grpGestaltung", QStringLiteral("Gestaltung"), column);
  form->setLabelAlignment(Qt::AlignRight | Qt::AlignTop);
  QWidget* group = form->parentWidget();
  p.kopfzeile = NewMemo("kopfzeile", group);
  p.fusszeile = NewMemo("fusszeile", group);
  p.css = NewMemo("css", group);
  p.kopfzeile->setFixedHeight(57);
  p.fusszeile->setFixedHeight(57);
  p.css->setMinimumHeight(120);
  AddField(form, QStringLiteral("Kopfzeile"), p.kopfzeile);
  AddField(form, QStringLiteral("Fusszeile"), p.fusszeile);
  AddField(form, QStringLiteral("Stylesheet"), p.css);
  return form;
}

QFormLayout* BuildAttachmentsGroup(TEmailPage& p, QVBoxLayout* column) {
  QFormLayout* form = NewGroup("grpAnhaenge", QStringLiteral("Anhänge und Grenzen"), column);
  // The results of the select statements along with the report, and the limits of long tables.
  p.attachments = BuildAttachmentControls(form);
  const TSendRuleControls rules = NewSendRuleControls(form->parentWidget());
  p.sendenWenn = rules.sendenWenn;
  p.zeitzone = rules.zeitzone;
  form->addRow(rules.box);
  return form;
}

}  // namespace

TEmailPage::TEmailPage(QWidget* dialogParent) {
  page = new QWidget;
  page->setObjectName(QStringLiteral("TabSheet5"));

  auto* content = new QWidget;
  content->setObjectName(QStringLiteral("emailContent"));
  content->setAutoFillBackground(false);
  auto* column = new QVBoxLayout(content);
  column->setContentsMargins(4, 4, 4, 4);
  column->setSpacing(8);
  recipientsForm = BuildRecipientsGroup(*this, column);
  serverForm = BuildServerGroup(*this, column, dialogParent);
  designForm = BuildDesignGroup(*this, column);
  attachmentsForm = BuildAttachmentsGroup(*this, column);
  for (QWidget* templated : {static_cast<QWidget*>(betreff), static_cast<QWidget*>(kopfzeile),
                             static_cast<QWidget*>(fusszeile)})
    templated->setToolTip(PlaceholderHelp());
  column->addStretch(1);

  auto* scroll = new QScrollArea(page);
  scroll->setObjectName(QStringLiteral("emailScroll"));
  scroll->setWidgetResizable(true);
  scroll->setFrameShape(QFrame::NoFrame);
  scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  scroll->setWidget(content);
  auto* layout = new QVBoxLayout(page);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(scroll);

  // Tab order as on screen: the groups top to bottom, each row by row.
  QWidget* const order[] = {empfaenger, cc,       bcc,      betreff, absender,  smtpserver, verschluesselung,
                            zertifikate, zertifikateWaehlen, smtpuser, smtppass, smtptokenbefehl, verbindungTesten, kopfzeile, fusszeile, css,
                            attachments.anhang, attachments.zeilenMax, attachments.groesseMax, sendenWenn, zeitzone};
  for (std::size_t i = 1; i < std::size(order); ++i) QWidget::setTabOrder(order[i - 1], order[i]);
}

}  // namespace vornetta::ui
