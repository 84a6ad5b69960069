// The send condition on fixed facts: every operator, "und" before "oder",
// numbers in both forms, and conditions that cannot be read or checked.
#include "report/send_condition.h"

#include <gtest/gtest.h>

#include <string>

using namespace vornetta;
using report::TSendCondition;

namespace {

report::TReportFacts Facts() {
  report::TReportFacts facts;
  facts.statements = {
      {true, 0, {{"Nr", "0", 0}}},
      {true, 3, {{"Betrag", "4999,99", 4999.99}, {"Umsatz 2024", "12", 12}}},
      {false, 5, {}},
  };
  return facts;
}

bool Holds(const std::string& condition) { return TSendCondition(condition, 3).Holds(Facts()); }

std::string Failure(const std::string& condition) {
  try {
    TSendCondition(condition, 3).Holds(Facts());
  } catch (const report::ESendConditionError& e) {
    return std::string(e.what());
  }
  return "";
}

TEST(SendCondition, ComparesRowsAndSumsWithEveryOperator) {
  EXPECT_TRUE(Holds(""));
  EXPECT_TRUE(Holds("  "));
  EXPECT_FALSE(Holds("zeilen:0 > 0"));
  EXPECT_TRUE(Holds("zeilen:1 > 0"));
  EXPECT_TRUE(Holds("zeilen = 3"));  // data rows of the selects; the update's 5 do not count
  EXPECT_TRUE(Holds("zeilen:2 = 5"));
  EXPECT_TRUE(Holds("zeilen <> 4"));
  EXPECT_FALSE(Holds("zeilen <> 3"));
  EXPECT_TRUE(Holds("zeilen <= 3"));
  EXPECT_FALSE(Holds("zeilen < 3"));
  EXPECT_TRUE(Holds("zeilen >= 3"));
  EXPECT_FALSE(Holds("zeilen>3"));
  // Sums compare as shown, with the regional or the plain decimal separator.
  EXPECT_TRUE(Holds("summe:1:Betrag < 5000"));
  EXPECT_TRUE(Holds("summe:1:Betrag = 4999,99"));
  EXPECT_TRUE(Holds("summe:1:Betrag = 4999.99"));
  EXPECT_FALSE(Holds("summe:1:Betrag > 4999,990"));
  EXPECT_TRUE(Holds("summe:1:betrag >= -1"));
  EXPECT_TRUE(Holds("summe:1: Umsatz 2024 =12"));
}

TEST(SendCondition, UndBindsCloserThanOderAndParenthesesGroup) {
  EXPECT_TRUE(Holds("zeilen:1 > 0 oder zeilen:0 > 0 und zeilen:2 > 100"));
  EXPECT_FALSE(Holds("(zeilen:1 > 0 oder zeilen:0 > 0) und zeilen:2 > 100"));
  EXPECT_TRUE(Holds("zeilen:0 > 0 und zeilen:2 > 100 oder zeilen:1 = 3"));
  EXPECT_FALSE(Holds("zeilen:0 > 0 oder zeilen:1 = 4 oder zeilen:2 = 0"));
  EXPECT_TRUE(Holds("zeilen:1 > 0 UND zeilen:2 > 0 und summe:1:Betrag < 5000"));
}

TEST(SendCondition, UnreadableConditionsNameTheSetting) {
  for (const char* wrong : {"zeilen", "zeilen >", "zeilen > viele", "zeilen:3 > 0", "zeilen: > 0", "summe:1 > 0",
                            "summe:1: > 0", "reihen > 0", "zeilen > 0 und", "zeilen > 0 oder oder zeilen > 1",
                            "(zeilen > 0", "zeilen > 0)", "zeilen => 1", "zeilen > 1,2,3", "zeilen > 0 und; drop"}) {
    try {
      TSendCondition condition(wrong, 3);
      ADD_FAILURE() << wrong << " was read";
    } catch (const report::ESendConditionError& e) {
      EXPECT_NE(std::string(e.what()).find("Einstellung sendenWenn"), std::string::npos) << std::string(e.what());
    }
  }
  EXPECT_NE(Failure("zeilen:7 > 0").find("eine Anweisung 7 gibt es nicht"), std::string::npos);
  // Columns are known only after the build.
  EXPECT_EQ(Failure("summe:1:Fehlt > 0"),
            "Die Bedingung \"summe:1:Fehlt > 0\" kann nicht geprüft werden: die Anweisung 1 hat keine Spalte "
            "\"Fehlt\" (Bedingung, Einstellung sendenWenn).");
  EXPECT_NE(Failure(std::string(200, '(') + "zeilen > 0" + std::string(200, ')')).find("zu tief"),
            std::string::npos);
}

}  // namespace
