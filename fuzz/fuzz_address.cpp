// Address item and list parsers with their text and header forms: any bytes,
// only the one parse error may leave.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "message/address.h"

using namespace vornetta::message;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const THeaderEncoding how = ChooseHeaderEncoding();
  TIdEMailAddressItem item;
  try {
    item.SetText(text);
  } catch (const EIdEmailParseError&) {
  }
  (void)item.Text();
  (void)EncodeAddressForHeader(item, how);
  TIdEMailAddressList list;
  try {
    list.SetListText(text);
  } catch (const EIdEmailParseError&) {
  }
  (void)list.ListText();
  (void)FoldHeaderLine("To: " + EncodeAddressListForHeader(list, how));
  return 0;
}
