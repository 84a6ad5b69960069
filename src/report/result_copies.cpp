#include "report/result_copies.h"

#include "config/my_ini_file.h"
#include "db/datenbank_ado.h"
#include "db/record_set.h"
#include "platform/code_page.h"
#include "platform/text.h"
#include "report/report_error.h"
#include "report/report_text.h"

namespace vornetta::report {
namespace {

TCellKind CellKindOf(db::TFieldType type) {
  const std::string name = db::TDatenbankAdo::FieldTypeName(type);
  if (name == "integer" || name == "double") return TCellKind::Number;
  if (name == "date") return TCellKind::Date;
  if (name == "time") return TCellKind::Time;
  if (name == "datetime") return TCellKind::DateTime;
  return TCellKind::Text;
}

}  // namespace

TAttachmentKind ReadAttachmentKind(config::TMyIniFile& ini) {
  const std::string value = ini.ReadValueDefault("email", "anhang", "");
  if (value.empty()) return TAttachmentKind::None;
  if (platform::EqualsNoCase(value, "csv")) return TAttachmentKind::Csv;
  if (platform::EqualsNoCase(value, "xlsx")) return TAttachmentKind::Xlsx;
  throw EReportError("Unbekannter Wert \"" + value +
                     "\" für den Anhang: erlaubt sind csv, xlsx oder ein leerer Wert (Anhang, Einstellung anhang).");
}

TResultCopies::TResultCopies(TAttachmentKind kind, bool cutsPossible, TReportText& text) : kind_(kind), text_(text) {
  if (kind == TAttachmentKind::Csv || (kind == TAttachmentKind::None && cutsPossible)) csv_ = &text.CsvTables();
  if (kind == TAttachmentKind::Xlsx) workbook_ = std::make_unique<TXlsxWorkbook>();
}

TResultCopies::~TResultCopies() = default;

std::string TResultCopies::AttachmentName(std::size_t selectNumber) const {
  if (kind_ == TAttachmentKind::Xlsx) return "ergebnis.xlsx";
  return "ergebnis-" + std::to_string(selectNumber) + ".csv";
}

void TResultCopies::StartTable(std::size_t selectNumber, const db::TRecordSet& records,
                               const TColumnFormats& formats) {
  const int fieldCount = records.FieldCount();
  csvKinds_.clear();
  for (int i = 0; i < fieldCount; ++i) {
    csvKinds_.push_back(CellKindOf(records.DataType(i)) == TCellKind::Number ? TCsvValue::Number : TCsvValue::Text);
  }
  if (csv_) {
    csv_->StartTable(AttachmentName(selectNumber));
    for (int i = 0; i < fieldCount; ++i) csv_->AddField(records.DisplayName(i));
    csv_->EndRecord();
  }
  if (workbook_) {
    std::vector<TSheetColumn> columns;
    for (int i = 0; i < fieldCount; ++i) {
      const std::string& label = records.DisplayName(i);
      TSheetColumn column{label, CellKindOf(records.DataType(i)), {}};
      if (const TNumberPattern* pattern = formats.Find(label))
        column.numberFormat = pattern->SpreadsheetFormat();
      columns.push_back(std::move(column));
    }
    workbook_->StartSheet("Ergebnis " + std::to_string(selectNumber), std::move(columns));
  }
}

void TResultCopies::AddRecord(const db::TRecordSet& records) {
  const int fieldCount = records.FieldCount();
  if (csv_) {
    for (int i = 0; i < fieldCount; ++i)
      csv_->AddField(records.Value(i), csvKinds_[static_cast<std::size_t>(i)]);
    csv_->EndRecord();
  }
  if (workbook_) {
    for (int i = 0; i < fieldCount; ++i) workbook_->AddCell(records.Value(i));
    workbook_->EndRecord();
  }
}

void TResultCopies::EndTable(const std::vector<double>& sums) {
  if (workbook_) workbook_->EndSheet(sums);
}

void TResultCopies::FinishWorkbook() {
  if (workbook_) text_.Workbook() = workbook_->Finish();
}

}  // namespace vornetta::report
