#include "report/report_text.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>
#include <vector>

using namespace vornetta::report;

TEST(ReportText, DocumentIsEveryPieceFollowedByCrLf) {
  TReportText text;
  EXPECT_EQ(text.DocumentText(), "");
  EXPECT_EQ(text.PieceCount(), 0u);
  text.Append("<html>");
  text.Append("");
  text.Append({"<style>", "a\r\nb", "</style>"});
  text.Append({});
  EXPECT_EQ(text.DocumentText(), "<html>\r\n\r\n<style>a\r\nb</style>\r\n\r\n");
  ASSERT_EQ(text.PieceCount(), 4u);
  EXPECT_EQ(text.Piece(0), "<html>");
  EXPECT_EQ(text.Piece(1), "");
  EXPECT_EQ(text.Piece(2), "<style>a\r\nb</style>");  // a multi-line piece stays one piece
  EXPECT_EQ(text.Piece(3), "");
}

// Piece sizes are kept in one byte, longer ones in a side list, and the offset
// of every 256th piece: pieces of every size class (empty, 254, 255, 256, far
// longer, with line breaks inside) must come back exactly across several
// checkpoints, also after the switch to UTF-8 and after Clear.
TEST(ReportText, PiecesOfEverySizeSurviveAcrossCheckpoints) {
  TReportText text;
  std::vector<std::string> pieces;
  for (int i = 0; i < 1000; ++i) {
    const std::size_t sizes[] = {0, 1, 254, 255, 256, 70000, 13};
    std::string piece(sizes[i % 7], static_cast<char>('a' + i % 26));
    if (i % 11 == 0) piece += "\r\nmehr";
    pieces.push_back(piece);
  }
  for (const std::string& piece : pieces) text.Append(piece);
  ASSERT_EQ(text.PieceCount(), pieces.size());
  for (std::size_t i = 0; i < pieces.size(); ++i) ASSERT_EQ(text.Piece(i), pieces[i]) << i;

  text.Append("\xE2\x80\x93");
  for (std::size_t i = 0; i < pieces.size(); ++i) ASSERT_EQ(text.Piece(i), pieces[i]) << i;
  EXPECT_EQ(text.Piece(pieces.size()), "\xE2\x80\x93");

  text.Clear();
  text.Append("x");
  text.Append(std::string(300, 'y'));
  text.Append("z");
  EXPECT_EQ(text.Piece(0), "x");
  EXPECT_EQ(text.Piece(1), std::string(300, 'y'));
  EXPECT_EQ(text.Piece(2), "z");
}

TEST(ReportText, KeepsEveryPieceAcrossGrowth) {
  TReportText text;
  std::string expected;
  // Past the size where the buffers are pre-faulted ahead of the writes.
  for (int i = 0; i < 600000; ++i) {
    std::string piece = "<td>" + std::to_string(i) + std::string(i % 7, 'x') + "</td>";
    text.Append(piece);
    expected += piece + "\r\n";
  }
  EXPECT_EQ(text.DocumentText(), expected);
  EXPECT_EQ(text.Piece(0), "<td>0</td>");
  EXPECT_EQ(text.Piece(99999), "<td>99999xxxx</td>");
  EXPECT_EQ(text.Piece(50000), "<td>50000xxxxxx</td>");
  EXPECT_EQ(text.Piece(599999), "<td>599999x</td>");
  text.Clear();
  text.Append("neu");
  EXPECT_EQ(text.DocumentText(), "neu\r\n");
}

TEST(ReportText, ClearDropsPiecesButKeepsTheRowCounter) {
  TReportText text;
  text.Append("a");
  text.SetRowCount(5);
  text.AddRow();
  text.Clear();
  EXPECT_EQ(text.PieceCount(), 0u);
  EXPECT_EQ(text.DocumentText(), "");
  EXPECT_EQ(text.RowCount(), 6);
  text.Append("b");
  EXPECT_EQ(text.DocumentText(), "b\r\n");
}

TEST(ReportText, RowCounterDoesNotOverflow) {
  TReportText text;
  text.SetRowCount(std::numeric_limits<std::int32_t>::max());
  text.AddRow();
  EXPECT_EQ(text.RowCount(), std::numeric_limits<std::int32_t>::max());
}

TEST(ReportText, AUtf8PieceConvertsTheTextOnceAndEveryLaterPiece) {
  TReportText text;
  text.Append("<p>Umsätze");
  text.Append({"a\r\nb", "€"});
  text.SetRowCount(4);
  EXPECT_FALSE(text.DocumentIsUtf8());
  EXPECT_EQ(text.DocumentText(), "<p>Ums\xE4tze\r\na\r\nb\xA4\r\n");  // the code page while it holds everything
  text.Append({"<td>", "Łukasz – €", "</td>"});
  EXPECT_TRUE(text.DocumentIsUtf8());
  text.Append({"Größe", " €"});
  EXPECT_EQ(text.DocumentText(), "<p>Umsätze\r\na\r\nb€\r\n<td>Łukasz – €</td>\r\nGröße €\r\n");
  ASSERT_EQ(text.PieceCount(), 4u);
  EXPECT_EQ(text.Piece(1), "a\r\nb€");
  EXPECT_EQ(text.RowCount(), 4);
  text.Clear();
  EXPECT_FALSE(text.DocumentIsUtf8());
}

// A header filled in after the build: the pieces after it move, checkpoints and
// long sizes included, and a text only UTF-8 holds turns the report into UTF-8.
TEST(ReportText, ReplacingAPieceMovesEveryLaterPieceOnce) {
  TReportText text;
  std::vector<std::string> expected;
  for (std::size_t i = 0; i < 700; ++i) {
    expected.push_back(i % 97 == 0 ? std::string(300 + i, 'x') : "p" + std::to_string(i));
    text.Append(expected.back());
  }
  text.Append("Größe");
  expected.push_back("Größe");
  const std::uint64_t revision = text.Revision();
  for (const std::string& replacement : {std::string(1000, 'L'), std::string("s"), std::string(254, 'm'),
                                         std::string(255, 'n'), std::string("<h1>3 Zeilen</h1>")}) {
    text.ReplacePiece(3, replacement);
    expected[3] = replacement;
  }
  text.ReplacePiece(0, "");
  expected[0] = "";
  EXPECT_FALSE(text.DocumentIsUtf8());
  text.ReplacePiece(200, "Łukasz");
  expected[200] = "Łukasz";
  EXPECT_TRUE(text.DocumentIsUtf8());
  EXPECT_GT(text.Revision(), revision);

  std::string document;
  ASSERT_EQ(text.PieceCount(), expected.size());
  for (std::size_t i = 0; i < expected.size(); ++i) {
    ASSERT_EQ(text.Piece(i), expected[i]) << i;
    document += expected[i] + "\r\n";
  }
  EXPECT_EQ(text.DocumentText(), document);
  text.Append("ende");
  EXPECT_EQ(text.Piece(expected.size()), "ende");
}
