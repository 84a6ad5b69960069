// The address item and list parsers, the text form and the header forms.
#include "message/address.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

namespace vornetta::message {
namespace {

const THeaderEncoding kGerman{TTransfer::bit8, 'Q', "ISO-8859-1"};

TIdEMailAddressItem Parse(std::string_view text) { return TIdEMailAddressItem(text); }

void ExpectItem(const TIdEMailAddressItem& item, std::string_view name, std::string_view address,
                std::string_view context) {
  EXPECT_EQ(item.Name, name) << context;
  EXPECT_EQ(item.Address, address) << context;
}

TEST(AddressItemParser, ReadsBareAddresses) {
  ExpectItem(Parse("hans@example.com"), "", "hans@example.com", "bare");
  ExpectItem(Parse("  \thans@example.com \r\n"), "", "hans@example.com", "trimmed");
  ExpectItem(Parse("hans.meier@mail.example.com"), "", "hans.meier@mail.example.com", "dots");
  ExpectItem(Parse("<hans@example.com>"), "", "hans@example.com", "angle only");
  ExpectItem(Parse("justaname"), "", "justaname", "no specials");
  ExpectItem(Parse(""), "", "", "empty");
  ExpectItem(Parse(" \t "), "", "", "blank");
}

TEST(AddressItemParser, ReadsDisplayNamesBeforeAngleAddresses) {
  ExpectItem(Parse("Berichtsdienst <bericht@example.com>"), "Berichtsdienst", "bericht@example.com", "name");
  ExpectItem(Parse("  Hans Meier   <hm@example.com>"), "Hans Meier", "hm@example.com", "outer spaces");
  ExpectItem(Parse("Hans   Meier <hm@example.com>"), "Hans Meier", "hm@example.com", "runs of spaces");
  ExpectItem(Parse("M\xFCller <m@example.com>"), "M\xFCller", "m@example.com", "umlaut");
  ExpectItem(Parse("Hans Meier<hm@example.com>"), "Hans Meier", "hm@example.com", "no space");
  ExpectItem(Parse("Hans <hm@ example . com >"), "Hans", "hm@example.com", "spaces in angle");
}

TEST(AddressItemParser, ReadsQuotedNamesWithEscapes) {
  ExpectItem(Parse("\"M\xFCller, Hans\" <hm@example.com>"), "M\xFCller, Hans", "hm@example.com", "comma");
  ExpectItem(Parse("\"Der \\\"Chef\\\" vom \\\\B\xFCro\" <c@example.com>"), "Der \"Chef\" vom \\B\xFCro",
             "c@example.com", "escapes");
  ExpectItem(Parse("\"  Hans  \" <h@example.com>"), "Hans", "h@example.com", "trimmed in quotes");
}

TEST(AddressItemParser, DropsComments) {
  ExpectItem(Parse("hans@example.com (Hans Meier)"), "", "hans@example.com", "comment after");
  ExpectItem(Parse("(Hans Meier) hans@example.com"), "", "hans@example.com", "comment before");
  ExpectItem(Parse("Hans (Vertrieb) <h@example.com>"), "Hans", "h@example.com", "comment in name");
  ExpectItem(Parse("Hans <h@example.com> (a (nested) comment)"), "Hans", "h@example.com", "nested");
}

TEST(AddressItemParser, RejectsSecondAtAfterAngleAddress) {
  TIdEMailAddressItem item;
  try {
    item.SetText("Hans <h@example.com> und auch x@example.com");
    FAIL() << "no exception";
  } catch (const EIdEmailParseError& e) {
    EXPECT_STREQ(e.what(), "@ Outside-Adresse");
  }
  EXPECT_EQ(item.Address, "h@example.com");
  // A second "@" inside the brackets or without brackets is no such fault.
  EXPECT_NO_THROW(Parse("<a@b@example.com>"));
  EXPECT_NO_THROW(Parse("a@b c@d"));
}

TEST(AddressItemText, QuotesWhatNeedsQuoting) {
  auto text = [](std::string name, std::string address) {
    TIdEMailAddressItem item;
    item.Name = std::move(name);
    item.Address = std::move(address);
    return item.Text();
  };
  EXPECT_EQ(text("", "hans@example.com"), "hans@example.com");
  EXPECT_EQ(text("Hans Meier", "hm@example.com"), "Hans Meier <hm@example.com>");
  EXPECT_EQ(text("Meier, Hans", "hm@example.com"), "\"Meier, Hans\" <hm@example.com>");
  EXPECT_EQ(text("Der \"Chef\"", "c@example.com"), "\"Der \\\"Chef\\\"\" <c@example.com>");
  EXPECT_EQ(text("HM@EXAMPLE.COM", "hm@example.com"), "<hm@example.com>");
  EXPECT_EQ(text("", "hans meier@example.com"), "<\"hans meier\"@example.com>");
  EXPECT_EQ(text("", "a\"b\\c@example.com"), "<\"a\\\"b\\\\c\"@example.com>");
  EXPECT_EQ(text("", "hans.meier@example.com"), "hans.meier@example.com");
  EXPECT_EQ(text("", "hans.x y@example.com"), "hans.x y@example.com");  // the first odd character is a dot
  EXPECT_EQ(text("Hans", ""), "Hans <>");
  EXPECT_EQ(text("Hans", "nohost"), "Hans <>");
  EXPECT_EQ(text("", "nohost"), "");
  // The text form parses back to the same item.
  for (const char* source : {"Hans Meier <hm@example.com>", "\"Meier, Hans\" <hm@example.com>",
                             "\"Der \\\"Chef\\\"\" <c@example.com>"}) {
    const TIdEMailAddressItem item = Parse(source);
    EXPECT_EQ(Parse(item.Text()), item) << source;
  }
}

TEST(AddressListParser, SeparatesEntriesAtCommasAndSemicolons) {
  auto parse = [](std::string_view text) {
    TIdEMailAddressList list;
    list.SetListText(text);
    return list.Items();
  };
  EXPECT_TRUE(parse("").empty());
  EXPECT_TRUE(parse(" \t\r\n").empty());
  const std::vector<TIdEMailAddressItem> two = parse("a@example.com, b@example.com");
  ASSERT_EQ(two.size(), 2u);
  ExpectItem(two[0], "", "a@example.com", "first");
  ExpectItem(two[1], "", "b@example.com", "second");
  EXPECT_EQ(parse("a@example.com; b@example.com"), two);
  EXPECT_EQ(parse("a@example.com;b@example.com;"), two);
  EXPECT_EQ(parse("a@example.com, , b@example.com"), two);
  EXPECT_EQ(parse("a@example.com,,b@example.com,"), two);
  EXPECT_EQ(parse("Team: a@example.com, b@example.com;"), two);
  EXPECT_EQ(parse("a@example.com (Anna, Vertrieb), b@example.com"), two);
}

TEST(AddressListParser, KeepsQuotedAndBracketedCommasInOneEntry) {
  TIdEMailAddressList list;
  list.SetListText("\"M\xFCller, Hans\" <hm@example.com>, Anna Schmidt <as@example.com>");
  ASSERT_EQ(list.Count(), 2u);
  ExpectItem(list[0], "M\xFCller, Hans", "hm@example.com", "quoted comma");
  ExpectItem(list[1], "Anna Schmidt", "as@example.com", "plain name");
  list.SetListText("\"a\\\"b, c\" <x@example.com>");
  ASSERT_EQ(list.Count(), 1u);
  ExpectItem(list[0], "a\"b, c", "x@example.com", "escaped quote");
  EXPECT_EQ(list.ListText(), "\"a\\\"b, c\" <x@example.com>");
}

TEST(AddressListParser, DropsNameOnlyEntriesUnlessAlone) {
  TIdEMailAddressList list;
  list.SetListText("kollegen, x@example.com");
  ASSERT_EQ(list.Count(), 1u);
  EXPECT_EQ(list[0].Address, "x@example.com");
  list.SetListText("x@example.com, kollegen");
  ASSERT_EQ(list.Count(), 1u);
  EXPECT_EQ(list[0].Address, "x@example.com");
  list.SetListText("kollegen");
  ASSERT_EQ(list.Count(), 1u);
  EXPECT_EQ(list[0].Address, "kollegen");
  list.SetListText("<>, x@example.com");
  EXPECT_EQ(list.Count(), 1u);
}

TEST(AddressListParser, StopsAtAParseFaultKeepingEarlierEntries) {
  TIdEMailAddressList list;
  EXPECT_THROW(list.SetListText("a@example.com, Hans <h@example.com> x@example.com, b@example.com"),
               EIdEmailParseError);
  ASSERT_GE(list.Count(), 1u);
  EXPECT_EQ(list[0].Address, "a@example.com");
}

TEST(AddressHeaderForms, EncodeNamesThatNeedIt) {
  TIdEMailAddressItem item = Parse("Müller, Hans <hm@example.com>");
  item.Name = "Müller, Hans";
  EXPECT_EQ(EncodeAddressForHeader(item, kGerman), "=?ISO-8859-1?Q?M=FCller=2C?= Hans <hm@example.com>");
  EXPECT_EQ(EncodeAddressForHeader(Parse("Berichtsdienst <b@example.com>"), kGerman),
            "\"Berichtsdienst\" <b@example.com>");
  EXPECT_EQ(EncodeAddressForHeader(Parse("b@example.com"), kGerman), "b@example.com");
  item.Name = "Der \"Chef\"";
  EXPECT_EQ(EncodeAddressForHeader(item, kGerman), "\"Der \\\"Chef\\\"\" <hm@example.com>");

  TIdEMailAddressList list;
  EXPECT_EQ(EncodeAddressListForHeader(list, kGerman), "");
  list.SetListText("a@example.com; Anna <as@example.com>");
  EXPECT_EQ(EncodeAddressListForHeader(list, kGerman), "a@example.com, \"Anna\" <as@example.com>");
}

TEST(AddressRobustness, OddAndHugeInputsFinishWithoutOtherFailures) {
  const char* odd[] = {"\"unbalanced", "<unclosed@x", "x@y>", "(((((", ")))", "\\", "\"\\", "<\"a@b\"",
                       "a@b.(c", "@", "@@@", "<@>", "<<>>", "\"\"\"\"", "a\0b@c", ". . .", "<a.b.c.>",
                       "Name <a@b> @", "(\\", ":;:;", "\"a\\", "<a@b> (c@d) <e@f>"};
  std::mt19937 random(4711);
  auto exercise = [](std::string_view text) {
    try {
      TIdEMailAddressItem(text).Text();
    } catch (const EIdEmailParseError&) {
    }
    try {
      TIdEMailAddressList list;
      list.SetListText(text);
      EncodeAddressListForHeader(list, kGerman);
    } catch (const EIdEmailParseError&) {
    }
  };
  for (const char* text : odd) exercise(text);
  const std::string alphabet = "\"()<>@.,;: \t\\ab\xE4\r\n";
  for (int round = 0; round < 3000; ++round) {
    std::string text(random() % 40, ' ');
    for (char& c : text) c = alphabet[random() % alphabet.size()];
    exercise(text);
  }
  std::string many;
  for (int i = 0; i < 10000; ++i) many += "Empf\xE4nger " + std::to_string(i) + " <e" + std::to_string(i) + "@example.com>, ";
  TIdEMailAddressList list;
  list.SetListText(many);
  EXPECT_EQ(list.Count(), 10000u);
  EXPECT_EQ(list[9999].Address, "e9999@example.com");
  for (const std::string& huge : {std::string(1 << 20, 'a'), std::string(1 << 20, '('), std::string(1 << 20, '"'),
                                  std::string(1 << 20, ' ') + "x", std::string(1 << 20, '.')}) {
    exercise(huge);
    exercise("<" + huge);
    exercise("a@" + huge);
  }
  std::string pairs;
  for (int i = 0; i < 300000; ++i) pairs += "a<>";
  exercise(pairs);
  std::string blanks;
  for (int i = 0; i < 300000; ++i) blanks += " ;";
  exercise(blanks);
}

}  // namespace
}  // namespace vornetta::message
