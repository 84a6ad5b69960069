// The mail job's text rules: subject clean-up, priority mapping, body lines,
// and the one-line form of failures on stderr.
#include <gtest/gtest.h>

#include "dispatch/email.h"
#include "dispatch/send_command.h"
#include "platform/code_page.h"
#include "platform/stderr_line.h"

namespace vornetta::dispatch {
namespace {

TEST(CleanSubject, TurnsBreaksAndTabsIntoBlanksAndHalvesBlankRuns) {
  EXPECT_EQ(CleanSubject("\r\n"), " ");
  EXPECT_EQ(CleanSubject("Umsatz\r\nOktober"), "Umsatz Oktober");
  EXPECT_EQ(CleanSubject("Umsatz\tOktober"), "Umsatz Oktober");
  EXPECT_EQ(CleanSubject("a\rb\nc"), "a b c");
  // Pairs do not overlap: three blanks give two, four give two, five give three.
  EXPECT_EQ(CleanSubject("a   b"), "a  b");
  EXPECT_EQ(CleanSubject("a    b"), "a  b");
  EXPECT_EQ(CleanSubject("a     b"), "a   b");
  EXPECT_EQ(CleanSubject(" a "), " a ");
  EXPECT_EQ(CleanSubject("\t\t"), " ");
  EXPECT_EQ(CleanSubject(""), "");
}

TEST(MessagePriority, MapsOneToFiveAndEverythingElseToNormal) {
  EXPECT_EQ(MessagePriority(1), message::mpHighest);
  EXPECT_EQ(MessagePriority(2), message::mpHigh);
  EXPECT_EQ(MessagePriority(3), message::mpNormal);
  EXPECT_EQ(MessagePriority(4), message::mpLow);
  EXPECT_EQ(MessagePriority(5), message::mpLowest);
  EXPECT_EQ(MessagePriority(0), message::mpNormal);
  EXPECT_EQ(MessagePriority(6), message::mpNormal);
  EXPECT_EQ(MessagePriority(-1), message::mpNormal);
}

TEST(BodyLines, SplitsAtEveryBreakWithoutAnExtraLineAtTheEnd) {
  using Lines = std::vector<std::string>;
  EXPECT_EQ(BodyLines(""), Lines{});
  EXPECT_EQ(BodyLines("a"), Lines{"a"});
  EXPECT_EQ(BodyLines("a\r\n"), Lines{"a"});
  EXPECT_EQ(BodyLines("a\r\nb\r\n"), (Lines{"a", "b"}));
  EXPECT_EQ(BodyLines("a\rb\nc\r\nd"), (Lines{"a", "b", "c", "d"}));
  EXPECT_EQ(BodyLines("a\r\n\r\nb"), (Lines{"a", "", "b"}));
  EXPECT_EQ(BodyLines("\n\r"), (Lines{"", ""}));
  EXPECT_EQ(BodyLines("\r\n"), Lines{""});
  // LF CR is two breaks, CR LF one.
  EXPECT_EQ(BodyLines("a\n\rb"), (Lines{"a", "", "b"}));
}

TEST(StderrLine, PutsAMessageOnOneLine) {
  using platform::StderrLine;
  EXPECT_EQ(StderrLine("Socket-Fehler # 10061\r\nVerbindung abgelehnt."),
            "Socket-Fehler # 10061 Verbindung abgelehnt.");
  EXPECT_EQ(StderrLine("5.7.1 Relaying denied\r\n"), "5.7.1 Relaying denied");
  EXPECT_EQ(StderrLine("a\nb\rc\r\n\r\n"), "a b c");
  // Control characters of C0 and C1 cannot move the terminal's cursor.
  EXPECT_EQ(StderrLine("a\xC2\x9B" "31mb\x1B\r\nEmpf\xC3\xA4nger \xE2\x80\x93 \xC2\xA0x \r\n"),
            "a?31mb? Empf\xC3\xA4nger \xE2\x80\x93 \xC2\xA0x");
}

}  // namespace
}  // namespace vornetta::dispatch
