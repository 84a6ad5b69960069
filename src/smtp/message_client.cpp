#include "smtp/message_client.h"

#include "message/buffered_line_writer.h"
#include "message/message_writer.h"

namespace vornetta::smtp {

void TIdMessageClient::WriteMessage(const message::TIdMessage& msg, message::TMessageParts parts) {
  // Gathered into large blocks: a report of many thousand lines would otherwise
  // cost a wait and a system call per line. Flushed before any reply is read.
  message::TBufferedLineWriter out([this](std::string_view block) { SendText(block); });
  message::WriteMessage(out, msg, parts);
  out.Flush();
}

}  // namespace vornetta::smtp
