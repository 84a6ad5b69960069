#include "ui/report_preview.h"

#include <QLocale>

namespace vornetta::ui {

namespace {

constexpr std::string_view kRowTag = "<tr";
constexpr std::string_view kDataRowTag = "<tr id=\"row";

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
