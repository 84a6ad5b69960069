#include "smtp/message_client.h"

#include "message/buffered_line_writer.h"
#include "message/message_writer.h"

namespace vornetta::smtp {

std::size_t TIdMessageClient::WriteMessage(const message::TIdMessage& msg, message::TMessageParts parts,
                                    const std::function<void(std::size_t sent)>& progress) {
  // Gathered into large blocks: a report of many thousand lines would otherwise
  // cost a wait and a system call per line. Flushed before any reply is read.
  std::size_t sent = 0;
  message::TBufferedLineWriter out([&](std::string_view block) {
    SendText(block);
    sent += block.size();
    if (progress) progress(sent);
  });
  message::WriteMessage(out, msg, parts);
  out.Flush();
  return sent;
}

}  // namespace vornetta::smtp
