#include "ui/attachment_controls.h"

#include <QComboBox>
#include <QGridLayout>
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

TAttachmentControls BuildAttachmentControls(QWidget* page, QGridLayout* grid, int firstRow, int column) {
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
  // The combo under the left column of fields, the limits under the right one.
  const int cells[][2] = {{firstRow, column}, {firstRow, column + 2}, {firstRow + 1, column + 2}};
  for (int i = 0; i < 3; ++i) {
    QLabel* caption = FieldLabel(rows[i].first, rows[i].second, page);
    caption->setWordWrap(true);  // the long captions take two lines in a narrow window
    grid->addWidget(caption, cells[i][0], cells[i][1]);
    grid->addWidget(rows[i].second, cells[i][0], cells[i][1] + 1);
  }
  return controls;
}

}  // namespace vornetta::ui
