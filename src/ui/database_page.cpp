#include "ui/database_page.h"

#include <QHBoxLayout>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "ui/page_widgets.h"

namespace vornetta::ui {

TDatabasePage::TDatabasePage() {
  page = new QWidget;
  page->setObjectName(QStringLiteral("TabSheet3"));

  Button3 = NewButton("Button3", QStringLiteral("Datenbankverbindung einstellen"), page);
  Button4 = NewButton("Button4", QStringLiteral("Datenbankverbindung testen"), page);
  for (QPushButton* button : {Button3, Button4}) {
    button->setMinimumWidth(181);
    button->setMinimumHeight(25);
  }
  Memodbtest = NewMemo("Memodbtest", page);
  Memodbtest->setReadOnly(true);
  Memodbtest->setTabChangesFocus(true);
  Memodbtest->setLineWrapMode(QPlainTextEdit::NoWrap);

  auto* buttons = new QVBoxLayout;
  buttons->addWidget(Button3);
  buttons->addWidget(Button4);
  buttons->addStretch(1);

  auto* layout = new QHBoxLayout(page);
  layout->addLayout(buttons);
  layout->addWidget(Memodbtest, 1);
}

}  // namespace vornetta::ui
