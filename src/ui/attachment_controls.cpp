#include "ui/attachment_controls.h"

#include <QComboBox>
#include <QFormLayout>
#include <QLabel>
#include <QSpinBox>
#include <utility>

#include "ui/page_widgets.h"

namespace vornetta::ui {
namespace {

QSpinBox* LimitBox(QWidget* page, const char* key, const QString& suffix) {
  auto* box = new QSpinBox(page);
  box->setObjectName(QString::fromLatin1(key));
  box->setRange(0, 999999);
  box->setSpecialValueText(QStringLiteral("unbegrenzt"));
  box->setSuffix(suffix);
  box->setGroupSeparatorShown(true);
  return box;
}

}  // namespace

TAttachmentControls BuildAttachmentControls(QFormLayout* form) {
  QWidget* page = form->parentWidget();
  TAttachmentControls controls;
  controls.anhang = new QComboBox(page);
  controls.anhang->setObjectName(QStringLiteral("anhang"));
  controls.anhang->addItem(QStringLiteral("keiner"), QString());
  controls.anhang->addItem(QStringLiteral("CSV"), QStringLiteral("csv"));
  controls.anhang->addItem(QStringLiteral("Excel (XLSX)"), QStringLiteral("xlsx"));
  controls.zeilenMax = LimitBox(page, "zeilenMax", QString());
  controls.groesseMax = LimitBox(page, "groesseMax", QStringLiteral(" KB"));
  // A longer table shows its first rows and a note; the full result is attached.
  controls.zeilenMax->setToolTip(QStringLiteral("Längere Tabellen zeigen ihre ersten Zeilen und einen Hinweis; "
                                                "das vollständige Ergebnis kommt als Anhang."));
  controls.groesseMax->setToolTip(QStringLiteral("Größe des Berichts in der Mail; 100 KB zeigt Gmail ungekürzt."));

  const std::pair<QString, QWidget*> rows[] = {{QStringLiteral("Anhang"), controls.anhang},
                                               {QStringLiteral("Zeilen je Tabelle höchstens"), controls.zeilenMax},
                                               {QStringLiteral("Bericht höchstens"), controls.groesseMax}};
  for (const auto& [caption, field] : rows) {
    QLabel* label = FieldLabel(caption, field, page);
    label->setWordWrap(true);  // the long captions take two lines in a narrow window
    form->addRow(label, field);
  }
  return controls;
}

}  // namespace vornetta::ui
