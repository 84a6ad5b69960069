#include "ui/send_page.h"

#include <QHBoxLayout>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>
#include <utility>

#include "ui/page_widgets.h"

namespace vornetta::ui {

TSendPage::TSendPage(TReportPane::TWiring reportWiring) {
  page = new QWidget;
  page->setObjectName(QStringLiteral("TabSheet2"));

  // Alt+E and Alt+V; the visible texts only gain the underline.
  SpeedButton1 = NewButton("SpeedButton1", QStringLiteral("&erstellen"), page);
  SpeedButton2 = NewButton("SpeedButton2", QStringLiteral("&versenden"), page);
  btnAbbrechen = NewButton("btnAbbrechen", QStringLiteral("&Abbrechen"), page);
  btnAbbrechen->setEnabled(false);
  for (QPushButton* button : {SpeedButton1, SpeedButton2, btnAbbrechen}) {
    button->setMinimumSize(100, 25);
  }

  reportPane = std::make_unique<TReportPane>(std::move(reportWiring), page);

  auto* buttons = new QVBoxLayout;
  buttons->addWidget(SpeedButton1);
  buttons->addWidget(SpeedButton2);
  buttons->addWidget(btnAbbrechen);
  buttons->addStretch(1);

  auto* layout = new QHBoxLayout(page);
  layout->addLayout(buttons);
  layout->addWidget(reportPane->Widget(), 1);
}

}  // namespace vornetta::ui
