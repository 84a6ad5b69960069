// The result tables as one spreadsheet workbook: a sheet per select statement,
// written row by row while the report is built. The library keeps only the
// current row in memory and the rest in temporary files, so a result of a
// million rows costs no more memory than one of ten.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "report/report_error.h"

namespace vornetta::report {

// How a column's values go into their cells.
enum class TCellKind { Text, Number, Date, Time, DateTime };

struct TSheetColumn {
  std::string label;         // UTF-8
  TCellKind kind = TCellKind::Text;
  std::string numberFormat;  // spreadsheet number format; empty: the kind's default
};

class TXlsxWorkbook {
 public:
  // Opens the workbook in a temporary file. Throws EReportError.
  TXlsxWorkbook();
  ~TXlsxWorkbook();
  TXlsxWorkbook(const TXlsxWorkbook&) = delete;
  TXlsxWorkbook& operator=(const TXlsxWorkbook&) = delete;

  // Starts the next sheet with its head row (bold, frozen, with a filter).
  void StartSheet(const std::string& name, std::vector<TSheetColumn> columns);
  // One cell of the current record, in column order: the report's value text.
  // Empty is NULL and stays an empty cell; a number or date that cannot be read
  // goes in as text.
  void AddCell(std::string_view text);
  // Ends the current record. Throws EReportError when the sheet is full.
  void EndRecord();
  // Ends the sheet with a row of SUM formulas over the number columns, each
  // with its computed value from `sums` (one per column).
  void EndSheet(const std::vector<double>& sums);

  // Closes the workbook and returns its bytes. Throws EReportError.
  std::string Finish();

 private:
  struct TState;
  std::unique_ptr<TState> state_;
};

}  // namespace vornetta::report
