// What section "diagramm" asks for: per select statement (key N as in the table's
// class sqlN) a chart kind, the X column and one or more Y columns, named by their
// labels in the head row: "balken;Monat;Umsatz,Kosten".
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace vornetta::config {
class TMyIniFile;
}

namespace vornetta::report {

inline constexpr char kChartSection[] = "diagramm";

enum class TChartKind { Bars, Line, Area, Pie };

struct TChartRequest {
  std::string key;  // the key as written, for messages
  std::size_t statement = 0;
  TChartKind kind = TChartKind::Bars;
  std::string xColumn;  // UTF-8
  std::vector<std::string> yColumns;
};

// The setting's word of a kind ("balken", "linie", "flaeche", "torte") and its
// German name for people ("Balken", "Linie", "Fläche", "Torte").
std::string_view ChartKindWord(TChartKind kind);
std::string_view ChartKindName(TChartKind kind);

// One key and its UTF-8 value. Throws EReportError naming the key and the
// reason: a key that is no statement number, an unknown kind, a missing column,
// more than one Y column for "torte".
TChartRequest ParseChartRequest(std::string_view key, std::string_view valueUtf8);

// The requests of section "diagramm" in statement order, checked against the
// script: `selects[n]` tells whether statement n is a select. Throws EReportError
// for a number beyond the script or of a statement that is no select. A file
// without the section gives none and reads nothing else.
std::vector<TChartRequest> ReadChartRequests(config::TMyIniFile& ini, const std::vector<bool>& selects);

// Throws EReportError "Einstellung KEY im Abschnitt diagramm: REASON" (UTF-8).
[[noreturn]] void RefuseChartSetting(std::string_view key, const std::string& reason);

// The value as the section stores it.
std::string ChartSettingValue(const TChartRequest& request);

}  // namespace vornetta::report
