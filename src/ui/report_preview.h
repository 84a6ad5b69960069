// What the HTML view is given of a report. Qt's rich text lays out a document
// whole, which for a report of many thousand rows takes minutes and gigabytes;
// the preview therefore shows only the beginning of a large report, cut at a
// line boundary, and says so. The mail always carries the whole report.
#pragma once

#include <QString>
#include <cstddef>
#include <string_view>

namespace vornetta::ui {

struct TPreviewLimits {
  std::size_t maxBytes = 512 * 1024;
  std::size_t maxRows = 2000;  // table rows ("<tr" tags) of every kind
};

struct TPreview {
  std::string_view shown;  // a prefix of the document, whole lines
  bool shortened = false;
  std::size_t dataRowsShown = 0;  // "<tr id=\"row" rows within shown
  std::size_t dataRowsTotal = 0;
};

TPreview CutPreview(std::string_view document, const TPreviewLimits& limits = {});

// The German note shown above a shortened preview.
QString PreviewNote(const TPreview& preview);

}  // namespace vornetta::ui
