// The header block, the date text and the data-phase writer, byte for byte with
// the clock injected.
#include "message/message_writer.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <string>

#include "message_test_support.h"

namespace vornetta::message {
namespace {

using platform::Language;
using test::DecodeEncodedWords;
using test::LanguageScope;
using test::LineCollector;

constexpr TDateTime kSendTime{2026, 12, 7, 5, 10, 0};

// A message of the German report mail, the clock fixed at kSendTime in CET.
TIdMessage ReportMessage() {
  TIdMessage msg;
  msg.Clock.Now = [] { return kSendTime; };
  msg.Clock.UtcOffset = [] { return std::chrono::minutes(60); };
  msg.From.SetText("Berichtsdienst <bericht@example.com>");
  msg.Recipients.SetListText("chef@example.com");
  msg.CCList.SetListText("kopie@example.com");
  msg.BccList.SetListText("geheim@example.com");
  msg.Subject = "Umsätze für Oktober";
  msg.CharSet = "ISO-8859-15";
  msg.ContentType = "text/html";
  msg.Body = {"<html>", ".versteckt", "", "</html>"};
  return msg;
}

std::string Written(const TIdMessage& msg, TMessageParts parts = TMessageParts::HeaderAndBody) {
  LineCollector out;
  WriteMessage(out, msg, parts);
  return out.Wire();
}

TEST(MessageWriter, WritesTheTypicalReportMailByteForByte) {
  LanguageScope german(Language::Other);
  EXPECT_EQ(Written(ReportMessage()),
            "From: \"Berichtsdienst\" <bericht@example.com>\r\n"
            "Subject: =?ISO-8859-1?Q?Ums=E4tze_f=FCr?= Oktober\r\n"
            "To: chef@example.com\r\n"
            "Cc: kopie@example.com\r\n"
            "Content-Type: text/html;\r\n"
            "\tcharset=\"ISO-8859-15\"\r\n"
            "Date: Mon, 7 Dec 2026 05:10:00 +0100\r\n"
            "X-Priority: 3\r\n"
            "X-Library: Vornetta Mail 1.0\r\n"
            "\r\n"
            "<html>\r\n"
            "..versteckt\r\n"
            "\r\n"
            "</html>\r\n");
}

TEST(MessageWriter, LeavesOutEmptyHeadersKeepingTheOrder) {
  LanguageScope german(Language::Other);
  TIdMessage msg = ReportMessage();
  msg.Subject.clear();
  msg.CCList.Clear();
  msg.From = {};
  msg.CharSet.clear();
  msg.Priority = mpHighest;
  msg.Body.clear();
  msg.Recipients.SetListText("\"Müller, Hans\" <hm@example.com>, Anna <a@example.com>");
  EXPECT_EQ(Written(msg),
            "To: =?ISO-8859-1?Q?M=FCller=2C?= Hans <hm@example.com>, \"Anna\" <a@example.com>\r\n"
            "Content-Type: text/html\r\n"
            "Date: Mon, 7 Dec 2026 05:10:00 +0100\r\n"
            "X-Priority: 1\r\n"
            "X-Library: Vornetta Mail 1.0\r\n"
            "\r\n");
  msg.ContentType.clear();
  msg.CharSet = "UTF-8";
  msg.Priority = mpLowest;
  msg.Body = {"x"};
  EXPECT_EQ(Written(msg, TMessageParts::HeaderOnly),
            "To: =?ISO-8859-1?Q?M=FCller=2C?= Hans <hm@example.com>, \"Anna\" <a@example.com>\r\n"
            "Content-Type: charset=\"UTF-8\"\r\n"
            "Date: Mon, 7 Dec 2026 05:10:00 +0100\r\n"
            "X-Priority: 5\r\n"
            "X-Library: Vornetta Mail 1.0\r\n"
            "\r\n");
}

TEST(MessageWriter, WritesEveryPriorityAndTheExtraHeadersLast) {
  TIdMessage msg = ReportMessage();
  const TIdMessagePriority priorities[] = {mpHighest, mpHigh, mpNormal, mpLow, mpLowest};
  for (int i = 0; i < 5; ++i) {
    msg.Priority = priorities[i];
    EXPECT_EQ(msg.BuildHeaderLines().HeaderValue("X-Priority"), std::to_string(i + 1));
  }
  msg.ExtraHeaders.SetHeaderValue("X-Mailer", "Vornetta");
  msg.ExtraHeaders.SetHeaderValue("X-Report", "Oktober");
  msg.ExtraHeaders.SetHeaderValue("x-mailer", "");
  const TIdHeaderList headers = msg.BuildHeaderLines();
  EXPECT_EQ(headers.Lines().back(), "X-Report: Oktober");
  EXPECT_EQ(headers.HeaderValue("X-Mailer"), "");
  // Never written: BCC, MIME-Version, a transfer encoding, a message identifier.
  for (const std::string& line : headers.Lines())
    for (const char* name : {"Bcc", "MIME-Version", "Content-Transfer-Encoding", "Message-ID"})
      EXPECT_NE(line.rfind(name, 0), 0u) << line;
}

TEST(MessageWriter, FoldsALongUmlautSubjectIntoEncodedWordsWithoutEmptyLines) {
  LanguageScope german(Language::Other);
  TIdMessage msg = ReportMessage();
  msg.Subject.clear();
  for (int i = 0; i < 12; ++i) msg.Subject += "Übersicht Umsätze ";
  msg.Subject += "Oktober";
  const TIdHeaderList headers = msg.BuildHeaderLines();
  EXPECT_EQ(headers.Lines()[1], "Subject:");
  std::size_t i = 2;
  std::string value;
  for (; i < headers.Count() && (headers.Lines()[i][0] == ' ' || headers.Lines()[i][0] == '\t'); ++i) {
    const std::string& line = headers.Lines()[i];
    EXPECT_LE(line.size(), 76u) << line;
    EXPECT_EQ(line.find("=?ISO-8859-1?Q?"), 1u) << line;
    value += line;
  }
  EXPECT_GT(i, 5u);
  EXPECT_EQ(headers.Lines()[i], "To: chef@example.com");
  EXPECT_EQ(DecodeEncodedWords(value), " " + platform::FromUtf8(msg.Subject));  // the words hold the code page
  for (const std::string& line : headers.Lines()) EXPECT_FALSE(line.empty());
  EXPECT_EQ(headers.Lines()[2],
            " =?ISO-8859-1?Q?=DCbersicht_Ums=E4tze_=DCbersicht_Ums=E4tze_=DCbersicht_Um?=");
}

TEST(MessageWriter, WritesAJapaneseMessageInIso2022JP) {
  LanguageScope japanese(Language::Japanese);
  TIdMessage msg = ReportMessage();
  msg.Subject = "月次 report";  // "monthly"
  msg.Body = {"\x82\xA0", ".\x82\xA0"};
  LineCollector out;
  WriteMessage(out, msg);
  EXPECT_EQ(out.lines[1], "Subject: =?ISO-2022-JP?B?GyRCN248IRsoQg==?= report");
  ASSERT_GE(out.lines.size(), 2u);
  EXPECT_EQ(out.lines[out.lines.size() - 2], "\x1b$B\x24\x22\x1b(B");
  EXPECT_EQ(out.lines.back(), "..\x1b$B\x24\x22\x1b(B");
}

TEST(MessageWriter, WritesNothingWhenTheTimeZoneCannotBeRead) {
  TIdMessage msg = ReportMessage();
  msg.Clock.UtcOffset = []() -> std::chrono::minutes { throw EIdFailedToRetreiveTimeZoneInfo(); };
  LineCollector out;
  try {
    WriteMessage(out, msg);
    FAIL() << "no exception";
  } catch (const EIdFailedToRetreiveTimeZoneInfo& e) {
    EXPECT_EQ(std::string(e.what()), "Das Einlesen der Informationen über die Zeitzone ist fehlgeschlagen.");
  }
  EXPECT_TRUE(out.lines.empty());
}

TEST(DotStuffing, DoublesALeadingDotOnly) {
  LineCollector out;
  for (const char* line : {".", ".x", " .x", "", "x.", "..", "a.b"}) SendDotStuffed(out, line);
  EXPECT_EQ(out.lines, (std::vector<std::string>{"..", "..x", " .x", "", "x.", "...", "a.b"}));
}

TEST(DotStuffing, TreatsBreaksInsideALineAsLineEnds) {
  LineCollector out;
  SendDotStuffed(out, "a\r\n.\r\nb");
  SendDotStuffed(out, "c\n.d\re\r");
  EXPECT_EQ(out.lines, (std::vector<std::string>{"a", "..", "b", "c", "..d", "e", ""}));
  EXPECT_EQ(out.Wire().find("\r\n.\r\n"), std::string::npos);
}

TEST(HeaderList, SetsReplacesAndRemovesEntriesInPlace) {
  TIdHeaderList headers;
  headers.SetHeaderValue("From", "a@example.com");
  headers.SetHeaderValue("To", std::string(60, 'x') + ", " + std::string(30, 'y'));
  headers.SetHeaderValue("Date", "heute");
  ASSERT_EQ(headers.Count(), 4u);
  headers.SetHeaderValue("to", "b@example.com");
  EXPECT_EQ(headers.Lines(), (std::vector<std::string>{"From: a@example.com", "to: b@example.com", "Date: heute"}));
  headers.SetHeaderValue("FROM", "");
  EXPECT_EQ(headers.Lines(), (std::vector<std::string>{"to: b@example.com", "Date: heute"}));
  headers.SetHeaderValue("X-Neu", "1");
  EXPECT_EQ(headers.Lines().back(), "X-Neu: 1");
  headers.SetHeaderValue("Subject-Extra", "nicht Subject");
  headers.SetHeaderValue("Subject", "");
  EXPECT_EQ(headers.Count(), 4u);
  headers.FoldingEnabled = false;
  headers.SetHeaderValue("Long", std::string(50, 'a') + " " + std::string(50, 'b'));
  EXPECT_EQ(headers.Count(), 5u);
}

TEST(InternetDate, WritesEnglishNamesAndTheOffset) {
  EXPECT_EQ(FormatInternetDate({2026, 12, 5, 9, 4, 3}, std::chrono::minutes(60)), "Sat, 5 Dec 2026 09:04:03 +0100");
  EXPECT_EQ(FormatInternetDate({2024, 2, 29, 23, 59, 59}, std::chrono::minutes(0)), "Thu, 29 Feb 2024 23:59:59 +0000");
  EXPECT_EQ(FormatInternetDate({2000, 1, 1, 0, 0, 0}, std::chrono::minutes(-300)), "Sat, 1 Jan 2000 00:00:00 -0500");
  EXPECT_EQ(FormatUtcOffset(std::chrono::minutes(120)), "+0200");
  EXPECT_EQ(FormatUtcOffset(std::chrono::minutes(-300)), "-0500");
  EXPECT_EQ(FormatUtcOffset(std::chrono::minutes(0)), "+0000");
  EXPECT_EQ(FormatUtcOffset(std::chrono::minutes(330)), "+0530");
  EXPECT_EQ(FormatUtcOffset(std::chrono::minutes(-570)), "-0930");
  // Out-of-range fields do not read past the name tables.
  EXPECT_EQ(FormatInternetDate({2026, 13, 40, 25, 61, 99}, std::chrono::minutes(0)), "Thu, 31 Dec 2026 23:59:60 +0000");
}

TEST(InternetDate, TakesDaylightSavingTimeIntoTheOffset) {
  const char* saved = std::getenv("TZ");
  const std::string previous = saved ? saved : "";
  setenv("TZ", "CET-1CEST,M3.5.0,M10.5.0/3", 1);
  tzset();
  EXPECT_EQ(FormatUtcOffset(UtcOffsetAt(1767225600)), "+0100");  // 2026-01-01 00:00 UTC
  EXPECT_EQ(FormatUtcOffset(UtcOffsetAt(1782864000)), "+0200");  // 2026-07-01 00:00 UTC
  setenv("TZ", "IST-5:30", 1);
  tzset();
  EXPECT_EQ(FormatUtcOffset(LocalUtcOffset()), "+0530");
  setenv("TZ", "EST5", 1);
  tzset();
  EXPECT_EQ(FormatUtcOffset(LocalUtcOffset()), "-0500");
  if (saved)
    setenv("TZ", previous.c_str(), 1);
  else
    unsetenv("TZ");
  tzset();
}

TEST(MessageObject, UsesNowUntilADateIsSetAndClearsBack) {
  TIdMessage msg = ReportMessage();
  EXPECT_TRUE(msg.UseNowForDate());
  msg.Date = {2025, 3, 1, 12, 0, 0};
  EXPECT_FALSE(msg.UseNowForDate());
  EXPECT_EQ(msg.BuildHeaderLines().HeaderValue("Date"), "Sat, 1 Mar 2025 12:00:00 +0100");
  msg.SetUseNowForDate(true);
  EXPECT_TRUE(msg.UseNowForDate());
  msg.Clear();
  EXPECT_TRUE(msg.Subject.empty());
  EXPECT_EQ(msg.Recipients.Count(), 0u);
  EXPECT_EQ(msg.Priority, mpNormal);
  EXPECT_EQ(msg.BuildHeaderLines().HeaderValue("Date"), "Mon, 7 Dec 2026 05:10:00 +0100");  // clock kept
  // The real clock gives a well-formed date.
  TIdMessage real;
  EXPECT_EQ(real.BuildHeaderLines().HeaderValue("Date").size() >= 29, true);
}

TEST(MessageWriter, WritesHugeBodiesAndSubjectsWithoutHeaderInjection) {
  LanguageScope german(Language::Other);
  TIdMessage msg = ReportMessage();
  msg.Subject = std::string(1 << 20, 'x') + "\r\nBcc: boese@example.com\nä ";
  msg.Subject[1000] = ' ';
  msg.Body.assign(200000, std::string(100, 'r'));
  msg.Body[5] = ".";
  LineCollector out;
  WriteMessage(out, msg);
  std::size_t headerEnd = 0;
  while (!out.lines[headerEnd].empty()) ++headerEnd;
  for (std::size_t i = 0; i < headerEnd; ++i) {
    EXPECT_EQ(out.lines[i].find_first_of("\r\n"), std::string::npos);
    EXPECT_NE(out.lines[i].rfind("Bcc", 0), 0u);
  }
  EXPECT_EQ(out.lines.size(), headerEnd + 1 + 200000);
  EXPECT_EQ(out.lines[headerEnd + 1 + 5], "..");
}

}  // namespace
}  // namespace vornetta::message
