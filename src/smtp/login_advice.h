// What an administrator should do about a refused login: the replies mail
// services actually give, each with a German advice that names the setting.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace vornetta::smtp {

// The advice (UTF-8) for a reply by its code, the enhanced status code at the
// start of its first text line and, for some, words of its text; empty when
// the table knows the reply not. Throws nothing but std::bad_alloc.
std::string LoginAdvice(int code, const std::vector<std::string>& text);

// The "status" and "scope" of the base64 JSON document with which a server
// refuses an OAuth2 login, as "status 401, scope https://..." (printable ASCII
// only); empty when neither is there.
std::string OAuthRefusalDetails(std::string_view base64Json);

}  // namespace vornetta::smtp
