// The multipart/mixed form of a mail with attachments, byte for byte with the
// clock injected; the body part must be exactly what a single-part mail carries.
#include "message/multipart_writer.h"

#include <gtest/gtest.h>

#include <string>

#include "message/message_writer.h"
#include "message_test_support.h"

namespace vornetta::message {
namespace {

using test::LineCollector;

TIdMessage HtmlMessage() {
  TIdMessage msg;
  msg.Clock.Now = [] { return TDateTime{2026, 12, 7, 5, 10, 0}; };
  msg.Clock.UtcOffset = [] { return std::chrono::minutes(60); };
  msg.From.SetText("bericht@example.com");
  msg.Recipients.SetListText("chef@example.com");
  msg.Subject = "Bericht";
  msg.CharSet = "ISO-8859-15";
  msg.ContentType = "text/html";
  msg.Body = {"<html>", ".punkt", "</html>"};
  return msg;
}

std::string Wire(const TIdMessage& msg) {
  LineCollector out;
  WriteMessage(out, msg);
  return out.Wire();
}

std::string BodyOf(const std::string& wire) { return wire.substr(wire.find("\r\n\r\n") + 4); }

TEST(MultipartWriter, BodyPartIsTheSinglePartBodyAndAttachmentsFollowInBase64) {
  const TIdMessage plain = HtmlMessage();
  const std::string single = Wire(plain);

  TIdMessage mixed = HtmlMessage();
  const std::string csv = "\xEF\xBB\xBF" "a;b\r\n1;2\r\n";
  mixed.Attachments = {{"ergebnis-1.csv", "text/csv; charset=\"UTF-8\"", csv}};
  mixed.Boundary = ChooseBoundary(mixed);
  ASSERT_EQ(mixed.Boundary, "=_Vornetta_Teil_0");
  const std::string wire = Wire(mixed);

  const std::string header = wire.substr(0, wire.find("\r\n\r\n") + 2);
  EXPECT_NE(header.find("MIME-Version: 1.0\r\nContent-Type: multipart/mixed;\r\n\tboundary=\"=_Vornetta_Teil_0\"\r\n"),
            std::string::npos)
      << header;
  EXPECT_EQ(header.find("charset"), std::string::npos);
  EXPECT_EQ(BodyOf(wire),
            "--=_Vornetta_Teil_0\r\n"
            "Content-Type: text/html;\r\n\tcharset=\"ISO-8859-15\"\r\n"
            "\r\n" +
                BodyOf(single) +
                "--=_Vornetta_Teil_0\r\n"
                "Content-Type: text/csv; charset=\"UTF-8\";\r\n\tname=\"ergebnis-1.csv\"\r\n"
                "Content-Transfer-Encoding: base64\r\n"
                "Content-Disposition: attachment;\r\n\tfilename=\"ergebnis-1.csv\"\r\n"
                "\r\n"
                "77u/YTtiDQoxOzINCg==\r\n"
                "--=_Vornetta_Teil_0--\r\n");
  // Without attachments nothing of this reaches the wire.
  EXPECT_EQ(single.find("MIME-Version"), std::string::npos);
}

TEST(MultipartWriter, BoundarySkipsEveryCandidateTheBodyHolds) {
  TIdMessage msg = HtmlMessage();
  msg.Body = {"x=_Vornetta_Teil_0", "--=_Vornetta_Teil_1--", "=_Vornetta_Teil_"};
  EXPECT_EQ(ChooseBoundary(msg), "=_Vornetta_Teil_2");
}

TEST(MultipartWriter, Base64LinesHoldSeventySixCharacters) {
  for (const std::size_t size : {0u, 1u, 56u, 57u, 58u, 114u, 1000u}) {
    LineCollector out;
    WriteBase64Lines(out, std::string(size, '\xFF'));
    std::size_t decoded = 0;
    for (std::size_t i = 0; i < out.lines.size(); ++i) {
      const std::string& line = out.lines[i];
      if (i + 1 < out.lines.size()) {
        EXPECT_EQ(line.size(), kBase64LineLength) << size;
      }
      EXPECT_LE(line.size(), kBase64LineLength);
      decoded += line.size() / 4 * 3 - (line.ends_with("==") ? 2 : line.ends_with("=") ? 1 : 0);
    }
    EXPECT_EQ(decoded, size);
    EXPECT_EQ(out.lines.size(), (size + 56) / 57);
  }
}

}  // namespace
}  // namespace vornetta::message
