#include "ui/sql_page.h"

#include <QFont>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "ui/page_widgets.h"
#include "ui/wrapping_check_box.h"

namespace vornetta::ui {

TSqlPage::TSqlPage() {
  page = new QWidget;
  page->setObjectName(QStringLiteral("TabSheet4"));

  Statement_testen = NewButton("Statement_testen", QStringLiteral("Statement testen"), page);
  Statement_testen->setMinimumHeight(25);
  statement = NewMemo("statement", page);
  statement->setTabChangesFocus(true);
  statement->setLineWrapMode(QPlainTextEdit::NoWrap);
  QFont fixed(QStringLiteral("monospace"));
  fixed.setStyleHint(QFont::Monospace);
  statement->setFont(fixed);

  auto newCheck = [this](const char* name, const QString& caption) {
    auto* box = new TWrappingCheckBox(caption, page);
    box->setObjectName(QString::fromLatin1(name));
    return box;
  };
  cbErgebnisLeer = newCheck("cbErgebnisLeer", QStringLiteral("eMail auch bei leerem Ergebnis verschicken"));
  cbErgebnisUpdate = newCheck("cbErgebnisUpdate", QStringLiteral("Update erzeugt ein Ergebnis"));
  cbErgebnisDelete = newCheck("cbErgebnisDelete", QStringLiteral("Delete erzeugt ein Ergebnis"));
  cbErgebnisInsert = newCheck("cbErgebnisInsert", QStringLiteral("Insert erzeugt ein Ergebnis"));

  auto* side = new QVBoxLayout;
  side->addWidget(Statement_testen);
  side->addStretch(1);
  for (QCheckBox* box : {cbErgebnisLeer, cbErgebnisUpdate, cbErgebnisDelete, cbErgebnisInsert}) {
    side->addWidget(box);
  }

  auto* memoColumn = new QVBoxLayout;
  memoColumn->addWidget(statement, 1);
  memoColumn->addLayout(BuildChartLine());
  auto* layout = new QHBoxLayout(page);
  layout->addLayout(side);
  layout->addLayout(memoColumn, 1);

  QWidget::setTabOrder(Statement_testen, statement);
  QWidget::setTabOrder(statement, cbErgebnisLeer);
  QWidget::setTabOrder(cbErgebnisLeer, cbErgebnisUpdate);
  QWidget::setTabOrder(cbErgebnisUpdate, cbErgebnisDelete);
  QWidget::setTabOrder(cbErgebnisDelete, cbErgebnisInsert);
  QWidget::setTabOrder(cbErgebnisInsert, btnDiagramme);
}

QLayout* TSqlPage::BuildChartLine() {
  lblDiagramme = new QLabel(QStringLiteral("Diagramme: keine"), page);
  lblDiagramme->setObjectName(QStringLiteral("lblDiagramme"));
  lblDiagramme->setTextInteractionFlags(Qt::TextSelectableByMouse);
  lblDiagramme->setWordWrap(true);
  btnDiagramme = NewButton("btnDiagramme", QStringLiteral("Diagramme..."), page);
  auto* line = new QHBoxLayout;
  line->addWidget(lblDiagramme, 1);
  line->addWidget(btnDiagramme);
  return line;
}

}  // namespace vornetta::ui
