#include "report/chart_request.h"

#include <algorithm>
#include <charconv>

#include "config/my_ini_file.h"
#include "platform/code_page.h"
#include "platform/text.h"
#include "report/report_builder.h"

namespace vornetta::report {
namespace {

struct TKindWords {
  TChartKind kind;
  std::string_view word;
  std::string_view name;
};

constexpr TKindWords kKinds[] = {
    {TChartKind::Bars, "balken", "Balken"},
    {TChartKind::Line, "linie", "Linie"},
    {TChartKind::Area, "flaeche", "Fläche"},
    {TChartKind::Pie, "torte", "Torte"},
};

std::vector<std::string> SplitTrimmed(std::string_view text, char separator) {
  std::vector<std::string> parts;
  for (;;) {
    const std::size_t end = text.find(separator);
    parts.emplace_back(platform::Trim(text.substr(0, end)));
    if (end == std::string_view::npos) return parts;
    text.remove_prefix(end + 1);
  }
}

}  // namespace

std::string_view ChartKindWord(TChartKind kind) {
  for (const TKindWords& k : kKinds)
    if (k.kind == kind) return k.word;
  return {};
}

std::string_view ChartKindName(TChartKind kind) {
  for (const TKindWords& k : kKinds)
    if (k.kind == kind) return k.name;
  return {};
}

TChartRequest ParseChartRequest(std::string_view key, std::string_view valueUtf8) {
  TChartRequest request;
  request.key = std::string(key);
  const std::string_view number = platform::Trim(key);
  const auto [end, error] = std::from_chars(number.data(), number.data() + number.size(), request.statement);
  if (number.empty() || error != std::errc() || end != number.data() + number.size())
    RefuseChartSetting(key, "der Name muss die Nummer einer Anweisung sein (0 für die erste, wie in der Klasse sql0)");

  const std::vector<std::string> fields = SplitTrimmed(valueUtf8, ';');
  if (fields.size() != 3)
    RefuseChartSetting(key, "erwartet wird ART;X-SPALTE;Y-SPALTE[,Y-SPALTE...], zum Beispiel balken;Monat;Umsatz");
  const auto kind = std::ranges::find_if(
      kKinds, [&](const TKindWords& k) { return platform::EqualsNoCase(k.word, fields[0]); });
  if (kind == std::end(kKinds))
    RefuseChartSetting(key, "unbekannte Diagrammart \"" + fields[0] + "\" (erlaubt sind balken, linie, flaeche, torte)");
  request.kind = kind->kind;
  request.xColumn = fields[1];
  if (request.xColumn.empty()) RefuseChartSetting(key, "die X-Spalte fehlt");
  for (std::string& y : SplitTrimmed(fields[2], ',')) {
    if (y.empty()) RefuseChartSetting(key, "eine Y-Spalte fehlt");
    request.yColumns.push_back(std::move(y));
  }
  if (request.kind == TChartKind::Pie && request.yColumns.size() > 1)
    RefuseChartSetting(key, "eine Torte zeigt genau eine Y-Spalte");
  return request;
}

std::vector<TChartRequest> ReadChartRequests(config::TMyIniFile& ini, const std::vector<bool>& selects) {
  std::vector<TChartRequest> requests;
  if (!ini.HasSection(kChartSection)) return requests;
  for (const std::string& key : ini.KeyNames(kChartSection)) {
    // The key exists, so this lossless read stores nothing.
    TChartRequest request = ParseChartRequest(key, ini.ReadValueDefault(kChartSection, key, ""));
    if (request.statement >= selects.size())
      RefuseChartSetting(request.key, "das Skript hat keine Anweisung " + std::to_string(request.statement) +
                              " (gezählt ab 0, wie in der Klasse sql" + std::to_string(request.statement) + ")");
    if (!selects[request.statement])
      RefuseChartSetting(request.key, "Anweisung " + std::to_string(request.statement) + " ist kein select");
    if (std::ranges::any_of(requests, [&](const TChartRequest& r) { return r.statement == request.statement; }))
      RefuseChartSetting(request.key, "für Anweisung " + std::to_string(request.statement) + " ist schon ein Diagramm eingetragen");
    requests.push_back(std::move(request));
  }
  std::ranges::sort(requests, {}, &TChartRequest::statement);
  return requests;
}

void RefuseChartSetting(std::string_view key, const std::string& reason) {
  throw EReportError("Einstellung " + std::string(key) + " im Abschnitt diagramm: " +
                                            reason);
}

std::string ChartSettingValue(const TChartRequest& request) {
  std::string value(ChartKindWord(request.kind));
  value += ';';
  value += request.xColumn;
  value += ';';
  for (std::size_t i = 0; i < request.yColumns.size(); ++i) {
    if (i > 0) value += ',';
    value += request.yColumns[i];
  }
  return value;
}

}  // namespace vornetta::report
