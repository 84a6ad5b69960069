#include "report/report_builder.h"

#include <algorithm>
#include <chrono>
#include <optional>
#include <cstddef>
#include <unordered_set>
#include <vector>

#include "config/my_ini_file.h"
#include "db/connection_owner.h"
#include "db/datenbank_ado.h"
#include "db/record_set.h"
#include "db/statement_script.h"
#include "platform/code_page.h"
#include "platform/regional.h"
#include "platform/text.h"
#include "platform/time_zone.h"
#include "report/column_formats.h"
#include "report/chart_request.h"
#include "report/column_sum.h"
#include "report/placeholders.h"
#include "report/result_copies.h"
#include "report/send_condition.h"
#include "report/table_cut.h"

namespace vornetta::report {
namespace {

constexpr std::string_view kClassChars = "abcdefghijklmnopqrstuvwxyz0123456789";

using platform::TDecimalText;

// Lets the window through after a record only when its event slice has passed:
// a pass through the event loop costs more than writing a row.
class TEventThrottle {
 public:
  TEventThrottle(const TReportText& text, TReportView& view)
      : text_(text), view_(view), interval_(view.Slice()), last_(Clock::now()) {}

  void Tick() {
    const Clock::time_point now = Clock::now();
    if (now - last_ < interval_) return;
    view_.PiecesAppended(text_);
    if (!view_.PumpEvents()) throw platform::ECancelled(kBuildCancelled);
    last_ = Clock::now();
  }

 private:
  using Clock = std::chrono::steady_clock;
  const TReportText& text_;
  TReportView& view_;
  const Clock::duration interval_;
  Clock::time_point last_;
};

// Checks a column class name as a component name of the result: not beginning
// with a digit, and unique among the non-empty names of the same result.
class TColumnNames {
 public:
  void Register(const std::string& name) {
    if (name.empty()) return;
    if (name.front() >= '0' && name.front() <= '9') {
      throw EReportError("''" + name + "'' ist kein gültiger Komponentenname");
    }
    if (!names_.insert(name).second) {
      throw EReportError("Komponente mit der Bezeichnung " + name + " existiert bereits");
    }
  }

 private:
  std::unordered_set<std::string> names_;
};

struct TColumn {
  std::string cellClass;  // class name, blank, type name
  TDouble sum{0.0};
  const TNumberPattern* pattern = nullptr;  // from section "format"; null: the text as read
};

void AppendTableStart(TReportText& text, std::size_t number) {
  text.AddTable();
  text.Append({"<table width=\"100%\" class=\"sql", TDecimalText(static_cast<long long>(number)).View(), "\">"});
}

// A decoration text of section "email" (style sheet, header, footer) inside its ASCII frame.
void AppendDecoration(config::TMyIniFile& ini, const char* key, TReportText& text, std::string_view before,
                      std::string_view after) {
  text.Append({before, ini.ReadValueDefault("email", key, ""), after});
}

// The limits of section "email": rows per table and the HTML body's size.
struct TLimits {
  std::size_t rowsPerTable = 0;  // 0: every row
  std::size_t budgetBytes = 0;   // 0: no budget
  bool Any() const { return rowsPerTable > 0 || budgetBytes > 0; }
};

// `field` is the window's label of the key.
std::size_t ReadLimit(config::TMyIniFile& ini, const char* key, const char* field) {
  const std::string value = ini.ReadValueDefault("email", key, "0");
  std::size_t number = 0;
  bool valid = !value.empty() && value.size() <= 9;
  for (const char c : value) {
    valid = valid && c >= '0' && c <= '9';
    if (valid) number = number * 10 + static_cast<std::size_t>(c - '0');
  }
  if (!valid) {
    throw EReportError("Unbekannter Wert \"" + value + "\": erlaubt ist eine ganze Zahl ab 0, 0 = unbegrenzt (" +
                       field + ", Einstellung " + key + ").");
  }
  return number;
}

TLimits ReadLimits(config::TMyIniFile& ini) {
  TLimits limits;
  limits.rowsPerTable = ReadLimit(ini, "zeilenMax", "Zeilen je Tabelle höchstens");
  limits.budgetBytes = ReadLimit(ini, "groesseMax", "Bericht höchstens") * 1024;
  return limits;
}

// What a select table needs besides the database: its place among the selects,
// the limits, the formats and the copies for the attachments.
struct TTableContext {
  std::size_t selectNumber;  // from 1
  const TLimits& limits;
  bool& budgetSpent;  // a row passed the budget: later rows show no more
  const TColumnFormats& formats;
  TResultCopies& copies;
  const TChartRequest* chartRequest;  // null: no chart above the table
};

// A value or sum text under its column's pattern, unchanged without one.
std::string_view Formatted(const TNumberPattern* pattern, const TColumnFormats& formats, std::string_view value,
                           std::string& buffer) {
  if (!pattern) return value;
  buffer = pattern->Format(value, formats.Thousands(), formats.Decimal());
  return buffer;
}

// A decoration text with its placeholders filled from the facts.
void AppendResolved(TReportText& text, const std::string& value, const TReportFacts& facts) {
  if (!MayHoldPlaceholders(value)) return text.Append(value);
  text.Append(ResolvePlaceholders(value, facts, TPlaceholderText::Html));
}

// The header: filled at once, or, when it quotes results, written as it stands
// and put in place once the last statement has run.
class THeader {
 public:
  THeader(config::TMyIniFile& ini, TReportText& text) : text_(text) {
    value_ = ini.ReadValueDefault("email", "kopfzeile", "");
    deferred_ = MayHoldPlaceholders(value_) && QuotesResults(value_);
    if (deferred_) {
      piece_ = text.PieceCount();
      text.Append(value_);
    } else {
      AppendResolved(text, value_, text.Facts());
    }
  }

  void Finish() {
    if (deferred_) text_.ReplacePiece(piece_, ResolvePlaceholders(value_, text_.Facts(), TPlaceholderText::Html));
  }

 private:
  TReportText& text_;
  std::string value_;
  bool deferred_ = false;
  std::size_t piece_ = 0;
};

// The setting "zeitzone"; an empty one is the system's zone. Throws
// platform::ETimeZoneError naming the setting.
platform::TTimeZone ZoneSetting(config::TMyIniFile& ini) {
  return platform::TTimeZone(ini.ReadValueDefault("email", "zeitzone", ""));
}

// The chart image of statement `number` right above its table; the image itself
// goes with the mail as an inline part of that Content-ID.
void AppendChartImage(TReportText& text, const TChartData& chart) {
  std::string alt;
  for (const char c : chart.altText) {
    if (c == '"') alt += "&quot;";
    else if (c == '&') alt += "&amp;";
    else if (c == '<') alt += "&lt;";
    else if (c == '>') alt += "&gt;";
    else alt += c;
  }
  text.Append({"<img src=\"cid:", chart.contentId, "\" alt=\"", alt, "\" width=\"800\" height=\"360\"><br>"});
}

// The head row's labels, kept for choosing chart columns later.
void KeepSelectHead(TReportText& text, std::size_t number, const db::TRecordSet& records) {
  TSelectHead head{number, {}};
  for (int i = 0; i < records.FieldCount(); ++i) head.columns.push_back(records.DisplayName(i));
  text.SelectHeads().push_back(std::move(head));
}

const TChartRequest* ChartRequestOf(const std::vector<TChartRequest>& requests, std::size_t number) {
  const auto found = std::ranges::find(requests, number, &TChartRequest::statement);
  return found == requests.end() ? nullptr : &*found;
}

// Writes the table into the report and its copies; returns where its rows stand.
TTableRows WriteSelectTable(db::TDatenbankAdo& connection, const std::string& statement, std::size_t number,
                            TReportText& text, TEventThrottle& throttle, const TTableContext& context) {
  TStatementFacts& facts = text.Facts().statements[number];
  facts.select = true;
  const TChartRequest* const chartRequest = context.chartRequest;
  // The record set closes itself when it goes, also on failure.
  const std::unique_ptr<db::TRecordSet> records = connection.GetData(statement);
  const int fieldCount = records->FieldCount();
  std::vector<TColumn> columns(static_cast<std::size_t>(fieldCount));
  KeepSelectHead(text, number, *records);
  std::optional<TChartCollector> chart;
  if (chartRequest) {
    chart.emplace(*chartRequest, *records);
    AppendChartImage(text, chart->Data());
  }

  AppendTableStart(text, number);
  text.Append("<tr class=\"head\">");
  TColumnNames names;
  for (int i = 0; i < fieldCount; ++i) {
    const std::string& displayName = records->DisplayName(i);
    const std::string className = ColumnClassName(displayName);
    names.Register(className);
    TColumn& column = columns[static_cast<std::size_t>(i)];
    column.cellClass = className + ' ' + db::TDatenbankAdo::FieldTypeName(records->DataType(i));
    column.pattern = context.formats.Find(displayName);
    text.Append({"<th class=\"", column.cellClass, "\">", displayName, "</th>"});
  }
  text.Append("</tr>");
  context.copies.StartTable(context.selectNumber, *records, context.formats);

  if (records->Eof()) {
    text.Append({"<tr class=\"empty\"><td colspan=\"", TDecimalText(fieldCount).View(),
                 "\">kein Ergebnis</td></tr>"});
  }
  TTableRows rows;
  rows.firstRowPiece = text.PieceCount();
  rows.piecesPerRow = static_cast<std::size_t>(fieldCount) + 2;
  rows.columns = fieldCount;
  rows.attachment = context.copies.AttachmentName(context.selectNumber);
  std::string formatted;
  while (!records->Eof()) {
    const bool underCap = context.limits.rowsPerTable == 0 || rows.shown < context.limits.rowsPerTable;
    if (context.limits.budgetBytes > 0 && text.DocumentText().size() > context.limits.budgetBytes)
      context.budgetSpent = true;
    if (underCap && !context.budgetSpent) {
      const int recNo = records->RecNo();
      text.Append({"<tr id=\"row", TDecimalText(recNo).View(), "\" class=\"", recNo % 2 == 0 ? "even" : "odd",
                   "\">"});
      for (int i = 0; i < fieldCount; ++i) {
        const TColumn& column = columns[static_cast<std::size_t>(i)];
        text.Append({"<td class=\"", column.cellClass, "\">",
                     Formatted(column.pattern, context.formats, records->Value(i), formatted), "</td>"});
      }
      text.Append("</tr>");
      ++rows.shown;
    }
    ++rows.total;
    for (int i = 0; i < fieldCount; ++i) {
      columns[static_cast<std::size_t>(i)].sum.Add(TextToNumber(records->Value(i)));
    }
    context.copies.AddRecord(*records);
    if (chart) chart->AddRow(*records);
    text.AddRow();
    ++facts.rows;
    throttle.Tick();
    records->Next();
  }
  if (rows.Cut()) AppendNoteRow(text, rows);

  const char separator = platform::DecimalSeparator();
  std::vector<double> sums;
  text.Append("<tr class=\"sum\">");
  for (std::size_t i = 0; i < columns.size(); ++i) {
    const TColumn& column = columns[i];
    text.Append({"<th class=\"", column.cellClass, "\"><span>"});
    const std::string sumText(
        Formatted(column.pattern, context.formats, FormatSum(column.sum.Value(), separator), formatted));
    text.Append(sumText);
    text.Append("</span></th>");
    sums.push_back(column.sum.Value());
    // {summe:N:SPALTE} and the send condition quote the cell as it stands.
    const int field = static_cast<int>(i);
    facts.totals.push_back(
        {records->DisplayName(field), sumText, TextToNumber(FormatSum(column.sum.Value(), '.'))});
  }
  text.Append("</tr>");
  text.Append("</table><br>");
  records->Close();
  if (chart) text.Charts().push_back(chart->Finish());
  context.copies.EndTable(sums);
  return rows;
}

// The count table of a changing statement, written only when the kind's flag is set.
struct TChangeKind {
  std::string_view kind;
  const char* flag;
  std::string_view rowStart;
  std::string_view rowEnd;
};

constexpr TChangeKind kChangeKinds[] = {
    {"update", "ergebnisUpdate", "<tr class=\"update\"><td>", " Datensätze geändert.</td></tr>"},
    {"delete", "ergebnisDelete", "<tr class=\"delete\"><td>", " Datensätze gelöscht.</td></tr>"},
    {"insert", "ergebnisInsert", "<tr class=\"insert\"><td>", " Datensätze eingefügt.</td></tr>"},
};

void RunChangingStatement(const TChangeKind& kind, db::TDatenbankAdo& connection,
                          const std::string& statement, std::size_t number, config::TMyIniFile& ini,
                          TReportText& text) {
  int changed = 0;
  if (kind.kind == "update") {
    changed = connection.ExecuteUpdate(statement);
  } else if (kind.kind == "delete") {
    changed = connection.ExecuteDelete(statement);
  } else {
    changed = connection.Execute(statement);
  }
  text.Facts().statements[number].rows = changed;
  if (!ini.ReadFlag("datenbank", kind.flag, false)) return;
  AppendTableStart(text, number);
  text.Append({kind.rowStart, TDecimalText(changed).View(), kind.rowEnd});
  text.Append("</table><br>");
  text.AddRow();
}

std::vector<bool> SelectFlags(const std::vector<std::string>& statements) {
  std::vector<bool> selects;
  for (const std::string& statement : statements)
    selects.push_back(db::TDatenbankAdo::StatementKind(statement) == "select");
  return selects;
}

void WriteDocument(config::TMyIniFile& ini, db::TConnectionOwner& connection, TReportText& text,
                   TReportView& view) {
  TReportFacts& facts = text.Facts();
  facts.moment = platform::RunMoment();
  facts.zone = ZoneSetting(ini);
  facts.configName = platform::WellFormedUtf8(ConfigName(ini.FileName()));

  text.Append("<html>");
  AppendDecoration(ini, "css", text, "<style>", "</style>");
  text.Append("<body>");
  text.Append("<div class=\"kopfzeile\">");
  THeader header(ini, text);
  text.Append("</div>");
  text.SetRowCount(0);
  text.SetTableCount(0);

  const std::vector<std::string> statements = db::SplitStatements(ini.ReadText("sql"));
  facts.statements.resize(statements.size());
  // A condition that cannot be read fails before the database is reached.
  [[maybe_unused]] const TSendCondition readable(ini.ReadValueDefault("email", "sendenWenn", ""),
                                                 statements.size());

  const std::vector<TChartRequest> charts = ReadChartRequests(ini, SelectFlags(statements));
  db::TDatenbankAdo& database = connection.Get();
  const TLimits limits = ReadLimits(ini);
  const TColumnFormats formats(ini);
  TResultCopies copies(ReadAttachmentKind(ini), limits.Any(), text);
  std::vector<TTableRows> tables;
  bool budgetSpent = false;

  TEventThrottle throttle(text, view);
  for (std::size_t number = 0; number < statements.size(); ++number) {
    const std::string& statement = statements[number];
    view.StatementStarted(number + 1, statements.size(), statement);
    const std::string kind = db::TDatenbankAdo::StatementKind(statement);
    if (kind == "select") {
      const TTableContext context{tables.size() + 1, limits, budgetSpent, formats, copies,
                                    ChartRequestOf(charts, number)};
      tables.push_back(WriteSelectTable(database, statement, number, text, throttle, context));
      continue;
    }
    const TChangeKind* change = nullptr;
    for (const TChangeKind& candidate : kChangeKinds) {
      if (kind == candidate.kind) change = &candidate;
    }
    if (!change) throw EReportError("unbekannte Anweisung");
    RunChangingStatement(*change, database, statement, number, ini, text);
    throttle.Tick();
  }

  text.Append("<div class=\"fusszeile\">");
  AppendResolved(text, ini.ReadValueDefault("email", "fusszeile", ""), facts);
  text.Append("</div>");
  text.Append("</body></html>");
  header.Finish();

  if (limits.budgetBytes > 0) FitToBudget(text, tables, limits.budgetBytes, view);
  copies.Finish([&tables](std::size_t index) { return tables[index].Cut(); });
}

void LoadPreview(const TReportText& text, TReportView& view) {
  view.PiecesAppended(text);
  view.LoadPreview(text.DocumentText());
}

}  // namespace

std::string ColumnClassName(std::string_view displayName) {
  return KeepChars(platform::LowerAscii(displayName), kClassChars);
}

void BuildReport(config::TMyIniFile& ini, db::TConnectionOwner& connection, TReportText& text,
                 TReportView& view) {
  text.Clear();
  text.SelectHeads().clear();
  text.SetUnfinished(true);
  view.ShowSourcePage();
  try {
    WriteDocument(ini, connection, text, view);
    text.SetUnfinished(false);
  } catch (...) {
    // The partial document is shown but stays unfinished, so it is never sent.
    // The build's own failure is the one reported.
    try {
      LoadPreview(text, view);
    } catch (...) {
    }
    throw;
  }
  LoadPreview(text, view);
}

}  // namespace vornetta::report
