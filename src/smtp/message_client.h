// A client that writes messages: the message writer puts the header block and
// the body through this connection in blocks of at least 64 KiB.
#pragma once

#include <cstddef>
#include <functional>

#include "message/message.h"
#include "message/message_writer.h"
#include "smtp/tcp_connection.h"

namespace vornetta::smtp {

class TIdMessageClient : public TIdTCPClient {
 public:
  // Header lines, one empty line and, unless only the header is asked for, the dot-stuffed body.
  // Every byte has reached the socket when it returns. Reads nothing. Throws the
  // send failures of the connection (tcp_connection.h).
  // `progress`, when set, gets the bytes handed to the socket so far after each block.
  // Returns the bytes handed to the socket.
  std::size_t WriteMessage(const message::TIdMessage& msg,
                    message::TMessageParts parts = message::TMessageParts::HeaderAndBody,
                    const std::function<void(std::size_t sent)>& progress = {});
};

}  // namespace vornetta::smtp
