// The report text: the HTML document as an append-only list of pieces, kept in
// one buffer that holds the document text itself (every piece followed by
// CR LF), plus the row counter the send command tests. Owned by the window.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <string>
#include <string_view>

#include <vector>

#include "platform/byte_buffer.h"
#include "report/chart_data.h"
#include "report/csv_tables.h"
#include "report/piece_index.h"
#include "report/report_facts.h"

namespace vornetta::report {

class TReportText {
 public:
  TReportText() = default;
  TReportText(const TReportText&) = delete;
  TReportText& operator=(const TReportText&) = delete;
  ~TReportText();

  // Appends one UTF-8 piece (which may itself hold line breaks) and its CR LF.
  // Amortised O(1) per byte. Throws std::bad_alloc when memory runs out; the
  // text is then unchanged.
  void Append(std::string_view piece);
  // Appends one piece made of the parts joined without separators.
  void Append(std::initializer_list<std::string_view> parts);

  // The document's bytes are in the system code page until a piece arrives that
  // only UTF-8 can hold; then every piece so far is converted, and the
  // document stays UTF-8 until Clear. This is the one place that decides the
  // report's charset.
  bool DocumentIsUtf8() const { return utf8_; }
  // Bytes of this document (a piece or part of it) as UTF-8 text, for a view.
  std::string ShownText(std::string_view documentBytes) const;

  // Writes the text again: `rewrite` gets every piece in order, in the
  // document's encoding, and appends what stays (CopyPiece) and what replaces
  // it (Append) to the new text. Counter, flags, attachments stay.
  using TPieceRewrite = std::function<void(std::size_t index, std::string_view piece, TReportText& out)>;
  void Rewrite(const TPieceRewrite& rewrite);
  // Appends a piece of a text in the same encoding as it stands (see Rewrite).
  void CopyPiece(std::string_view documentPiece);

  std::size_t PieceCount() const { return pieces_.Count(); }
  // Piece index (from 0) without its CR LF; index must be below PieceCount().
  // Takes up to a few hundred steps (see TPieceIndex).
  std::string_view Piece(std::size_t index) const;

  // Puts the UTF-8 text in place of piece `index` (below PieceCount()), moving
  // the pieces after it once: a text the code page cannot hold turns the report
  // into UTF-8 first. Throws std::bad_alloc; the text is then unchanged.
  void ReplacePiece(std::size_t index, std::string_view utf8Piece);

  // Counts the changes that move text already there (Clear, ReplacePiece, the
  // turn to UTF-8): a view of the text starts over when it changes.
  std::uint64_t Revision() const { return revision_; }

  // Every piece followed by CR LF; valid until the next Append or Clear.
  std::string_view DocumentText() const { return text_.View(); }

  // Drops every piece, every CSV table and the facts, and gives the memory back.
  // The row counter stays.
  void Clear();

  // The values of the charts section "diagramm" asks for, in statement order;
  // dropped by Clear.
  std::vector<TChartData>& Charts() { return charts_; }
  const std::vector<TChartData>& Charts() const { return charts_; }
  // The head rows of the last build's select statements, for choosing chart
  // columns; a build replaces them, Clear keeps them.
  std::vector<TSelectHead>& SelectHeads() { return selectHeads_; }
  const std::vector<TSelectHead>& SelectHeads() const { return selectHeads_; }

  // The result tables as CSV, filled by a build only when attachments are on.
  TCsvTables& CsvTables() { return csvTables_; }
  const TCsvTables& CsvTables() const { return csvTables_; }
  // The result tables as one workbook, filled by a build only with anhang=xlsx.
  std::string& Workbook() { return workbook_; }
  const std::string& Workbook() const { return workbook_; }
  // What the last build learned for the placeholders and the send condition.
  TReportFacts& Facts() { return facts_; }
  const TReportFacts& Facts() const { return facts_; }
  // True while a build writes the text and after a build that failed: such a
  // text lacks its end and is never sent. Clear makes it false again.
  bool Unfinished() const { return unfinished_; }
  void SetUnfinished(bool unfinished) { unfinished_ = unfinished; }

  std::int32_t RowCount() const { return rowCount_; }
  void SetRowCount(std::int32_t count) { rowCount_ = count; }
  // Adds 1; stays at the largest value instead of overflowing.
  void AddRow();

  // Tables the last build wrote (select and count tables); stays like the row counter.
  std::size_t TableCount() const { return tableCount_; }
  void SetTableCount(std::size_t count) { tableCount_ = count; }
  void AddTable() { ++tableCount_; }

 private:
  void AppendParts(const std::string_view* parts, std::size_t count);
  // Appends the UTF-8 parts as one piece in the code page; false, with the text
  // unchanged, when the code page cannot hold them.
  bool AppendInCodePage(const std::string_view* parts, std::size_t count);
  void SwitchToUtf8();
  // Exchanges the text and its piece index with `other`; nothing else.
  void SwapText(TReportText& other);
  // Frees the text and its piece index; everything else stays.
  void ReleaseText();

  platform::TByteBuffer text_;
  TPieceIndex pieces_;
  std::int32_t rowCount_ = 0;
  std::size_t tableCount_ = 0;
  TCsvTables csvTables_;
  std::string workbook_;
  TReportFacts facts_;
  std::uint64_t revision_ = 0;
  std::vector<TChartData> charts_;
  std::vector<TSelectHead> selectHeads_;
  bool unfinished_ = false;
  bool utf8_ = false;
};

}  // namespace vornetta::report
