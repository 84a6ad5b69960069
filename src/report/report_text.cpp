#include "report/report_text.h"

#include <limits>
#include <string>

#include "platform/code_page.h"

namespace vornetta::report {

TReportText::~TReportText() { Clear(); }

void TReportText::Append(std::string_view piece) { Append({piece}); }

void TReportText::Append(std::initializer_list<std::string_view> parts) {
  if (utf8_) {
    std::string converted;
    for (std::string_view part : parts) converted += platform::ToUtf8(part);
    const std::string_view piece = converted;
    AppendParts(&piece, 1);
    return;
  }
  AppendParts(parts.begin(), parts.size());
}

void TReportText::AppendUtf8(std::initializer_list<std::string_view> parts) {
  if (!utf8_) SwitchToUtf8();
  AppendParts(parts.begin(), parts.size());
}

void TReportText::Append(std::string_view piece, platform::TextEncoding encoding) {
  if (encoding == platform::TextEncoding::Utf8)
    AppendUtf8({piece});
  else
    Append({piece});
}

void TReportText::Rewrite(const TPieceRewrite& rewrite) {
  const platform::TextEncoding encoding =
      utf8_ ? platform::TextEncoding::Utf8 : platform::TextEncoding::CodePage;
  TReportText rewritten;
  rewritten.utf8_ = utf8_;
  std::size_t index = 0;
  pieces_.ForEach([&](std::size_t start, std::size_t size) {
    rewrite(index++, text_.View(start, size), encoding, rewritten);
  });
  SwapText(rewritten);
  utf8_ = rewritten.utf8_;
}

void TReportText::SwitchToUtf8() {
  // The converted pieces go straight into a second text, so the switch holds
  // the document twice at most (not once more as a list of strings). Only the
  // text is exchanged; counter, flags and CSV tables stay.
  TReportText converted;
  pieces_.ForEach([&](std::size_t start, std::size_t size) {
    const std::string piece = platform::ToUtf8(text_.View(start, size));
    const std::string_view view = piece;
    converted.AppendParts(&view, 1);
  });
  SwapText(converted);
  utf8_ = true;
  ++revision_;
}

void TReportText::ReplacePiece(std::size_t index, std::string_view utf8Piece) {
  std::string codePage;
  if (!utf8_ && !platform::FromUtf8Exact(utf8Piece, codePage)) SwitchToUtf8();
  const std::string_view piece = utf8_ ? utf8Piece : std::string_view(codePage);
  const std::size_t start = pieces_.Start(index);
  const std::size_t oldSize = pieces_.Size(index);
  if (piece.size() > oldSize) text_.Reserve(piece.size() - oldSize);
  pieces_.Resize(index, piece.size());
  // One move of everything after the piece; the report is never copied.
  text_.Replace(start, oldSize, piece);
  ++revision_;
}

void TReportText::SwapText(TReportText& other) {
  text_.Swap(other.text_);
  pieces_.Swap(other.pieces_);
}

void TReportText::AppendParts(const std::string_view* parts, std::size_t count) {
  std::size_t length = 0;
  for (std::size_t i = 0; i < count; ++i) length += parts[i].size();
  // Room first, so that nothing below can fail half done.
  text_.Reserve(length + kLineEnd.size());
  pieces_.Add(text_.Size(), length);
  for (std::size_t i = 0; i < count; ++i) text_.Append(parts[i]);
  text_.Append(kLineEnd);
}

std::string_view TReportText::Piece(std::size_t index) const {
  return text_.View(pieces_.Start(index), pieces_.Size(index));
}

void TReportText::ReleaseText() {
  text_.Release();
  pieces_.Clear();
}

void TReportText::Clear() {
  ReleaseText();
  csvTables_.Clear();
  std::string().swap(workbook_);
  facts_ = TReportFacts{};
  std::vector<TChartData>().swap(charts_);
  unfinished_ = false;
  ++revision_;
  utf8_ = false;
}

void TReportText::AddRow() {
  if (rowCount_ < std::numeric_limits<std::int32_t>::max()) ++rowCount_;
}

}  // namespace vornetta::report
