// Encoded words and folding under every system language. The first byte picks
// the language and the encoding letter; the rest is the header value. Checks
// that folding never lets a value start a header line of its own.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "message/header_encoding.h"
#include "platform/code_page.h"

using namespace vornetta;
using namespace vornetta::message;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const platform::Language languages[] = {platform::Language::Other, platform::Language::Japanese,
                                          platform::Language::Korean, platform::Language::ChineseSimplified,
                                          platform::Language::ChineseTraditional};
  platform::UseSystemLanguage(languages[data[0] % 5]);
  const std::string_view value(reinterpret_cast<const char*>(data + 1), size - 1);
  THeaderEncoding how = ChooseHeaderEncoding();
  if (data[0] & 0x80) how.Encoding = how.Encoding == 'Q' ? 'B' : 'Q';
  const std::string_view specials = (data[0] & 0x40) ? kAddressSpecials : std::string_view();

  const std::string encoded = EncodeHeaderWords(value, specials, how);
  for (const std::string& line : FoldHeaderLine("Subject: " + encoded)) {
    if (line.find_first_of("\r\n") != std::string::npos) std::abort();
  }
  const auto lines = FoldHeaderLine(value);
  for (std::size_t i = 1; i < lines.size(); ++i)
    if (lines[i].empty() || (lines[i][0] != ' ' && lines[i][0] != '\t')) std::abort();
  (void)ConvertToIso2022JP(value);
  (void)TIdEncoderMIME::EncodeText(value);
  return 0;
}
