#include "ui/source_view.h"

#include <QApplication>
#include <QClipboard>
#include <QFontDatabase>
#include <QKeyEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QScrollBar>
#include <algorithm>
#include <climits>

#include "platform/qt_text.h"
#include "report/report_text.h"

namespace vornetta::ui {

TSourceView::TSourceView(QWidget* parent) : QAbstractScrollArea(parent) {
  setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  setFocusPolicy(Qt::StrongFocus);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  viewport()->setAutoFillBackground(true);
  viewport()->setBackgroundRole(QPalette::Base);
  UpdateScrollBars();
}

void TSourceView::SetText(const report::TReportText* text) {
  text_ = text;
  Reset();
  CatchUp();
}

std::string_view TSourceView::Document() const {
  return text_ ? text_->DocumentText() : std::string_view();
}

void TSourceView::Reset() {
  lineStarts_.clear();
  lineStarts_.shrink_to_fit();
  scanned_ = 0;
  pieces_ = 0;
  longestLine_ = 0;
  pendingCr_ = false;
}

void TSourceView::CatchUp() {
  const std::string_view doc = Document();
  const std::size_t pieces = text_ ? text_->PieceCount() : 0;
  const std::uint64_t revision = text_ ? text_->Revision() : 0;
  // The text was cleared (and perhaps refilled), or text already seen moved.
  if (doc.size() < scanned_ || pieces < pieces_ || revision != revision_) Reset();
  pieces_ = pieces;
  revision_ = revision;
  if (doc.size() == scanned_) {
    if (doc.empty()) {
      UpdateScrollBars();
      viewport()->update();
    }
    return;
  }

  // A line starts at the first byte after a line break; CR LF is one break.
  bool atLineStart = lineStarts_.empty() ||
                     (scanned_ > 0 && (doc[scanned_ - 1] == '\r' || doc[scanned_ - 1] == '\n'));
  for (std::size_t p = scanned_; p < doc.size(); ++p) {
    const char c = doc[p];
    if (c == '\n' && pendingCr_) {
      pendingCr_ = false;
      continue;
    }
    pendingCr_ = false;
    if (atLineStart) {
      if (!lineStarts_.empty()) longestLine_ = std::max(longestLine_, p - lineStarts_.back());
      lineStarts_.push_back(p);
      atLineStart = false;
    }
    if (c == '\r') {
      atLineStart = true;
      pendingCr_ = true;
    } else if (c == '\n') {
      atLineStart = true;
    }
  }
  if (!lineStarts_.empty()) longestLine_ = std::max(longestLine_, doc.size() - lineStarts_.back());
  scanned_ = doc.size();
  UpdateScrollBars();
  viewport()->update();
}

std::string_view TSourceView::Line(std::size_t index) const {
  const std::string_view doc = Document();
  if (index >= lineStarts_.size() || lineStarts_[index] > doc.size()) return {};
  const std::size_t begin = lineStarts_[index];
  std::size_t end = index + 1 < lineStarts_.size() ? lineStarts_[index + 1] : std::min(doc.size(), scanned_);
  if (end > begin && doc[end - 1] == '\n') --end;
  if (end > begin && doc[end - 1] == '\r') --end;
  return doc.substr(begin, end - begin);
}

void TSourceView::UpdateScrollBars() {
  const QFontMetrics metrics(font());
  const int lineHeight = std::max(1, metrics.lineSpacing());
  const int charWidth = std::max(1, metrics.horizontalAdvance(QLatin1Char('x')));
  const int visibleLines = std::max(1, viewport()->height() / lineHeight);
  const auto lines = static_cast<long long>(lineStarts_.size());
  verticalScrollBar()->setRange(0, static_cast<int>(std::clamp<long long>(lines - visibleLines, 0, INT_MAX)));
  verticalScrollBar()->setPageStep(visibleLines);
  verticalScrollBar()->setSingleStep(1);
  const long long width = static_cast<long long>(longestLine_) * charWidth + 2 * charWidth;
  horizontalScrollBar()->setRange(
      0, static_cast<int>(std::clamp<long long>(width - viewport()->width(), 0, INT_MAX)));
  horizontalScrollBar()->setPageStep(viewport()->width());
  horizontalScrollBar()->setSingleStep(charWidth * 4);
}

void TSourceView::paintEvent(QPaintEvent*) {
  QPainter painter(viewport());
  painter.setFont(font());
  painter.setPen(palette().color(QPalette::Text));
  const QFontMetrics metrics(font());
  const int lineHeight = std::max(1, metrics.lineSpacing());
  const int charWidth = std::max(1, metrics.horizontalAdvance(QLatin1Char('x')));
  const int xOffset = horizontalScrollBar()->value();

  // Only the columns in sight are converted: a single line can be megabytes long.
  const std::size_t firstColumn = static_cast<std::size_t>(xOffset / charWidth);
  const std::size_t columns = static_cast<std::size_t>(viewport()->width() / charWidth + 2);
  const int x = static_cast<int>(firstColumn) * charWidth - xOffset + charWidth / 2;

  const std::size_t first = static_cast<std::size_t>(verticalScrollBar()->value());
  int y = metrics.ascent();
  for (std::size_t i = first; i < lineStarts_.size() && y - metrics.ascent() < viewport()->height(); ++i) {
    const std::string_view line = Line(i);
    if (firstColumn < line.size()) {
      QString shown = platform::ToQString(text_ ? text_->ShownText(line.substr(firstColumn, columns)) : std::string());
      shown.replace(QLatin1Char('\t'), QLatin1Char(' '));  // one column per byte keeps the columns aligned
      painter.drawText(x, y, shown);
    }
    y += lineHeight;
  }
}

void TSourceView::resizeEvent(QResizeEvent* event) {
  QAbstractScrollArea::resizeEvent(event);
  UpdateScrollBars();
}

void TSourceView::changeEvent(QEvent* event) {
  QAbstractScrollArea::changeEvent(event);
  if (event->type() == QEvent::FontChange) UpdateScrollBars();
}

void TSourceView::keyPressEvent(QKeyEvent* event) {
  if (event->matches(QKeySequence::Copy) || event->matches(QKeySequence::SelectAll)) {
    // The view has no selection: copying takes the whole source.
    QApplication::clipboard()->setText(platform::ToQString(text_ ? text_->ShownText(Document()) : std::string()));
    return;
  }
  if (event->matches(QKeySequence::MoveToStartOfDocument)) {
    verticalScrollBar()->setValue(0);
    return;
  }
  if (event->matches(QKeySequence::MoveToEndOfDocument)) {
    verticalScrollBar()->setValue(verticalScrollBar()->maximum());
    return;
  }
  QAbstractScrollArea::keyPressEvent(event);
}

}  // namespace vornetta::ui
