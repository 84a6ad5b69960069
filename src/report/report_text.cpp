#include "report/report_text.h"

#include <algorithm>
#include <limits>
#include <string>

#include "platform/code_page.h"

namespace vornetta::report {
namespace {

bool IsAscii(std::string_view text) {
  for (const char c : text)
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  return true;
}

}  // namespace

TReportText::~TReportText() { Clear(); }

void TReportText::Append(std::string_view piece) { Append({piece}); }

void TReportText::Append(std::initializer_list<std::string_view> parts) {
  // ASCII, nearly every piece, is the same in both encodings.
  if (utf8_ || std::all_of(parts.begin(), parts.end(), IsAscii)) return AppendParts(parts.begin(), parts.size());
  if (AppendInCodePage(parts.begin(), parts.size())) return;
  SwitchToUtf8();
  AppendParts(parts.begin(), parts.size());
}

bool TReportText::AppendInCodePage(const std::string_view* parts, std::size_t count) {
  // Converted a slice at a time straight behind the text, so that a large
  // value is never held once more as a whole; a character the code page
  // cannot hold takes back what was written.
  constexpr std::size_t kSliceBytes = 64 * 1024;
  std::size_t length = 0;
  for (std::size_t i = 0; i < count; ++i) length += parts[i].size();
  const std::size_t start = text_.Size();
  // The code page never needs more bytes than UTF-8 for a character.
  text_.Reserve(length + kLineEnd.size());
  std::string slice;
  try {
    for (std::size_t i = 0; i < count; ++i) {
      for (std::string_view rest = parts[i]; !rest.empty();) {
        std::size_t cut = std::min(rest.size(), kSliceBytes);
        // Never inside a character: back over its continuation bytes.
        while (cut < rest.size() && cut > 0 && (static_cast<unsigned char>(rest[cut]) & 0xC0) == 0x80) --cut;
        if (cut == 0) cut = rest.size();
        if (!platform::FromUtf8Exact(rest.substr(0, cut), slice)) {
          text_.Truncate(start);
          return false;
        }
        text_.Append(slice);
        rest.remove_prefix(cut);
      }
    }
    pieces_.Add(start, text_.Size() - start);
  } catch (...) {
    text_.Truncate(start);
    throw;
  }
  text_.Append(kLineEnd);
  return true;
}

std::string TReportText::ShownText(std::string_view documentBytes) const {
  return utf8_ ? std::string(documentBytes) : platform::ToUtf8(documentBytes);
}

void TReportText::CopyPiece(std::string_view documentPiece) { AppendParts(&documentPiece, 1); }

void TReportText::Rewrite(const TPieceRewrite& rewrite) {
  TReportText rewritten;
  rewritten.utf8_ = utf8_;
  std::size_t index = 0;
  pieces_.ForEach([&](std::size_t start, std::size_t size) { rewrite(index++, text_.View(start, size), rewritten); });
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
