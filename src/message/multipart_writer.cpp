#include "message/multipart_writer.h"

#include "message/header_encoding.h"
#include "message/message_writer.h"
#include "platform/text.h"

namespace vornetta::message {
namespace {

constexpr std::string_view kBoundaryStem = "=_Vornetta_Teil_";
constexpr std::string_view kRelatedBoundaryStem = "=_Vornetta_Bilder_";

bool AnyLineHolds(const TIdMessage& msg, const std::string& boundary, bool iso2022jp) {
  if (msg.BodyText) {
    // A boundary holds no line break, so a line holds it exactly when the text does.
    if (msg.BodyText->find(boundary) != std::string_view::npos) return true;
    bool found = false;
    if (iso2022jp)
      platform::ForEachLine(*msg.BodyText, [&](std::string_view line) {
        found = found || ConvertToIso2022JP(line).find(boundary) != std::string::npos;
      });
    return found;
  }
  for (const std::string& line : msg.Body) {
    const std::string_view sent = line;
    if (sent.find(boundary) != std::string_view::npos) return true;
    if (iso2022jp && ConvertToIso2022JP(line).find(boundary) != std::string::npos) return true;
  }
  return false;
}

// Header lines of a value that may hold CR LF continuations.
void SendHeader(TIdLineWriter& out, std::string_view name, std::string_view value) {
  std::string text(name);
  text += ": ";
  text += value;
  SendDotStuffed(out, text);
}

enum class Delimiter { BeforePart, Closing };

void SendDelimiter(TIdLineWriter& out, const std::string& boundary, Delimiter kind = Delimiter::BeforePart) {
  std::string line = "--" + boundary;
  if (kind == Delimiter::Closing) line += "--";
  out.SendLine(line);
}

struct TFilePart {
  std::string_view contentType;
  std::string_view fileName;
  std::string_view contentId;  // empty: no Content-ID header
  std::string_view disposition;
};

// A file after its delimiter line: the part's header lines, an empty line, the data in base64.
void SendBase64Part(TIdLineWriter& out, const std::string& boundary, const TFilePart& part, std::string_view data) {
  SendDelimiter(out, boundary);
  SendHeader(out, "Content-Type", std::string(part.contentType) + ";\r\n\tname=\"" + std::string(part.fileName) + "\"");
  SendHeader(out, "Content-Transfer-Encoding", "base64");
  if (!part.contentId.empty()) SendHeader(out, "Content-ID", "<" + std::string(part.contentId) + ">");
  SendHeader(out, "Content-Disposition",
             std::string(part.disposition) + ";\r\n\tfilename=\"" + std::string(part.fileName) + "\"");
  out.SendLine("");
  WriteBase64Lines(out, data);
}

// The body's own part: its type, its transfer encoding and its lines.
void WriteTextPart(TIdLineWriter& out, const TIdMessage& msg) {
  SendHeader(out, "Content-Type", ContentTypeValue(msg.ContentType, msg.CharSet));
  if (!msg.ContentTransferEncoding.empty())
    SendHeader(out, "Content-Transfer-Encoding", msg.ContentTransferEncoding);
  out.SendLine("");
  WriteTextBody(out, msg);
}

// The parts of multipart/related: the body, then each image with its Content-ID.
void WriteRelatedParts(TIdLineWriter& out, const TIdMessage& msg) {
  SendDelimiter(out, msg.RelatedBoundary);
  WriteTextPart(out, msg);
  for (const TIdInlineImage& image : msg.InlineImages) {
    SendBase64Part(out, msg.RelatedBoundary, {image.ContentType, image.FileName, image.ContentId, "inline"},
                   image.Data);
  }
  SendDelimiter(out, msg.RelatedBoundary, Delimiter::Closing);
}

std::string FirstFreeBoundary(const TIdMessage& msg, std::string_view stem) {
  const bool iso2022jp = msg.HeaderEncoding().Transfer == TTransfer::iso2022jp;
  for (unsigned long long n = 0;; ++n) {
    std::string candidate = std::string(stem) + std::to_string(n);
    if (!AnyLineHolds(msg, candidate, iso2022jp)) return candidate;
  }
}

}  // namespace

std::string RelatedContentType(const std::string& boundary) {
  return "multipart/related;\r\n\ttype=\"text/html\";\r\n\tboundary=\"" + boundary + "\"";
}

std::string MultipartContentType(const std::string& boundary) {
  return "multipart/mixed;\r\n\tboundary=\"" + boundary + "\"";
}

std::string ChooseBoundary(const TIdMessage& msg) { return FirstFreeBoundary(msg, kBoundaryStem); }

std::string ChooseRelatedBoundary(const TIdMessage& msg) { return FirstFreeBoundary(msg, kRelatedBoundaryStem); }

void WriteMultipartBody(TIdLineWriter& out, const TIdMessage& msg) {
  if (msg.Attachments.empty() && msg.InlineImages.empty()) {
    WriteTextBody(out, msg);
    return;
  }
  if (msg.Attachments.empty()) {
    WriteRelatedParts(out, msg);
    return;
  }
  SendDelimiter(out, msg.Boundary);
  if (msg.InlineImages.empty()) {
    WriteTextPart(out, msg);
  } else {
    SendHeader(out, "Content-Type", RelatedContentType(msg.RelatedBoundary));
    out.SendLine("");
    WriteRelatedParts(out, msg);
  }
  for (const TIdAttachment& attachment : msg.Attachments) {
    SendBase64Part(out, msg.Boundary, {attachment.ContentType, attachment.FileName, "", "attachment"},
                   attachment.Data);
  }
  SendDelimiter(out, msg.Boundary, Delimiter::Closing);
}

void WriteBase64Lines(TIdLineWriter& out, std::string_view data) {
  constexpr std::size_t kBytesPerLine = kBase64LineLength / 4 * 3;
  for (std::size_t pos = 0; pos < data.size(); pos += kBytesPerLine) {
    out.SendLine(TIdEncoderMIME::EncodeText(data.substr(pos, kBytesPerLine)));
  }
}

}  // namespace vornetta::message
