#include "smtp/message_client.h"

#include "message/message_writer.h"

namespace vornetta::smtp {

void TIdMessageClient::WriteMessage(const message::TIdMessage& msg, bool headersOnly) {
  message::WriteMessage(*this, msg, headersOnly);
}

}  // namespace vornetta::smtp
