// The data phase of a message. Body lines are cut from the body text as they are
// written; only lines that need a "." in front are copied.
#include "message/message_writer.h"

#include "message/body_encoding.h"
#include "message/multipart_writer.h"
#include "platform/text.h"

namespace vornetta::message {
namespace {

using platform::ForEachLine;


void SendOneStuffed(TIdLineWriter& out, std::string_view line) {
  if (line.empty() || line.front() != '.') {
    out.SendLine(line);
    return;
  }
  std::string stuffed;
  stuffed.reserve(line.size() + 1);
  stuffed += '.';
  stuffed.append(line);
  out.SendLine(stuffed);
}

}  // namespace

void SendDotStuffed(TIdLineWriter& out, std::string_view line) {
  platform::ForEachLine(
      line, [&out](std::string_view piece) { SendOneStuffed(out, piece); }, platform::FinalBreak::StartsEmptyLine);
}

void WriteBodyLines(TIdLineWriter& out, const std::vector<std::string>& lines) {
  for (const std::string& line : lines) SendDotStuffed(out, line);
}

void WriteBody(TIdLineWriter& out, const TIdMessage& msg) {
  if (!msg.Attachments.empty() || !msg.InlineImages.empty()) {
    WriteMultipartBody(out, msg);
    return;
  }
  WriteTextBody(out, msg);
}

void WriteTextBody(TIdLineWriter& out, const TIdMessage& msg) {
  const bool iso2022jp = BodyInIso2022JP(msg);
  if (msg.ContentTransferEncoding == kQuotedPrintable) {
    auto sendEncoded = [&](std::string_view line) {
      if (iso2022jp)
        SendQuotedPrintable(out, ConvertToIso2022JP(line));
      else
        SendQuotedPrintable(out, line);  // straight from the text: a long line is never copied
    };
    if (msg.BodyText)
      ForEachLine(*msg.BodyText, sendEncoded);
    else
      for (const std::string& line : msg.Body) sendEncoded(line);
    return;
  }
  if (iso2022jp) {
    auto sendConverted = [&out](std::string_view line) { SendDotStuffed(out, ConvertToIso2022JP(line)); };
    if (msg.BodyText)
      ForEachLine(*msg.BodyText, sendConverted);
    else
      for (const std::string& line : msg.Body) sendConverted(line);
    return;
  }
  if (msg.BodyText)
    ForEachLine(*msg.BodyText, [&out](std::string_view line) { SendOneStuffed(out, line); });
  else
    WriteBodyLines(out, msg.Body);
}

void WriteHeader(TIdLineWriter& out, const TIdMessage& msg) {
  const TIdHeaderList headers = msg.BuildHeaderLines();
  out.SendLines(headers.Lines());
}

void WriteMessage(TIdLineWriter& out, const TIdMessage& msg, TMessageParts parts) {
  WriteHeader(out, msg);
  out.SendLine("");
  if (parts == TMessageParts::HeaderAndBody) WriteBody(out, msg);
}

}  // namespace vornetta::message
