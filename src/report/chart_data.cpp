#include "report/chart_data.h"

#include <langinfo.h>

#include <charconv>
#include <cmath>
#include <ctime>
#include <limits>

#include "db/datenbank_ado.h"
#include "db/record_set.h"
#include "platform/code_page.h"
#include "platform/text.h"
#include "report/column_sum.h"
#include "report/report_builder.h"

namespace vornetta::report {
namespace {

constexpr double kNoValue = std::numeric_limits<double>::quiet_NaN();

int FindColumn(const db::TRecordSet& head, const std::string& key, const std::string& name, std::string_view role) {
  std::string known;
  for (int i = 0; i < head.FieldCount(); ++i) {
    const std::string label = head.DisplayName(i);
    if (platform::EqualsNoCase(label, name)) return i;
    known += (i > 0 ? ", " : "") + label;
  }
  RefuseChartSetting(key, "die " + std::string(role) + " \"" + name + "\" gibt es im Ergebnis nicht (Spalten: " + known + ")");
}

// Seconds since 1970 of a date (or date and time) written in the short formats
// of the regional settings, or as ISO 8601; NaN when it is neither.
double ParseMoment(const std::string& text, const std::string& regionalFormat, bool withTime) {
  if (text.empty()) return kNoValue;
  for (const char* format : {regionalFormat.c_str(), withTime ? "%Y-%m-%d %H:%M:%S" : "%Y-%m-%d"}) {
    std::tm when{};
    const char* end = ::strptime(text.c_str(), format, &when);
    if (end != nullptr && platform::Trim(end).empty()) return static_cast<double>(::timegm(&when));
  }
  return kNoValue;
}

std::string AltText(const TChartRequest& request) {
  std::string text = "Diagramm: " + std::string(ChartKindName(request.kind)) + ", ";
  for (std::size_t i = 0; i < request.yColumns.size(); ++i) {
    if (i > 0) text += i + 1 == request.yColumns.size() ? " und " : ", ";
    text += request.yColumns[i];
  }
  return text + " nach " + request.xColumn;
}

}  // namespace

void TLabelList::Add(std::string_view label) {
  text_.append(label);
  ends_.push_back(text_.size());
}

void TLabelList::Replace(std::size_t index, std::string_view label) {
  if (index + 1 != ends_.size()) return;
  text_.resize(index == 0 ? 0 : ends_[index - 1]);
  text_.append(label);
  ends_.back() = text_.size();
}

std::string_view TLabelList::operator[](std::size_t index) const {
  const std::size_t start = index == 0 ? 0 : ends_[index - 1];
  return std::string_view(text_).substr(start, ends_[index] - start);
}

std::string ChartContentId(std::size_t statement) {
  return "diagramm-sql" + std::to_string(statement) + "@vornetta";
}

bool ParseNumberText(std::string_view text, double& value) {
  text = platform::Trim(text);
  if (text.empty()) return false;
  std::string plain(text.front() == '+' ? text.substr(1) : text);
  for (char& c : plain)
    if (c == ',') c = '.';
  const char first = plain.empty() ? 'x' : plain.front();
  if (!((first >= '0' && first <= '9') || first == '-' || first == '.')) return false;
  const auto [end, error] = std::from_chars(plain.data(), plain.data() + plain.size(), value);
  return error == std::errc() && end == plain.data() + plain.size() && std::isfinite(value);
}

TChartCollector::TChartCollector(const TChartRequest& request, const db::TRecordSet& head) : key_(request.key) {
  x_ = FindColumn(head, key_, request.xColumn, "X-Spalte");
  data_.statement = request.statement;
  data_.kind = request.kind;
  data_.contentId = ChartContentId(request.statement);
  data_.altText = AltText(request);
  data_.xName = head.DisplayName(x_);
  for (const std::string& name : request.yColumns) {
    const int y = FindColumn(head, key_, name, "Y-Spalte");
    const std::string type = db::TDatenbankAdo::FieldTypeName(head.DataType(y));
    if (type == "date" || type == "time" || type == "datetime")
      RefuseChartSetting(key_, "die Y-Spalte \"" + name + "\" ist nicht numerisch (Typ " + type + ")");
    ys_.push_back(y);
    checkNumbers_.push_back(type != "integer" && type != "double");
    data_.yNames.push_back(head.DisplayName(y));
  }
  categories_ = request.kind == TChartKind::Bars || request.kind == TChartKind::Pie;
  const std::string xType = db::TDatenbankAdo::FieldTypeName(head.DataType(x_));
  if (!categories_ && (xType == "date" || xType == "datetime")) {
    data_.dateAxis = true;
    data_.withTime = xType == "datetime";
    dateFormat_ = ::nl_langinfo(D_FMT);
    if (data_.withTime) dateFormat_ += std::string(" ") + ::nl_langinfo(T_FMT);
  }
}

std::size_t TChartCollector::CategoryOf(std::string_view label) {
  std::string key(label);
  if (const auto found = categoryIndex_.find(key); found != categoryIndex_.end()) return found->second;
  const std::size_t count = data_.labels.Size();
  if (count < kMaxCategories) {
    categoryIndex_.emplace(std::move(key), count);
    data_.labels.Add(label);
    data_.values.resize(data_.values.size() + ys_.size(), 0.0);
    return count;
  }
  // One category more than fits: the last one becomes "Sonstige" and takes every
  // category not seen before it.
  if (!folded_) {
    const std::size_t last = count - 1;
    categoryIndex_.erase(std::string(data_.labels[last]));
    data_.labels.Replace(last, kOtherCategory);
    folded_ = true;
  }
  return count - 1;
}

void TChartCollector::AddRow(const db::TRecordSet& record) {
  double point[16];
  std::vector<double> many;
  double* values = point;
  if (ys_.size() > std::size(point)) {
    many.resize(ys_.size());
    values = many.data();
  }
  for (std::size_t i = 0; i < ys_.size(); ++i) {
    const std::string& text = record.Value(ys_[i]);
    double value = kNoValue;
    if (checkNumbers_[i]) {
      if (!platform::Trim(text).empty() && !ParseNumberText(text, value))
        RefuseChartSetting(key_, "die Y-Spalte \"" + data_.yNames[i] + "\" ist nicht numerisch (Wert \"" +
                         record.Value(ys_[i]) + "\" in Zeile " + std::to_string(record.RecNo()) + ")");
    } else if (!platform::Trim(text).empty()) {
      value = TextToNumber(text);
    }
    values[i] = value;
  }

  if (categories_) {
    const std::size_t category = CategoryOf(record.Value(x_));
    for (std::size_t i = 0; i < ys_.size(); ++i)
      if (!std::isnan(values[i])) data_.values[category * ys_.size() + i] += values[i];
    return;
  }
  if (data_.dateAxis) {
    const double moment = ParseMoment(record.Value(x_), dateFormat_, data_.withTime);
    if (std::isnan(moment)) return;  // a point without a date has no place on the axis
    data_.xs.push_back(moment);
  } else {
    data_.labels.Add(record.Value(x_));
  }
  data_.values.insert(data_.values.end(), values, values + ys_.size());
}

}  // namespace vornetta::report
