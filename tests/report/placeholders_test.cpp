// Placeholders of subject, header and footer filled from the facts of a build at
// fixed moments: calendar ends, ISO weeks, daylight saving changes in Berlin,
// braces that are no placeholder, and escaping for HTML.
#include "report/placeholders.h"

#include <gtest/gtest.h>

#include <clocale>
#include <string>

#include "platform/host.h"
#include "platform/time_zone.h"

using namespace vornetta;
using report::ResolvePlaceholders;
using report::TPlaceholderText;

namespace {

// 2026-12-08 23:30:00 UTC: already 9 December in Berlin.
constexpr std::time_t kLateEvening = 1796772600;

class Placeholders : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!std::setlocale(LC_ALL, "de_DE.UTF-8")) GTEST_SKIP() << "locale de_DE.UTF-8 missing";
    facts_.zone = platform::TTimeZone("Europe/Berlin");
    facts_.moment = kLateEvening;
    facts_.configName = "Umsätze <Filialen>";
    facts_.statements = {
        {true, 3, {{"Kunde", "0", 0}, {"Betrag", "1234,5", 1234.5}}},
        {false, 2, {}},
        {true, 4, {{"Größe", "7", 7}}},
    };
  }
  void TearDown() override { std::setlocale(LC_ALL, "C"); }

  std::string At(std::time_t moment, std::string_view text) {
    facts_.moment = moment;
    return ResolvePlaceholders(text, facts_, TPlaceholderText::Plain);
  }

  report::TReportFacts facts_;
};

TEST_F(Placeholders, EveryNameAtOneMomentInTheConfiguredZone) {
  EXPECT_EQ(At(kLateEvening, "{datum} {datum-1} {datum+1} {zeit} KW {kw} {monat} {monat-1} {jahr} {jahr-1}"),
            "09.12.2026 08.12.2026 10.12.2026 00:30 KW 50 Dezember 2026 November 2026 2026 2025");
  EXPECT_EQ(At(kLateEvening, "{datum:JJJJ-MM-TT hh.mm} {datum-1:TT. MMMM JJ}"), "2026-12-09 00.30 08. Dezember 26");
  // Rows of every select (3 + 4), of one statement, changed records of a changing one, sums as shown.
  EXPECT_EQ(At(kLateEvening, "{zeilen}/{zeilen:0}/{zeilen:1}/{zeilen:2}"), "7/3/2/4");
  EXPECT_EQ(At(kLateEvening, "{summe:0:Betrag} {summe:0:betrag} {summe:2:Größe}"), "1234,5 1234,5 7");
  EXPECT_EQ(At(kLateEvening, "{datei} {rechner}"), "Umsätze <Filialen> " + platform::HostName());

  // The same moment on the system's zone (the tests run in UTC).
  facts_.zone = platform::TTimeZone("UTC");
  EXPECT_EQ(At(kLateEvening, "{datum-1} {zeit}"), "07.12.2026 23:30");
}

TEST_F(Placeholders, OffsetsCrossMonthAndYearEndsAndWeeksFollowIso) {
  constexpr std::time_t kNewYearsDay2027 = 1798804800;  // Friday, noon UTC
  EXPECT_EQ(At(kNewYearsDay2027, "{datum-1}|{monat-1}|{monat+12}|{jahr}|{kw}|{datum+3:TT.MM.}"),
            "31.12.2026|Dezember 2026|Januar 2028|2027|53|04.01.");
  EXPECT_EQ(At(1798718400, "{kw}"), "53");                  // Thursday 31 December 2026
  EXPECT_EQ(At(1799064000, "{kw} {kw-1}"), "1 53");         // Monday 4 January 2027
  EXPECT_EQ(At(1835352000, "{datum+1} {datum+2}"), "29.02.2028 01.03.2028");  // leap year
  EXPECT_EQ(At(1835352000, "{monat-2:x}"), "{monat-2:x}");  // no format for months
}

TEST_F(Placeholders, DaylightSavingChangesOfBerlin) {
  // Last Sunday of March 2026: 02:00 becomes 03:00; of October: 03:00 becomes 02:00.
  constexpr std::time_t kBeforeSpring = 1774745999, kBeforeAutumn = 1792889999;
  EXPECT_EQ(At(kBeforeSpring, "{zeit}"), "01:59");
  EXPECT_EQ(At(kBeforeSpring + 1, "{zeit}"), "03:00");
  EXPECT_EQ(At(kBeforeAutumn, "{zeit}"), "02:59");
  EXPECT_EQ(At(kBeforeAutumn + 1, "{zeit}"), "02:00");
  EXPECT_EQ(facts_.zone.At(kBeforeSpring).utcOffset.count(), 60);
  EXPECT_EQ(facts_.zone.At(kBeforeSpring + 1).utcOffset.count(), 120);
  EXPECT_EQ(facts_.zone.At(kBeforeAutumn).utcOffset.count(), 120);
  EXPECT_EQ(facts_.zone.At(kBeforeAutumn + 1).utcOffset.count(), 60);
}

TEST_F(Placeholders, BracesThatAreNoPlaceholderStayAsWritten) {
  const std::string kept = "a {b} {Datum} {datum-x} {datum--1} {zeilen:9} {zeilen:-1} {summe:0:Fehlt} {summe:0} "
                           "{zeit+1} {datum+9999999} { } {} {datum {kw}} }{ {";
  EXPECT_EQ(At(kLateEvening, kept),
            "a {b} {Datum} {datum-x} {datum--1} {zeilen:9} {zeilen:-1} {summe:0:Fehlt} {summe:0} "
            "{zeit+1} {datum+9999999} { } {} {datum 50} }{ {");
  EXPECT_EQ(At(kLateEvening, "{{datum}} {{{kw}}} }}"), "{datum} {50} }");
  EXPECT_FALSE(report::MayHoldPlaceholders("Umsatz vom Vortag"));
  EXPECT_TRUE(report::QuotesResults("x {summe:0:Betrag}"));
  EXPECT_FALSE(report::QuotesResults("{datum} {{zeilen}}"));
}

TEST_F(Placeholders, HtmlGetsEscapedValuesAndKeepsItsOwnMarkup) {
  facts_.statements[0].totals[1].text = "<&\"'>";
  EXPECT_EQ(ResolvePlaceholders("<b>{datei}</b> {summe:0:Betrag} &nbsp;", facts_, TPlaceholderText::Html),
            "<b>Umsätze &lt;Filialen&gt;</b> &lt;&amp;&quot;&#39;&gt; &nbsp;");
}

TEST(TimeZone, UnknownNamesFailNamingTheSetting) {
  for (const char* name : {"Europe/Berln", "europe/berlin", "UTC+02:00", "../../etc/passwd"}) {
    try {
      platform::TTimeZone zone(name);
      ADD_FAILURE() << name << " accepted";
    } catch (const platform::ETimeZoneError& e) {
      EXPECT_NE(std::string(e.what()).find("Einstellung zeitzone"), std::string::npos) << std::string(e.what());
    }
  }
  EXPECT_TRUE(platform::TTimeZone("  ").IsSystem());
  EXPECT_EQ(platform::TTimeZone(" Europe/Berlin ").Name(), "Europe/Berlin");
  const std::vector<std::string> names = platform::TimeZoneNames();
  EXPECT_NE(std::find(names.begin(), names.end(), "Europe/Berlin"), names.end());
  EXPECT_TRUE(std::is_sorted(names.begin(), names.end()));
}

}  // namespace
