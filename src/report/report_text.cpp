#include "report/report_text.h"

#include <sys/mman.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>
#include <string>

#include "platform/code_page.h"

namespace vornetta::report {
namespace {

constexpr std::string_view kLineEnd = "\r\n";

bool IsAscii(std::string_view text) {
  for (const char c : text)
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  return true;
}

// Pre-faults the pages of a large block a megabyte ahead of the write
// position in one call: taking the page faults one by one costs more than
// writing the report into the pages. Only a hint; nothing fails without it.
void Prefault(void* data, std::size_t capacityBytes, std::size_t neededBytes, std::size_t& prefaulted) {
#ifdef MADV_POPULATE_WRITE
  constexpr std::size_t kAhead = std::size_t{1} << 20;
  if (neededBytes <= prefaulted || capacityBytes < kAhead) return;
  const auto page = static_cast<std::uintptr_t>(4096);
  const auto base = reinterpret_cast<std::uintptr_t>(data);
  const std::uintptr_t begin = (base + prefaulted + page - 1) & ~(page - 1);
  const std::size_t until = neededBytes + kAhead < capacityBytes ? neededBytes + kAhead : capacityBytes;
  const std::uintptr_t end = (base + until) & ~(page - 1);
  if (end > begin) ::madvise(reinterpret_cast<void*>(begin), end - begin, MADV_POPULATE_WRITE);
  prefaulted = until;
#else
  (void)data;
  (void)capacityBytes;
  (void)neededBytes;
  (void)prefaulted;
#endif
}

// Grows a realloc'd array to hold at least `needed` elements, doubling the capacity.
template <typename T>
void Reserve(T*& data, std::size_t& capacity, std::size_t needed, std::size_t& prefaulted) {
  Prefault(data, capacity * sizeof(T), needed * sizeof(T), prefaulted);
  if (needed <= capacity) return;
  std::size_t next = capacity < 256 ? 256 : capacity;
  while (next < needed) next *= 2;
  void* moved = std::realloc(data, next * sizeof(T));
  if (!moved) throw std::bad_alloc();
  data = static_cast<T*>(moved);
  capacity = next;
  Prefault(data, capacity * sizeof(T), needed * sizeof(T), prefaulted);
}

}  // namespace

TReportText::~TReportText() { Clear(); }

void TReportText::Grow(std::size_t extraBytes) {
  Reserve(text_, textCapacity_, textSize_ + extraBytes + kLineEnd.size(), textPrefaulted_);
}

void TReportText::Append(std::string_view piece) { Append({piece}); }

void TReportText::Append(std::initializer_list<std::string_view> parts) {
  // ASCII, nearly every piece, is the same in both encodings.
  if (utf8_ || std::all_of(parts.begin(), parts.end(), IsAscii)) return AppendParts(parts.begin(), parts.size());
  std::string joined;
  for (std::string_view part : parts) joined += part;
  std::string codePage;
  if (platform::FromUtf8Exact(joined, codePage)) {
    const std::string_view piece = codePage;
    return AppendParts(&piece, 1);
  }
  SwitchToUtf8();
  const std::string_view piece = joined;
  AppendParts(&piece, 1);
}

std::string TReportText::ShownText(std::string_view documentBytes) const {
  return utf8_ ? std::string(documentBytes) : platform::ToUtf8(documentBytes);
}

void TReportText::CopyPiece(std::string_view documentPiece) { AppendParts(&documentPiece, 1); }

void TReportText::Rewrite(const TPieceRewrite& rewrite) {
  TReportText rewritten;
  rewritten.utf8_ = utf8_;
  std::size_t index = 0;
  pieces_.ForEach([&](std::size_t start, std::size_t size) { rewrite(index++, {text_ + start, size}, rewritten); });
  SwapText(rewritten);
  utf8_ = rewritten.utf8_;
}

void TReportText::SwitchToUtf8() {
  // The converted pieces go straight into a second text, so the switch holds
  // the document twice at most (not once more as a list of strings). Only the
  // text is exchanged; counter, flags and CSV tables stay.
  TReportText converted;
  pieces_.ForEach([&](std::size_t start, std::size_t size) {
    const std::string piece = platform::ToUtf8({text_ + start, size});
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
  if (piece.size() > oldSize) Grow(piece.size() - oldSize);
  pieces_.Resize(index, piece.size());
  // One move of everything after the piece; the report is never copied.
  std::memmove(text_ + start + piece.size(), text_ + start + oldSize, textSize_ - start - oldSize);
  if (!piece.empty()) std::memcpy(text_ + start, piece.data(), piece.size());
  textSize_ = textSize_ + piece.size() - oldSize;
  ++revision_;
}

void TReportText::SwapText(TReportText& other) {
  std::swap(text_, other.text_);
  std::swap(textSize_, other.textSize_);
  std::swap(textCapacity_, other.textCapacity_);
  std::swap(textPrefaulted_, other.textPrefaulted_);
  pieces_.Swap(other.pieces_);
}

void TReportText::AppendParts(const std::string_view* parts, std::size_t count) {
  std::size_t length = 0;
  for (std::size_t i = 0; i < count; ++i) length += parts[i].size();
  Grow(length);
  pieces_.Add(textSize_, length);
  for (std::size_t i = 0; i < count; ++i) {
    const std::string_view part = parts[i];
    if (part.empty()) continue;
    std::memcpy(text_ + textSize_, part.data(), part.size());
    textSize_ += part.size();
  }
  std::memcpy(text_ + textSize_, kLineEnd.data(), kLineEnd.size());
  textSize_ += kLineEnd.size();
}

std::string_view TReportText::Piece(std::size_t index) const {
  return {text_ + pieces_.Start(index), pieces_.Size(index)};
}

void TReportText::ReleaseText() {
  std::free(text_);
  text_ = nullptr;
  textSize_ = textCapacity_ = textPrefaulted_ = 0;
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
