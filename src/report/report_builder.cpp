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
#include "report/chart_data.h"
#include "report/chart_request.h"
#include "report/column_sum.h"

namespace vornetta::report {
namespace {

constexpr std::string_view kClassChars = "abcdefghijklmnopqrstuvwxyz0123456789";

using platform::TDecimalText;

// Lets the window through after a record only when its event slice has passed:
// a pass through the event loop costs more than writing a row.
class TEventThrottle {
 public:
  TEventThrottle(const TReportText& text, TReportView& view)
      : text_(text), view_(view), interval_(view.EventSlice()), last_(Clock::now()) {}

  void Tick() {
    const Clock::time_point now = Clock::now();
    if (now - last_ < interval_) return;
    view_.PiecesAppended(text_);
    view_.ProcessPendingEvents();
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
      throw EReportError(platform::TUtf8Message{"''" + name + "'' ist kein gültiger Komponentenname"});
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
};

void AppendTableStart(TReportText& text, std::size_t number) {
  text.AddTable();
  text.Append({"<table width=\"100%\" class=\"sql", TDecimalText(static_cast<long long>(number)).View(), "\">"});
}

// A cell whose text is in UTF-8 (the other parts are ASCII) turns the report into UTF-8.
void AppendCell(TReportText& text, std::initializer_list<std::string_view> parts, bool utf8) {
  if (utf8)
    text.AppendUtf8(parts);
  else
    text.Append(parts);
}

// A decoration text of section "email" (style sheet, header, footer) inside its
// ASCII frame: one the code page cannot hold turns the report into UTF-8.
void AppendDecoration(config::TMyIniFile& ini, const char* key, TReportText& text, std::string_view before,
                      std::string_view after) {
  bool utf8 = false;
  const std::string value = ini.ReadValueDefault("email", key, "", utf8);
  AppendCell(text, {before, value, after}, utf8);
}

// True when section "email" asks for the results as CSV attachments ("anhang"
// is "csv"); empty means none. Throws EReportError for any other value.
bool WantsCsvAttachments(config::TMyIniFile& ini) {
  const std::string value = ini.ReadValueDefault("email", "anhang", "");
  if (value.empty()) return false;
  if (platform::EqualsNoCase(value, "csv")) return true;
  throw EReportError("Unbekannter Wert \"" + value +
                     "\" der Einstellung anhang (Abschnitt email): erlaubt sind csv oder ein leerer Wert.");
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
  const std::string_view parts[] = {"<img src=\"cid:", chart.contentId, "\" alt=\"", alt,
                                    "\" width=\"800\" height=\"360\"><br>"};
  std::string codePage;
  if (platform::FromUtf8Exact(alt, codePage))
    text.Append({parts[0], parts[1], parts[2], codePage, parts[4]});
  else
    text.AppendUtf8({parts[0], parts[1], parts[2], parts[3], parts[4]});
}

// The head row's labels, kept for choosing chart columns later.
void KeepSelectHead(TReportText& text, std::size_t number, const db::TRecordSet& records) {
  TSelectHead head{number, {}};
  for (int i = 0; i < records.FieldCount(); ++i)
    head.columns.push_back(records.DisplayNameIsUtf8(i) ? records.DisplayName(i)
                                                        : platform::ToUtf8(records.DisplayName(i)));
  text.SelectHeads().push_back(std::move(head));
}

const TChartRequest* ChartRequestOf(const std::vector<TChartRequest>& requests, std::size_t number) {
  const auto found = std::ranges::find(requests, number, &TChartRequest::statement);
  return found == requests.end() ? nullptr : &*found;
}

// Writes the table into the report and, when `csv` is set, the same names and
// value texts as one more CSV table. With a chart request the chart's values are
// collected from the same rows.
void WriteSelectTable(db::TDatenbankAdo& connection, const db::TStatementText& statement, std::size_t number,
                      TReportText& text, TEventThrottle& throttle, TCsvTables* csv, const TChartRequest* chartRequest) {
  // The record set closes itself when it goes, also on failure.
  const std::unique_ptr<db::TRecordSet> records = connection.GetData(statement.text, statement.encoding);
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
    const bool utf8Name = records->DisplayNameIsUtf8(i);
    // Only ASCII letters and digits stay in a class name: the code page form gives the same.
    const std::string className = ColumnClassName(utf8Name ? platform::FromUtf8(displayName) : displayName);
    names.Register(className);
    TColumn& column = columns[static_cast<std::size_t>(i)];
    column.cellClass = className + ' ' + db::TDatenbankAdo::FieldTypeName(records->DataType(i));
    AppendCell(text, {"<th class=\"", column.cellClass, "\">", displayName, "</th>"}, utf8Name);
  }
  text.Append("</tr>");
  if (csv) {
    csv->StartTable();
    for (int i = 0; i < fieldCount; ++i) csv->AddField(records->DisplayName(i), records->DisplayNameIsUtf8(i));
    csv->EndRecord();
  }

  if (records->Eof()) {
    text.Append({"<tr class=\"empty\"><td colspan=\"", TDecimalText(fieldCount).View(),
                 "\">kein Ergebnis</td></tr>"});
  }
  while (!records->Eof()) {
    const int recNo = records->RecNo();
    text.Append({"<tr id=\"row", TDecimalText(recNo).View(), "\" class=\"", recNo % 2 == 0 ? "even" : "odd",
                 "\">"});
    for (int i = 0; i < fieldCount; ++i) {
      AppendCell(text, {"<td class=\"", columns[static_cast<std::size_t>(i)].cellClass, "\">", records->Value(i),
                        "</td>"},
                 records->ValueIsUtf8(i));
    }
    text.Append("</tr>");
    for (int i = 0; i < fieldCount; ++i) {
      columns[static_cast<std::size_t>(i)].sum.Add(TextToNumber(records->Value(i)));
    }
    if (csv) {
      for (int i = 0; i < fieldCount; ++i) csv->AddField(records->Value(i), records->ValueIsUtf8(i));
      csv->EndRecord();
    }
    if (chart) chart->AddRow(*records);
    text.AddRow();
    throttle.Tick();
    records->Next();
  }

  const char separator = platform::DecimalSeparator();
  text.Append("<tr class=\"sum\">");
  for (const TColumn& column : columns) {
    text.Append({"<th class=\"", column.cellClass, "\"><span>"});
    text.Append(FormatSum(column.sum.Value(), separator));
    text.Append("</span></th>");
  }
  text.Append("</tr>");
  text.Append("</table><br>");
  records->Close();
  if (chart) text.Charts().push_back(chart->Finish());
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
                          const db::TStatementText& statement, std::size_t number, config::TMyIniFile& ini,
                          TReportText& text) {
  int changed = 0;
  if (kind.kind == "update") {
    changed = connection.ExecuteUpdate(statement.text, statement.encoding);
  } else if (kind.kind == "delete") {
    changed = connection.ExecuteDelete(statement.text, statement.encoding);
  } else {
    changed = connection.Execute(statement.text, statement.encoding);
  }
  if (!ini.ReadFlag("datenbank", kind.flag, false)) return;
  AppendTableStart(text, number);
  // The row end is UTF-8: in the code page when it fits there, else the report becomes UTF-8.
  std::string rowEnd;
  if (platform::FromUtf8Exact(kind.rowEnd, rowEnd))
    text.Append({kind.rowStart, TDecimalText(changed).View(), rowEnd});
  else
    text.AppendUtf8({kind.rowStart, TDecimalText(changed).View(), kind.rowEnd});
  text.Append("</table><br>");
  text.AddRow();
}

std::vector<bool> SelectFlags(const std::vector<db::TStatementText>& statements) {
  std::vector<bool> selects;
  for (const db::TStatementText& statement : statements)
    selects.push_back(db::TDatenbankAdo::StatementKind(statement.text) == "select");
  return selects;
}

void WriteDocument(config::TMyIniFile& ini, db::TConnectionOwner& connection, TReportText& text,
                   TReportView& view) {
  text.Append("<html>");
  AppendDecoration(ini, "css", text, "<style>", "</style>");
  text.Append("<body>");
  text.Append("<div class=\"kopfzeile\">");
  AppendDecoration(ini, "kopfzeile", text, "", "");
  text.Append("</div>");
  text.SetRowCount(0);
  text.SetTableCount(0);

  db::TDatenbankAdo& database = connection.Get();
  bool scriptUtf8 = false;
  const std::string script = ini.ReadText("sql", scriptUtf8);
  const std::vector<db::TStatementText> statements =
      db::SplitStatements(script, scriptUtf8 ? platform::TextEncoding::Utf8 : platform::TextEncoding::CodePage);
  TCsvTables* const csv = WantsCsvAttachments(ini) ? &text.CsvTables() : nullptr;
  const std::vector<TChartRequest> charts = ReadChartRequests(ini, SelectFlags(statements));

  TEventThrottle throttle(text, view);
  for (std::size_t number = 0; number < statements.size(); ++number) {
    const db::TStatementText& statement = statements[number];
    view.StatementStarted(number + 1, statements.size(), statement.text, statement.encoding);
    const std::string kind = db::TDatenbankAdo::StatementKind(statement.text);
    if (kind == "select") {
      WriteSelectTable(database, statement, number, text, throttle, csv, ChartRequestOf(charts, number));
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
  AppendDecoration(ini, "fusszeile", text, "", "");
  text.Append("</div>");
  text.Append("</body></html>");
}

void LoadPreview(const TReportText& text, TReportView& view) {
  view.PiecesAppended(text);
  view.LoadPreview(text.DocumentText());
}

}  // namespace

std::string ColumnClassName(std::string_view displayName) {
  std::string lower(displayName);
  for (size_t i = 0; i < lower.size(); ++i) {
    char& c = lower[i];
    if (platform::IsDbcsLeadByte(static_cast<unsigned char>(c))) {
      ++i;  // the second byte of a double-byte character is no letter
    } else {
      c = platform::ToLowerAscii(c);
    }
  }
  return KeepChars(lower, kClassChars);
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
