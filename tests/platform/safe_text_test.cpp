// Control characters of outside text replaced before it is shown: which bytes
// count as control characters depends on the system code page.
#include "platform/safe_text.h"

#include <gtest/gtest.h>

#include "platform/code_page.h"

namespace vornetta::platform {
namespace {

using namespace std::string_literals;

class SafeText : public ::testing::Test {
 protected:
  void TearDown() override { UseSystemLanguage(Language::Other); }
};

TEST_F(SafeText, ReplacesC0DelAndC1KeepingTabLineBreaksAndLetters) {
  EXPECT_EQ(ReplaceControlCharacters("\x00GARBAGE\x1b[31m\x07\x7f"s), "?GARBAGE?[31m??");
  EXPECT_EQ(ReplaceControlCharacters("a\tb\r\nc\nd\re"), "a\tb\r\nc\nd\re");
  // U+0080-U+009F are two bytes each; U+00A0 and the letters stay.
  EXPECT_EQ(ReplaceControlCharacters("\xC2\x80\xC2\x9B\xC2\x9F\xC2\xA0€ äöüß"), "???\xC2\xA0€ äöüß");
  // Characters whose later bytes lie in 0x80-0x9F are no control characters.
  EXPECT_EQ(ReplaceControlCharacters("ソ日本\x1b[2J"), "ソ日本?[2J");
  EXPECT_EQ(ReplaceControlCharacters(""), "");
}

}  // namespace
}  // namespace vornetta::platform
