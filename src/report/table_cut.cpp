#include "report/table_cut.h"

#include "platform/code_page.h"
#include "platform/number_text.h"
#include "platform/regional.h"

namespace vornetta::report {
namespace {

std::string NoteRow(const TTableRows& table) {
  const std::size_t hidden = table.total - table.shown;
  return "<tr class=\"mehr\"><td colspan=\"" + std::to_string(table.columns) + "\">… und " +
         platform::GroupedCount(hidden) + (hidden == 1 ? " weitere Zeile" : " weitere Zeilen") +
         " – vollständig im Anhang " + table.attachment + "</td></tr>";
}

std::size_t RowBytes(const TReportText& text, const TTableRows& table, std::size_t row) {
  std::size_t bytes = 0;
  const std::size_t first = table.firstRowPiece + row * table.piecesPerRow;
  for (std::size_t piece = first; piece < first + table.piecesPerRow; ++piece) bytes += text.Piece(piece).size() + kLineEnd.size();
  return bytes;
}

// Writes the text again with each table showing only `keep[t]` of its rows.
void Rewrite(TReportText& text, std::vector<TTableRows>& tables, const std::vector<std::size_t>& keep) {
  std::size_t t = 0;
  text.Rewrite([&](std::size_t piece, std::string_view content, TReportText& out) {
    while (t < tables.size() && piece >= tables[t].firstRowPiece + tables[t].shown * tables[t].piecesPerRow + 1)
      ++t;
    if (t < tables.size()) {
      const TTableRows& table = tables[t];
      const std::size_t rowsEnd = table.firstRowPiece + table.shown * table.piecesPerRow;
      if (piece >= table.firstRowPiece + keep[t] * table.piecesPerRow && piece < rowsEnd) return;
      if (piece == rowsEnd) {
        TTableRows shortened = table;
        shortened.shown = keep[t];
        if (shortened.Cut()) AppendNoteRow(out, shortened);
        if (table.Cut()) return;  // the old note row
      }
    }
    out.CopyPiece(content);
  });
  // The table positions in the new text.
  std::size_t removed = 0;
  for (std::size_t i = 0; i < tables.size(); ++i) {
    TTableRows& table = tables[i];
    const bool hadNote = table.Cut();
    table.firstRowPiece -= removed;
    removed += (table.shown - keep[i]) * table.piecesPerRow;
    table.shown = keep[i];
    if (!hadNote && table.Cut()) --removed;  // a note row was added
  }
}

}  // namespace

void AppendNoteRow(TReportText& text, const TTableRows& table) {
  text.Append(NoteRow(table));
}

void FitToBudget(TReportText& text, std::vector<TTableRows>& tables, std::size_t budgetBytes, TReportView& view) {
  while (text.DocumentText().size() > budgetBytes) {
    const std::size_t excess = text.DocumentText().size() - budgetBytes;
    std::vector<std::size_t> keep;
    keep.reserve(tables.size());
    bool anyRow = false;
    for (const TTableRows& table : tables) {
      keep.push_back(table.shown);
      anyRow = anyRow || table.shown > 0;
    }
    if (!anyRow) {
      view.Notice("Der Bericht ist schon ohne Datenzeilen " + platform::GroupedCount(text.DocumentText().size()) +
                  " Bytes groß und passt nicht in " + platform::GroupedCount(budgetBytes / 1024) +
                  " KB (Bericht höchstens, Einstellung groesseMax).");
      return;
    }
    // Rows freed from the end, less the note rows that appear, until the excess
    // is gone; a switch to UTF-8 may leave some, which the next pass takes.
    long long missing = static_cast<long long>(excess);
    for (std::size_t t = tables.size(); t-- > 0 && missing > 0;) {
      const TTableRows& table = tables[t];
      if (keep[t] > 0 && !table.Cut()) {
        TTableRows noted = table;
        noted.shown = 0;
        missing += static_cast<long long>(NoteRow(noted).size() + kLineEnd.size());
      }
      while (keep[t] > 0 && missing > 0) missing -= static_cast<long long>(RowBytes(text, table, --keep[t]));
    }
    Rewrite(text, tables, keep);
  }
}

}  // namespace vornetta::report
