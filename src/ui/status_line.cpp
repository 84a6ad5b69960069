#include "ui/status_line.h"

#include <QPainter>
#include <QStyle>

namespace vornetta::ui {

TStatusLine::TStatusLine(QWidget* parent) : QLabel(parent) {
  setObjectName(QStringLiteral("lblStatus"));
  setTextFormat(Qt::PlainText);
  // A long statement must not widen the window.
  setMinimumWidth(1);
  setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
}

QString TStatusLine::ShownText() const {
  return fontMetrics().elidedText(text(), Qt::ElideMiddle, contentsRect().width());
}

void TStatusLine::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  style()->drawItemText(&painter, contentsRect(), QStyle::visualAlignment(layoutDirection(), alignment()), palette(),
                        isEnabled(), ShownText(), foregroundRole());
}

}  // namespace vornetta::ui
