// The values a chart is drawn from, collected row by row while the report is
// built: only the X and Y values of a charted statement. Bars and pies keep at
// most kMaxCategories categories as they go (the rest summed as "Sonstige");
// lines and areas keep every row.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "report/chart_request.h"

namespace vornetta::db {
class TRecordSet;
}

namespace vornetta::report {

inline constexpr std::size_t kMaxCategories = 50;
inline constexpr std::string_view kOtherCategory = "Sonstige";

// Labels in one buffer, so a long line chart holds no string object per row.
class TLabelList {
 public:
  void Add(std::string_view label);
  void Replace(std::size_t index, std::string_view label);  // only the last one
  std::string_view operator[](std::size_t index) const;
  std::size_t Size() const { return ends_.size(); }
  std::size_t Bytes() const { return text_.capacity() + ends_.capacity() * sizeof(std::size_t); }

 private:
  std::string text_;
  std::vector<std::size_t> ends_;
};

struct TChartData {
  std::size_t statement = 0;
  TChartKind kind = TChartKind::Bars;
  std::string contentId;  // without the angle brackets
  std::string altText;    // UTF-8, "Diagramm: Balken, Umsatz nach Monat"
  std::string xName;      // UTF-8 column labels
  std::vector<std::string> yNames;
  // Lines and areas over a date column: the X positions are moments (seconds
  // since 1970, no time zone), in xs; otherwise each point has a label.
  bool dateAxis = false;
  bool withTime = false;  // the X column holds times of day besides the dates
  std::vector<double> xs;
  TLabelList labels;
  // Point by point, one value per Y column: values[point * yNames.size() + y]; NaN for NULL.
  std::vector<double> values;

  std::size_t PointCount() const { return yNames.empty() ? 0 : values.size() / yNames.size(); }
  double Value(std::size_t point, std::size_t y) const { return values[point * yNames.size() + y]; }
};

// The column labels (UTF-8) of one select statement's result.
struct TSelectHead {
  std::size_t statement = 0;
  std::vector<std::string> columns;
};

// The Content-ID of statement N's chart.
std::string ChartContentId(std::size_t statement);

class TChartCollector {
 public:
  // Finds the columns in the result's head row. Throws EReportError naming the
  // key for a missing column and for a Y column of date or time type.
  TChartCollector(const TChartRequest& request, const db::TRecordSet& head);

  // The current record's X and Y values. Throws EReportError for a Y value that
  // is no number.
  void AddRow(const db::TRecordSet& record);

  // What is known before the rows: statement, kind, Content-ID, names.
  const TChartData& Data() const { return data_; }
  TChartData Finish() { return std::move(data_); }

 private:
  std::size_t CategoryOf(std::string_view label);

  std::string key_;
  int x_ = -1;
  std::vector<int> ys_;
  std::vector<bool> checkNumbers_;  // Y columns whose type does not promise numbers
  bool categories_ = false;
  bool folded_ = false;
  std::unordered_map<std::string, std::size_t> categoryIndex_;
  std::string dateFormat_;
  TChartData data_;
};

// A value text as a number: optional sign, digits with "," or "." as the decimal
// separator, an optional exponent, blanks around. False for anything else.
bool ParseNumberText(std::string_view text, double& value);

}  // namespace vornetta::report
