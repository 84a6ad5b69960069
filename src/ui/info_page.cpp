#include "ui/info_page.h"

#include <QFont>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QVBoxLayout>

#include "ui/info_text.h"
#include "ui/page_widgets.h"
#include "ui/texts.h"

namespace vornetta::ui {

TInfoPage::TInfoPage() {
  page = new QWidget;
  page->setObjectName(QStringLiteral("TabSheet1"));

  MemoInfo = NewMemo("MemoInfo", page);
  MemoInfo->setReadOnly(true);
  MemoInfo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  MemoInfo->setPlainText(DesignedInfoText());

  lblAppname = new QLabel(QString::fromLatin1(kAppTitle), page);
  lblAppname->setObjectName(QStringLiteral("lblAppname"));
  QFont bold = lblAppname->font();
  bold.setBold(true);
  bold.setPointSizeF(bold.pointSizeF() * 1.3);
  lblAppname->setFont(bold);
  lblAppname->setAlignment(Qt::AlignRight);

  lblAppVersion = new QLabel(QStringLiteral("Version 2."), page);
  lblAppVersion->setObjectName(QStringLiteral("lblAppVersion"));
  lblAppVersion->setAlignment(Qt::AlignRight);

  auto* side = new QVBoxLayout;
  side->addWidget(lblAppname);
  side->addWidget(lblAppVersion);
  side->addStretch(1);

  auto* layout = new QHBoxLayout(page);
  layout->addWidget(MemoInfo, 1);
  layout->addSpacing(12);
  layout->addLayout(side);
}

void TInfoPage::ShowProgram(const QString& version) const {
  lblAppname->setText(QString::fromLatin1(kAppTitle));
  if (!version.isEmpty()) lblAppVersion->setText(QStringLiteral("Version ") + version);

  QString info = ReflowInfoText(MemoInfo->toPlainText());
  info.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  MemoInfo->setPlainText(info);
}

}  // namespace vornetta::ui
