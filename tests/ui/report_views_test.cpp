#include <gtest/gtest.h>

#include <string>

#include "report/report_text.h"
#include "ui/report_preview.h"
#include "ui/source_view.h"

using vornetta::report::TReportText;
using vornetta::ui::CutPreview;
using vornetta::ui::PreviewNote;
using vornetta::ui::TPreviewLimits;
using vornetta::ui::TSourceView;

namespace {

constexpr std::string_view kSumRow = "<tr class=\"sum\">\r\n<th><span>\r\n50\r\n</span></th>\r\n</tr>\r\n";

std::string Rows(int count) {
  std::string doc = "<html>\r\n<body>\r\n<table>\r\n<tr class=\"head\">\r\n</tr>\r\n";
  for (int i = 1; i <= count; ++i) {
    doc += "<tr id=\"row" + std::to_string(i) + "\" class=\"odd\">\r\n<td>x</td>\r\n</tr>\r\n";
  }
  return doc + std::string(kSumRow) + "</table>\r\n</body></html>\r\n";
}

}  // namespace

TEST(ReportPreview, SmallDocumentIsShownWhole) {
  const std::string doc = Rows(3);
  const auto preview = CutPreview(doc, TPreviewLimits{1 << 20, 100});
  EXPECT_FALSE(preview.shortened);
  EXPECT_EQ(preview.shown, doc);
  EXPECT_EQ(preview.dataRowsShown, 3u);
  EXPECT_EQ(preview.dataRowsTotal, 3u);
  EXPECT_TRUE(preview.sumRow.empty());  // shown already
}

TEST(ReportPreview, LargeDocumentIsCutAtALineStartByRowsOrBytes) {
  const std::string doc = Rows(50);
  // By rows: the head row counts, so 10 rows allowed leave 9 data rows.
  auto preview = CutPreview(doc, TPreviewLimits{1 << 20, 10});
  ASSERT_TRUE(preview.shortened);
  EXPECT_EQ(preview.dataRowsShown, 9u);
  EXPECT_EQ(preview.dataRowsTotal, 50u);
  EXPECT_EQ(doc.compare(0, preview.shown.size(), preview.shown), 0);
  EXPECT_TRUE(preview.shown.ends_with("</tr>\r\n"));
  EXPECT_EQ(preview.sumRow, kSumRow);  // the cut table still ends in its sums

  // By bytes: a cut inside a line goes back to that line's start.
  preview = CutPreview(doc, TPreviewLimits{200, 1000});
  ASSERT_TRUE(preview.shortened);
  EXPECT_LE(preview.shown.size(), 200u);
  EXPECT_TRUE(preview.shown.ends_with("\r\n"));
  EXPECT_EQ(doc.substr(preview.shown.size(), 1), "<");

  const QString note = PreviewNote(preview);
  EXPECT_TRUE(note.startsWith(QStringLiteral("Vorschau gekürzt: ")));
  EXPECT_TRUE(note.contains(QStringLiteral(" von 50 Datenzeilen")));
}

TEST(SourceView, SplitsTheReportIntoLinesAndCatchesUpWithAppendsAndClears) {
  TReportText text;
  TSourceView view;
  view.SetText(&text);
  EXPECT_EQ(view.LineCount(), 0u);

  text.Append("<html>");
  text.Append("a\r\nb\nc\rd");  // a piece holding its own line breaks shows as several lines
  view.CatchUp();
  ASSERT_EQ(view.LineCount(), 5u);
  EXPECT_EQ(view.Line(0), "<html>");
  EXPECT_EQ(view.Line(1), "a");
  EXPECT_EQ(view.Line(2), "b");
  EXPECT_EQ(view.Line(3), "c");
  EXPECT_EQ(view.Line(4), "d");

  text.Append("");
  text.Append("</html>");
  view.CatchUp();
  ASSERT_EQ(view.LineCount(), 7u);
  EXPECT_EQ(view.Line(5), "");
  EXPECT_EQ(view.Line(6), "</html>");
  EXPECT_EQ(view.Line(7), "");  // past the end

  text.Clear();
  text.Append("neu");
  view.SetText(&text);
  ASSERT_EQ(view.LineCount(), 1u);
  EXPECT_EQ(view.Line(0), "neu");

  text.Clear();
  view.CatchUp();
  EXPECT_EQ(view.LineCount(), 0u);
}
