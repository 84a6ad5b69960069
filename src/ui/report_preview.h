// What the HTML view is given of a report. Qt's rich text lays out a table
// whole and in one go, which blocks the window (measured on the shared 2-core
// machine: 1 to 7 ms per row of 8 columns); the preview therefore shows only the
// beginning of a larger report, cut at a line boundary, and says so, so that
// loading it stays within about 100 ms. The mail always carries the whole report.
#pragma once

#include <QString>
#include <cstddef>
#include <string_view>

namespace vornetta::ui {

struct TPreviewLimits {
  std::size_t maxBytes = 32 * 1024;
  std::size_t maxRows = 50;  // table rows ("<tr" tags) of every kind
};

struct TPreview {
  std::string_view shown;  // a prefix of the document, whole lines
  // When the cut falls inside a table: that table's sum row (whole lines), shown
  // right after the prefix so the shortened table still ends in its sums.
  std::string_view sumRow;
  bool shortened = false;
  std::size_t dataRowsShown = 0;  // "<tr id=\"row" rows within shown
  std::size_t dataRowsTotal = 0;
};

TPreview CutPreview(std::string_view document, const TPreviewLimits& limits = {});

// The German note shown above a shortened preview.
QString PreviewNote(const TPreview& preview);

}  // namespace vornetta::ui
