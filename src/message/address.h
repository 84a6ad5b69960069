// Mail addresses: one item with display name and bare address, lists of items,
// their parsers and the forms written into the "From", "To" and "Cc" headers.
#pragma once

#include <cstddef>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "message/header_encoding.h"
#include "platform/failure.h"

namespace vornetta::message {

// Raised by the item parser for a second "@" after an address in angle brackets;
// the message is "@ Outside-Adresse".
class EIdEmailParseError : public platform::EFailure {
 public:
  using EFailure::EFailure;
};

class TIdEMailAddressItem {
 public:
  TIdEMailAddressItem() = default;
  // Parses `text` (see SetText).
  explicit TIdEMailAddressItem(std::string_view text) { SetText(text); }

  std::string Address;  // bare address, local part "@" domain
  std::string Name;     // display name, may be empty

  // Text form: the address alone, or the name (quoted when needed) and the
  // address in angle brackets.
  std::string Text() const;

  // Parses one address text into Name and Address (both cleared first).
  // Throws EIdEmailParseError "@ Outside-Adresse"; the item then keeps what
  // was parsed before the fault.
  void SetText(std::string_view text);

  bool operator==(const TIdEMailAddressItem&) const = default;
};

class TIdEMailAddressList {
 public:
  std::size_t Count() const { return items_.size(); }
  bool empty() const { return items_.empty(); }
  const TIdEMailAddressItem& operator[](std::size_t i) const { return items_[i]; }
  TIdEMailAddressItem& operator[](std::size_t i) { return items_[i]; }
  auto begin() const { return items_.begin(); }
  auto end() const { return items_.end(); }
  const std::vector<TIdEMailAddressItem>& Items() const { return items_; }

  // Appends an empty item and returns it.
  TIdEMailAddressItem& Add();
  void Add(TIdEMailAddressItem item) { items_.push_back(std::move(item)); }
  void Clear() { items_.clear(); }

  // Text forms of all items joined by ", ".
  std::string ListText() const;

  // Clears the list and parses a list text: entries separated by commas or
  // semicolons, groups ("name: ...;") flattened. Throws EIdEmailParseError from
  // the item parser; the list then holds the entries before the faulty one and
  // the faulty one as far as it was parsed.
  void SetListText(std::string_view text);

 private:
  std::vector<TIdEMailAddressItem> items_;
};

// Header form of one address: the bare address when there is no name; else the
// name quoted, or as encoded words when it holds control or 8-bit characters,
// followed by the address in angle brackets. Name and address go in the code
// page where it holds them; a name it cannot hold is encoded with
// Utf8HeaderEncoding(how).
std::string EncodeAddressForHeader(const TIdEMailAddressItem& item, char encoding,
                                   TTransfer transfer, std::string_view charset);
std::string EncodeAddressForHeader(const TIdEMailAddressItem& item, const THeaderEncoding& how);

// Header forms of all items joined by ", "; empty for an empty list.
std::string EncodeAddressListForHeader(const TIdEMailAddressList& list, char encoding,
                                       TTransfer transfer, std::string_view charset);
std::string EncodeAddressListForHeader(const TIdEMailAddressList& list, const THeaderEncoding& how);

}  // namespace vornetta::message
