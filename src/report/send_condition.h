// The send condition (setting "sendenWenn" of section "email"): comparisons of
// row counts and column sums with numbers, joined by "und" and "oder" ("und"
// binds closer; parentheses group), read before the build and tested on its facts.
//
//   condition  := all ("oder" all)*
//   all        := part ("und" part)*
//   part       := "(" condition ")" | operand operator number
//   operand    := "zeilen" | "zeilen:" N | "summe:" N ":" column
//   operator   := "=" | "<>" | "<" | "<=" | ">" | ">="
//   number     := digits with "," or "." as the decimal separator, optional sign
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "platform/failure.h"
#include "report/report_facts.h"

namespace vornetta::report {

// A condition that cannot be read, or that names what the report lacks.
class ESendConditionError : public platform::EFailure {
 public:
  using EFailure::EFailure;
};

class TSendCondition {
 public:
  // Reads the UTF-8 text of the setting; an empty text (blanks only) always
  // holds. A statement number must be below `statementCount`. Throws
  // ESendConditionError naming the setting.
  TSendCondition(std::string_view utf8Text, std::size_t statementCount);
  ~TSendCondition();
  TSendCondition(TSendCondition&&) noexcept;
  TSendCondition& operator=(TSendCondition&&) noexcept;

  // Whether the built report is to be sent. Throws ESendConditionError when a
  // sum names a column its statement does not have.
  bool Holds(const TReportFacts& facts) const;

  struct TNode;

 private:
  std::string text_;
  std::unique_ptr<TNode> root_;  // null: always holds
};

}  // namespace vornetta::report
