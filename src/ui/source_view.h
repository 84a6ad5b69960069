// The report source view "htmlsource": a read-only view of the report text that
// paints only the lines in sight. It keeps one offset per line into the text's
// buffer, so a report of tens of megabytes costs a few megabytes more and the
// window never lays out the whole document.
#pragma once

#include <QAbstractScrollArea>
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace vornetta::report {
class TReportText;
}

namespace vornetta::ui {

class TSourceView : public QAbstractScrollArea {
  Q_OBJECT

 public:
  explicit TSourceView(QWidget* parent = nullptr);

  // The text shown; null shows nothing. The view never changes it.
  void SetText(const report::TReportText* text);

  // Takes in what was appended to the text since the last call (or everything,
  // after the text was cleared) and repaints. Cheap when nothing is new.
  void CatchUp();

  // Lines as shown: the document text split at CR LF, lone CR or lone LF.
  std::size_t LineCount() const { return lineStarts_.size(); }
  std::string_view Line(std::size_t index) const;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  std::string_view Document() const;
  void Reset();
  void UpdateScrollBars();

  const report::TReportText* text_ = nullptr;
  std::vector<std::size_t> lineStarts_;  // offset of each line's first byte
  std::size_t scanned_ = 0;              // bytes of the document already split into lines
  std::size_t pieces_ = 0;               // pieces of the text at the last catch-up
  std::uint64_t revision_ = 0;           // the text's revision at the last catch-up
  std::size_t longestLine_ = 0;          // in bytes, for the horizontal range
  bool pendingCr_ = false;               // the scanned part ended in CR: an LF next belongs to it
};

}  // namespace vornetta::ui
