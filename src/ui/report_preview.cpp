#include "ui/report_preview.h"

#include <QLocale>

namespace vornetta::ui {

namespace {

constexpr std::string_view kRowTag = "<tr";
constexpr std::string_view kDataRowTag = "<tr id=\"row";
constexpr std::string_view kSumRowTag = "<tr class=\"sum\">";

// The sum row of the table the cut at `cut` falls in, or nothing when the cut
// lies between tables.
std::string_view SumRowAfter(std::string_view document, std::size_t cut) {
  const std::string_view before = document.substr(0, cut);
  const std::size_t opened = before.rfind("<table");
  const std::size_t closed = before.rfind("</table>");
  if (opened == std::string_view::npos || (closed != std::string_view::npos && closed > opened)) return {};
  const std::size_t start = document.find(kSumRowTag, cut);
  const std::size_t tableEnd = document.find("</table>", cut);
  if (start == std::string_view::npos || (tableEnd != std::string_view::npos && tableEnd < start)) return {};
  const std::size_t rowEnd = document.find("</tr>", start);
  if (rowEnd == std::string_view::npos) return {};
  const std::size_t lineEnd = document.find('\n', rowEnd);
  return document.substr(start, (lineEnd == std::string_view::npos ? document.size() : lineEnd + 1) - start);
}

std::size_t CountOf(std::string_view text, std::string_view what) {
  std::size_t count = 0;
  for (std::size_t p = text.find(what); p != std::string_view::npos; p = text.find(what, p + what.size())) {
    ++count;
  }
  return count;
}

}  // namespace

TPreview CutPreview(std::string_view document, const TPreviewLimits& limits) {
  TPreview preview;
  std::size_t cut = std::min(document.size(), limits.maxBytes);

  std::size_t rows = 0;
  for (std::size_t p = document.find(kRowTag); p != std::string_view::npos && p < cut;
       p = document.find(kRowTag, p + kRowTag.size())) {
    if (++rows > limits.maxRows) {
      cut = p;
      break;
    }
  }

  if (cut < document.size()) {
    // Back to the start of the line the cut falls in, so no tag is split.
    const std::size_t lineEnd = document.find_last_of("\r\n", cut == 0 ? 0 : cut - 1);
    cut = (lineEnd == std::string_view::npos || cut == 0) ? 0 : lineEnd + 1;
    preview.shortened = true;
  }
  preview.shown = document.substr(0, cut);
  if (preview.shortened) preview.sumRow = SumRowAfter(document, cut);
  preview.dataRowsShown = CountOf(preview.shown, kDataRowTag);
  preview.dataRowsTotal = preview.shortened
                              ? preview.dataRowsShown + CountOf(document.substr(cut), kDataRowTag)
                              : preview.dataRowsShown;
  return preview;
}

QString PreviewNote(const TPreview& preview) {
  const QLocale german(QLocale::German, QLocale::Germany);
  return QStringLiteral(
             "Vorschau gekürzt: gezeigt werden die ersten %1 von %2 Datenzeilen. "
             "Der vollständige Bericht steht auf der Seite \"Source\" und wird vollständig versendet.")
      .arg(german.toString(static_cast<qulonglong>(preview.dataRowsShown)),
           german.toString(static_cast<qulonglong>(preview.dataRowsTotal)));
}

}  // namespace vornetta::ui
