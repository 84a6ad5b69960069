// Writes a message as it goes out in the SMTP data phase: header lines, one
// empty line, the body lines dot-stuffed. The terminating "." is the caller's.
#pragma once

#include <string_view>
#include <vector>
#include <string>

#include "message/line_writer.h"
#include "message/message.h"

namespace vornetta::message {

// WriteHeader, one empty line, then WriteBody unless only the header is asked for.
enum class TMessageParts { HeaderAndBody, HeaderOnly };
void WriteMessage(TIdLineWriter& out, const TIdMessage& msg, TMessageParts parts = TMessageParts::HeaderAndBody);

// The lines of msg.BuildHeaderLines() with one SendLines call.
void WriteHeader(TIdLineWriter& out, const TIdMessage& msg);

// The body: WriteTextBody, or with attachments or inline images WriteMultipartBody.
void WriteBody(TIdLineWriter& out, const TIdMessage& msg);

// The body lines (of BodyText when it is set, else of Body), converted to
// ISO-2022-JP on a Japanese system, dot-stuffed.
void WriteTextBody(TIdLineWriter& out, const TIdMessage& msg);

// Every line dot-stuffed with one SendLine each.
void WriteBodyLines(TIdLineWriter& out, const std::vector<std::string>& lines);

// Sends one body line: a line beginning with "." gets one more "." in front.
// A CR or LF inside the line ends a line there (CR LF counting as one break), so
// the data phase can never hold a bare line break or an unstuffed ".".
void SendDotStuffed(TIdLineWriter& out, std::string_view line);

}  // namespace vornetta::message
