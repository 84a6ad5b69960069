#include "ui/window_frame.h"

#include <QFont>
#include <QLabel>
#include <QPixmap>

#include "ui/status_line.h"
#include "ui/texts.h"

namespace vornetta::ui {

QLabel* NewTitleLabel(QWidget* window) {
  auto* title = new QLabel(QString::fromLatin1(kAppTitle), window);
  title->setObjectName(QStringLiteral("lblTitel"));
  QFont titleFont;
  titleFont.setFamilies({QStringLiteral("Lucida Console"), QStringLiteral("DejaVu Sans Mono"),
                         QStringLiteral("Liberation Mono"), QStringLiteral("monospace")});
  titleFont.setStyleHint(QFont::Monospace);
  titleFont.setPixelSize(24);
  titleFont.setBold(true);
  title->setFont(titleFont);
  title->setFixedHeight(27 + 8);
  title->setStyleSheet(QStringLiteral("color: #707070; background: transparent;"));
  title->setAttribute(Qt::WA_TranslucentBackground);
  return title;
}

QLabel* NewLogo(QWidget* window) {
  auto* logo = new QLabel(window);
  logo->setObjectName(QStringLiteral("logo"));
  logo->setPixmap(QPixmap(QStringLiteral(":/vornetta/logo.jpg")));
  return logo;
}

QLabel* NewStatusLine(QWidget* window) { return new TStatusLine(window); }

}  // namespace vornetta::ui
