// The fixed messages are written here in UTF-8 and converted once per failure,
// so they reach the user in the system code page like every other text.
#include "smtp/exceptions.h"

#include "platform/code_page.h"

namespace vornetta::smtp {
namespace {

std::string Text(const char8_t* utf8) {
  return platform::FromUtf8(reinterpret_cast<const char*>(utf8));
}

}  // namespace

EIdConnClosedGracefully::EIdConnClosedGracefully()
    : EIdSilentException(Text(u8"Die Verbindung wurde erfolgreich geschlossen.")) {}

EIdInvalidSocket::EIdInvalidSocket() : EIdException(Text(u8"Socket kann nicht zugewiesen werden.")) {}

EIdClosedSocket::EIdClosedSocket() : EIdException(Text(u8"Verbindung aufgehoben.")) {}

EIdCouldNotBindSocket::EIdCouldNotBindSocket()
    : EIdSocketHandleError(
          Text(u8"Socket konnte nicht gebunden werden. Adresse und Port werden bereits benutzt.")) {}

EIdStackInitializationFailed::EIdStackInitializationFailed()
    : EIdStackError(Text(u8"Fehler bei der Winsock-Initialisierung.")) {}

EIdStackSetSizeExceeded::EIdStackSetSizeExceeded() : EIdStackError(Text(u8"Mengengröße überschritten.")) {}

EIdNotConnected::EIdNotConnected() : EIdTCPConnectionError(Text(u8"Nicht verbunden")) {}

EIdNotEnoughDataInBuffer::EIdNotEnoughDataInBuffer()
    : EIdTCPConnectionError(Text(u8"Nicht genügend Daten im Puffer.")) {}

EIdReadTimeout::EIdReadTimeout() : EIdException(Text(u8"Zeitüberschreitung beim Lesen")) {}

EIdReadLnMaxLineLengthExceeded::EIdReadLnMaxLineLengthExceeded()
    : EIdException(Text(u8"Max. Zeilenlänge überschritten.")) {}

EIdAlreadyConnected::EIdAlreadyConnected() : EIdException(Text(u8"Verbindung besteht bereits.")) {}

}  // namespace vornetta::smtp
