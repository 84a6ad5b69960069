// The fixed messages are written here in UTF-8, like every text of the program.
#include "smtp/exceptions.h"

#include <string>

namespace vornetta::smtp {
namespace {

std::string Text(const char* utf8) { return utf8; }

}  // namespace

EIdConnClosedGracefully::EIdConnClosedGracefully()
    : EIdSilentException(Text("Der Server hat die Verbindung beendet, bevor er geantwortet hat.")) {}

EIdInvalidSocket::EIdInvalidSocket() : EIdException(Text("Socket kann nicht zugewiesen werden.")) {}

EIdClosedSocket::EIdClosedSocket() : EIdException(Text("Verbindung aufgehoben.")) {}

EIdCouldNotBindSocket::EIdCouldNotBindSocket()
    : EIdSocketHandleError(
          Text("Socket konnte nicht gebunden werden. Adresse und Port werden bereits benutzt.")) {}

EIdStackInitializationFailed::EIdStackInitializationFailed()
    : EIdStackError(Text("Fehler bei der Winsock-Initialisierung.")) {}

EIdStackSetSizeExceeded::EIdStackSetSizeExceeded() : EIdStackError(Text("Mengengröße überschritten.")) {}

EIdNotConnected::EIdNotConnected() : EIdTCPConnectionError(Text("Nicht verbunden")) {}

EIdNotEnoughDataInBuffer::EIdNotEnoughDataInBuffer()
    : EIdTCPConnectionError(Text("Nicht genügend Daten im Puffer.")) {}

EIdReadTimeout::EIdReadTimeout() : EIdException(Text("Zeitüberschreitung beim Lesen")) {}

EIdReadLnMaxLineLengthExceeded::EIdReadLnMaxLineLengthExceeded()
    : EIdException(Text("Max. Zeilenlänge überschritten.")) {}

namespace {

std::string DurationText(std::chrono::milliseconds limit) {
  const auto seconds = (limit.count() + 999) / 1000;
  if (seconds >= 60 && seconds % 60 == 0) return std::to_string(seconds / 60) + (seconds == 60 ? " Minute" : " Minuten");
  return std::to_string(seconds) + (seconds == 1 ? " Sekunde" : " Sekunden");
}

}  // namespace

EIdAttemptTimeout::EIdAttemptTimeout(std::chrono::milliseconds limit)
    : EIdException(Text(("Zeitüberschreitung: der Versuch, die Mail zu senden, dauerte länger als " +
                         DurationText(limit) + " und wurde abgebrochen")
                            .c_str())) {}

EIdAlreadyConnected::EIdAlreadyConnected() : EIdException(Text("Verbindung besteht bereits.")) {}

}  // namespace vornetta::smtp
