// The failures of the SMTP transport, each with its German message.
#pragma once

#include <chrono>
#include <stdexcept>
#include <string>

#include "platform/failure.h"

namespace vornetta::smtp {

class EIdException : public platform::EFailure {
 public:
  using EFailure::EFailure;
};

class EIdSilentException : public EIdException {
 public:
  using EIdException::EIdException;
};

// "Der Server hat die Verbindung beendet, bevor er geantwortet hat."
class EIdConnClosedGracefully : public EIdSilentException {
 public:
  EIdConnClosedGracefully();
};

// "Socket-Fehler # <code>" CR LF and the code's text.
class EIdSocketError : public EIdException {
 public:
  EIdSocketError(int code, const std::string& message) : EIdException(message), code_(code) {}
  int SocketErrorCode() const { return code_; }

 private:
  int code_;
};

// "Socket kann nicht zugewiesen werden."
class EIdInvalidSocket : public EIdException {
 public:
  EIdInvalidSocket();
};

// "Verbindung aufgehoben."
class EIdClosedSocket : public EIdException {
 public:
  EIdClosedSocket();
};

class EIdSocketHandleError : public EIdException {
 public:
  using EIdException::EIdException;
};

// "Socket konnte nicht gebunden werden. Adresse und Port werden bereits benutzt."
class EIdCouldNotBindSocket : public EIdSocketHandleError {
 public:
  EIdCouldNotBindSocket();
};

class EIdStackError : public EIdException {
 public:
  using EIdException::EIdException;
};

// "Fehler bei der Winsock-Initialisierung." Kept for completeness: POSIX sockets need no start.
class EIdStackInitializationFailed : public EIdStackError {
 public:
  EIdStackInitializationFailed();
};

// "Mengengröße überschritten."
class EIdStackSetSizeExceeded : public EIdStackError {
 public:
  EIdStackSetSizeExceeded();
};

class EIdTCPConnectionError : public EIdException {
 public:
  using EIdException::EIdException;
};

// "Nicht verbunden"
class EIdNotConnected : public EIdTCPConnectionError {
 public:
  EIdNotConnected();
};

// "Nicht genügend Daten im Puffer."
class EIdNotEnoughDataInBuffer : public EIdTCPConnectionError {
 public:
  EIdNotEnoughDataInBuffer();
};

// "Zeitüberschreitung beim Lesen", or what was waited for.
class EIdReadTimeout : public EIdException {
 public:
  EIdReadTimeout();
  explicit EIdReadTimeout(const std::string& message) : EIdException(message) {}
};

// "Max. Zeilenlänge überschritten."
class EIdReadLnMaxLineLengthExceeded : public EIdException {
 public:
  EIdReadLnMaxLineLengthExceeded();
};

// "Verbindung besteht bereits."
class EIdAlreadyConnected : public EIdException {
 public:
  EIdAlreadyConnected();
};

// A reply code the command does not accept; the message is the server's reply
// text, every line followed by CR LF, its control characters replaced by "?".
class EIdProtocolReplyError : public EIdException {
 public:
  EIdProtocolReplyError(int replyCode, const std::string& message)
      : EIdException(message), replyCode_(replyCode) {}
  int ReplyCode() const { return replyCode_; }

 private:
  int replyCode_;
};

// A mail attempt that went on longer than its overall limit (EMail::AttemptLimit),
// however promptly each single reply came.
class EIdAttemptTimeout : public EIdException {
 public:
  explicit EIdAttemptTimeout(std::chrono::milliseconds limit);
};

// An address beyond ASCII before the "@" for a server without SMTPUTF8; nothing was sent.
class EIdSmtpUtf8Missing : public EIdException {
 public:
  using EIdException::EIdException;
};

// A failure of the encrypted transport or of its rules (certificate, STARTTLS,
// login mechanism); the German message names the setting to change.
class EIdTlsError : public EIdException {
 public:
  using EIdException::EIdException;
};

}  // namespace vornetta::smtp
