#include "report/xlsx_workbook.h"

#include <langinfo.h>
#include <unistd.h>
#include <xlsxwriter.h>

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "platform/code_page.h"
#include "platform/regional.h"
#include "platform/text.h"
#include "report/column_sum.h"

namespace vornetta::report {
namespace {

// Rows of the head and of the first records that decide a column's width.
constexpr std::size_t kWidthRows = 100;
constexpr double kMinWidth = 8.0;
constexpr double kMaxWidth = 60.0;
// A cell holds at most this many characters.
constexpr std::size_t kMaxCellChars = 32767;
// Rows of a sheet: the head, the records and the sum row.
constexpr lxw_row_t kMaxRows = 1048576;

std::string TempFolder() {
  const char* dir = std::getenv("TMPDIR");
  return dir && *dir ? dir : "/tmp";
}

[[noreturn]] void Fail(const std::string& what, lxw_error error) {
  throw EReportError("Excel-Anhang: " + what + " (" + lxw_strerror(error) + ")");
}

std::size_t CharCount(std::string_view utf8) {
  std::size_t count = 0;
  for (const char c : utf8) count += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
  return count;
}

// Cuts a text to what one cell holds, at a character's start.
std::string_view CellText(std::string_view utf8) {
  if (utf8.size() <= kMaxCellChars) return utf8;
  std::size_t chars = 0;
  for (std::size_t i = 0; i < utf8.size(); ++i) {
    if ((static_cast<unsigned char>(utf8[i]) & 0xC0) != 0x80 && chars++ == kMaxCellChars) return utf8.substr(0, i);
  }
  return utf8;
}

// A date or time text in the regional short formats back into its fields.
bool ReadDateTime(const std::string& text, TCellKind kind, lxw_datetime& out) {
  std::string format;
  if (kind == TCellKind::Date || kind == TCellKind::DateTime) format = nl_langinfo(D_FMT);
  if (kind == TCellKind::DateTime) format += ' ';
  if (kind == TCellKind::Time || kind == TCellKind::DateTime) format += nl_langinfo(T_FMT);
  std::tm tm{};
  const char* end = ::strptime(text.c_str(), format.c_str(), &tm);
  if (!end || *end != '\0') return false;
  out = {};
  if (kind != TCellKind::Time) {
    out.year = tm.tm_year + 1900;
    out.month = tm.tm_mon + 1;
    out.day = tm.tm_mday;
    // The spreadsheet's calendar starts in 1900.
    if (out.year < 1900 || out.year > 9999) return false;
  }
  out.hour = tm.tm_hour;
  out.min = tm.tm_min;
  out.sec = tm.tm_sec;
  return true;
}

const char* DefaultFormat(TCellKind kind) {
  switch (kind) {
    case TCellKind::Date: return "dd.mm.yyyy";
    case TCellKind::Time: return "hh:mm:ss";
    case TCellKind::DateTime: return "dd.mm.yyyy hh:mm:ss";
    case TCellKind::Number:
    case TCellKind::Text: break;
  }
  return "";
}

// A number value text: digits with an optional sign, one separator and an exponent.
bool IsNumberText(std::string_view text) {
  if (text.empty()) return false;
  std::size_t i = text[0] == '-' ? 1 : 0;
  bool digits = false;
  for (; i < text.size() && ((text[i] >= '0' && text[i] <= '9') || text[i] == ',' || text[i] == '.'); ++i)
    digits = digits || (text[i] >= '0' && text[i] <= '9');
  if (i < text.size() && text[i] == 'E') {
    ++i;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) ++i;
  }
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
  }
  return digits && i == text.size();
}

// The library writes numbers with the C library's formatting, which follows the
// user's locale ("7,25"); the file format wants a full stop. The C locale holds
// for this thread while the library runs.
class TFileNumbers {
 public:
  TFileNumbers() {
    static const locale_t c = ::newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(0));
    previous_ = ::uselocale(c);
  }
  ~TFileNumbers() { ::uselocale(previous_); }
  TFileNumbers(const TFileNumbers&) = delete;
  TFileNumbers& operator=(const TFileNumbers&) = delete;

 private:
  locale_t previous_;
};

}  // namespace

struct TXlsxWorkbook::TState {
  std::string path;
  lxw_workbook* workbook = nullptr;
  lxw_worksheet* sheet = nullptr;
  lxw_format* bold = nullptr;
  std::vector<TSheetColumn> columns;
  std::vector<lxw_format*> formats;  // per column; null: general
  std::vector<double> widths;
  lxw_row_t row = 0;
  lxw_col_t column = 0;

  void Width(std::size_t index, std::size_t chars) {
    const double width = chars + 2.0;
    if (width > widths[index]) widths[index] = width < kMaxWidth ? width : kMaxWidth;
  }
};

TXlsxWorkbook::TXlsxWorkbook() : state_(std::make_unique<TState>()) {
  std::string pattern = TempFolder() + "/vornetta-XXXXXX.xlsx";
  const int fd = ::mkstemps(pattern.data(), 5);
  if (fd < 0) {
    throw EReportError("Excel-Anhang: keine temporäre Datei in " + TempFolder() +
                                              " (Umgebungsvariable TMPDIR)");
  }
  ::close(fd);
  state_->path = pattern;
  const TFileNumbers numbers;
  std::string tmpdir = TempFolder();
  lxw_workbook_options options{};
  options.constant_memory = LXW_TRUE;
  options.tmpdir = tmpdir.data();
  options.use_zip64 = LXW_TRUE;  // sheets of more than 4 GB before packing
  state_->workbook = workbook_new_opt(state_->path.c_str(), &options);
  if (!state_->workbook) {
    std::remove(state_->path.c_str());
    throw EReportError("Excel-Anhang: Arbeitsmappe nicht anzulegen in " + TempFolder());
  }
  state_->bold = workbook_add_format(state_->workbook);
  format_set_bold(state_->bold);
}

TXlsxWorkbook::~TXlsxWorkbook() {
  if (state_->workbook) {
    // An unfinished workbook still frees its memory and temporary files.
    const TFileNumbers numbers;
    workbook_close(state_->workbook);
  }
  std::remove(state_->path.c_str());
}

void TXlsxWorkbook::StartSheet(const std::string& name, std::vector<TSheetColumn> columns) {
  TState& s = *state_;
  const TFileNumbers numbers;
  s.sheet = workbook_add_worksheet(s.workbook, name.c_str());
  if (!s.sheet) Fail("Blatt " + name, LXW_ERROR_WORKSHEET_INDEX_OUT_OF_RANGE);
  s.columns = std::move(columns);
  s.formats.assign(s.columns.size(), nullptr);
  s.widths.assign(s.columns.size(), kMinWidth);
  for (std::size_t i = 0; i < s.columns.size(); ++i) {
    const TSheetColumn& column = s.columns[i];
    const std::string format = column.numberFormat.empty() ? DefaultFormat(column.kind) : column.numberFormat;
    if (!format.empty()) {
      s.formats[i] = workbook_add_format(s.workbook);
      format_set_num_format(s.formats[i], format.c_str());
    }
    const auto col = static_cast<lxw_col_t>(i);
    worksheet_write_string(s.sheet, 0, col, std::string(CellText(column.label)).c_str(), s.bold);
    s.Width(i, CharCount(column.label));
  }
  s.row = 1;
  s.column = 0;
}

void TXlsxWorkbook::AddCell(std::string_view value) {
  TState& s = *state_;
  const std::size_t index = s.column++;
  if (value.empty() || index >= s.columns.size()) return;
  const std::string text(value);
  const TSheetColumn& column = s.columns[index];
  const auto col = static_cast<lxw_col_t>(index);
  // Dates are read in the user's formats before the file's numbers take over.
  lxw_datetime when{};
  const bool date = column.kind != TCellKind::Number && column.kind != TCellKind::Text &&
                    ReadDateTime(text, column.kind, when);
  const TFileNumbers numbers;
  lxw_error error = LXW_NO_ERROR;
  if (column.kind == TCellKind::Number && IsNumberText(text)) {
    error = worksheet_write_number(s.sheet, s.row, col, TextToNumber(text), s.formats[index]);
  } else if (date) {
    error = worksheet_write_datetime(s.sheet, s.row, col, &when, s.formats[index]);
  } else {
    // Always a string, never a formula, whatever the text begins with.
    error = worksheet_write_string(s.sheet, s.row, col, std::string(CellText(text)).c_str(), nullptr);
  }
  if (error != LXW_NO_ERROR) Fail("Zelle nicht zu schreiben", error);
  if (s.row <= kWidthRows) s.Width(index, CharCount(text));
}

void TXlsxWorkbook::EndRecord() {
  TState& s = *state_;
  s.column = 0;
  if (++s.row >= kMaxRows - 1) {
    throw EReportError(
        "Excel-Anhang: Das Ergebnis hat mehr Zeilen, als ein Excel-Blatt fasst (1.048.574); "
        "für diesen Bericht CSV wählen (Anhang, Einstellung anhang).");
  }
}

void TXlsxWorkbook::EndSheet(const std::vector<double>& sums) {
  TState& s = *state_;
  const TFileNumbers numbers;
  const lxw_row_t lastData = s.row - 1;
  // The filter covers the head and the records, not the sums. The library checks
  // the range against the rows it still holds, so this comes before the sum row.
  if (!s.columns.empty())
    worksheet_autofilter(s.sheet, 0, 0, lastData, static_cast<lxw_col_t>(s.columns.size() - 1));
  for (std::size_t i = 0; i < s.columns.size() && i < sums.size(); ++i) {
    if (s.columns[i].kind != TCellKind::Number) continue;
    const auto col = static_cast<lxw_col_t>(i);
    char range[64];
    lxw_rowcol_to_range(range, 1, col, lastData < 1 ? 1 : lastData, col);
    const std::string formula = std::string("=SUM(") + range + ")";
    const lxw_error error = worksheet_write_formula_num(s.sheet, s.row, col, formula.c_str(), s.formats[i], sums[i]);
    if (error != LXW_NO_ERROR) Fail("Summenzeile nicht zu schreiben", error);
  }
  for (std::size_t i = 0; i < s.columns.size(); ++i) {
    const auto col = static_cast<lxw_col_t>(i);
    worksheet_set_column(s.sheet, col, col, s.widths[i], nullptr);
  }
  worksheet_freeze_panes(s.sheet, 1, 0);
  s.sheet = nullptr;
}

std::string TXlsxWorkbook::Finish() {
  TState& s = *state_;
  lxw_error error = LXW_NO_ERROR;
  {
    const TFileNumbers numbers;
    error = workbook_close(s.workbook);
  }
  s.workbook = nullptr;
  if (error != LXW_NO_ERROR) Fail("Arbeitsmappe nicht zu schreiben", error);
  std::ifstream in(s.path, std::ios::binary);
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (!in.good() && !in.eof()) {
    throw EReportError("Excel-Anhang: " + s.path + " nicht zu lesen");
  }
  std::remove(s.path.c_str());
  return bytes;
}

}  // namespace vornetta::report
