// A mail with attachments as multipart/mixed: the body as the first part,
// exactly as a single-part mail carries it, then every attachment in base64.
// The boundary is chosen so that it occurs in no part.
#pragma once

#include <string>
#include <string_view>

#include "message/line_writer.h"
#include "message/message.h"

namespace vornetta::message {

// Length of a base64 line of an attachment (RFC 2045's limit).
inline constexpr std::size_t kBase64LineLength = 76;

// "multipart/mixed;" and the quoted boundary parameter on a continuation line.
std::string MultipartContentType(const std::string& boundary);

// "multipart/related;", the root's type and the quoted boundary on continuation lines.
std::string RelatedContentType(const std::string& boundary);

// The first of "=_Vornetta_Teil_0", "=_Vornetta_Teil_1", ... that occurs in no
// body line as the writer sends it (converted to ISO-2022-JP on a Japanese
// system). Base64 text and the part headers cannot hold "=_".
std::string ChooseBoundary(const TIdMessage& msg);
// The same with the stem "=_Vornetta_Bilder_", for the related part: neither
// stem begins the other, so no delimiter line of one can be taken for the other.
std::string ChooseRelatedBoundary(const TIdMessage& msg);

// The body of a multipart message: for the body part and each attachment a
// delimiter line, the part's header lines, an empty line and its content; then
// the closing delimiter. Lines go through SendDotStuffed. With inline images the
// body part is multipart/related: the HTML, then each image with its Content-ID.
void WriteMultipartBody(TIdLineWriter& out, const TIdMessage& msg);

// data in base64, kBase64LineLength characters a line, the last one shorter.
void WriteBase64Lines(TIdLineWriter& out, std::string_view data);

}  // namespace vornetta::message
