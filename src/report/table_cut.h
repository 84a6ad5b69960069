// Cut tables: a select table shows its first rows, then a note row that says
// how many more rows its attachment holds, then the sums over all rows. The
// size budget of the mail's HTML body is met by cutting the rows shown last.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "report/report_text.h"
#include "report/report_view.h"

namespace vornetta::report {

// Where a table's rows stand in the report text, so that the budget can take
// rows away after the whole document is written.
struct TTableRows {
  std::size_t firstRowPiece = 0;  // the piece that starts the first data row
  std::size_t piecesPerRow = 0;
  std::size_t shown = 0;          // data rows in the text
  std::size_t total = 0;          // data rows of the result
  int columns = 0;
  std::string attachment;         // the file that holds the full result
  bool Cut() const { return shown < total; }
};

// Appends the note row for the rows a table does not show:
// <tr class="mehr"><td colspan="5">… und 9.000 weitere Zeilen – vollständig im Anhang ergebnis-1.csv</td></tr>
void AppendNoteRow(TReportText& text, const TTableRows& table);

// Takes rows away from the end (the last table's last rows first) until the
// document text is at most budgetBytes long, rewriting each changed table's note
// row. When the document is too long without any data row, the view is told.
void FitToBudget(TReportText& text, std::vector<TTableRows>& tables, std::size_t budgetBytes, TReportView& view);

}  // namespace vornetta::report
