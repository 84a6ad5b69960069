// The copies of the select results that go with the mail: CSV tables
// (anhang=csv, and the cut tables whatever "anhang" says) or one workbook
// (anhang=xlsx). Fed row by row while the report is built.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "report/column_formats.h"
#include "report/csv_tables.h"
#include "report/xlsx_workbook.h"

namespace vornetta::config {
class TMyIniFile;
}
namespace vornetta::db {
class TRecordSet;
}

namespace vornetta::report {

class TReportText;

// What "anhang" asks for.
enum class TAttachmentKind { None, Csv, Xlsx };

// Reads "anhang" (section email). Throws EReportError for an unknown value.
TAttachmentKind ReadAttachmentKind(config::TMyIniFile& ini);

class TResultCopies {
 public:
  // `cutsPossible`: a row cap or a size budget is set, so any table may need
  // its CSV copy even without "anhang".
  TResultCopies(TAttachmentKind kind, bool cutsPossible, TReportText& text);
  ~TResultCopies();

  // The next select's result (number from 1) with its head row.
  void StartTable(std::size_t selectNumber, const db::TRecordSet& records, const TColumnFormats& formats);
  // The current record of the result.
  void AddRecord(const db::TRecordSet& records);
  // The sums of the table's columns, in column order.
  void EndTable(const std::vector<double>& sums);

  // The file name that holds select `selectNumber`'s full result.
  std::string AttachmentName(std::size_t selectNumber) const;

  // Hands the copies to the report text: without "anhang" only the tables of
  // the selects for which cut(index from 0) is true stay.
  template <typename Cut>
  void Finish(Cut&& cut) {
    if (kind_ == TAttachmentKind::None && csv_) csv_->KeepOnly(cut);
    FinishWorkbook();
  }

 private:
  void FinishWorkbook();

  TAttachmentKind kind_;
  TReportText& text_;
  TCsvTables* csv_ = nullptr;
  std::unique_ptr<TXlsxWorkbook> workbook_;
  std::vector<TCsvValue> csvKinds_;
};

}  // namespace vornetta::report
