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

TEST_F(SafeText, ReplacesC0DelAndLatinC1KeepingTabLineBreaksAndLetters) {
  UseSystemLanguage(Language::Other);
  EXPECT_EQ(ReplaceControlCharacters("\x00\xff\xfeGARBAGE\x1b[31m\x07\x7f"s), "?\xff\xfeGARBAGE?[31m??");
  EXPECT_EQ(ReplaceControlCharacters("a\tb\r\nc\nd\re"), "a\tb\r\nc\nd\re");
  EXPECT_EQ(ReplaceControlCharacters("\x80\x9b\x9f\xa0\xa4 \xe4\xf6\xfc\xdf"), "??" "?\xa0\xa4 \xe4\xf6\xfc\xdf");
  EXPECT_EQ(ReplaceControlCharacters(""), "");
}

TEST_F(SafeText, KeepsDoubleByteCharactersWhoseBytesLieInTheLatinC1Range) {
  UseSystemLanguage(Language::Japanese);
  // "ソ" in CP932 is 0x83 0x5C; 0x81 0x40 is the wide blank.
  EXPECT_EQ(ReplaceControlCharacters("\x83\x5c\x81\x40\x1b[2J"), "\x83\x5c\x81\x40?[2J");
  UseSystemLanguage(Language::Korean);
  EXPECT_EQ(ReplaceControlCharacters("\x81\x9f\x7f"), "\x81\x9f?");
}

}  // namespace
}  // namespace vornetta::platform
