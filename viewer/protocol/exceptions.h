// The exception family of the viewer control's stream and play code. Every class carries a
// text message; connection and play threads turn them into status codes and log them. The
// classes whose message is fixed build it themselves when constructed without one.
// Thrown and caught on any thread; value types.
#pragma once

#include <cstdint>
#include <exception>
#include <string>

namespace viewer {

// Common base of the family; also raised plainly for socket failures without a class of
// their own ("conn reset", "read data failed, e=...").
class EViewerException : public std::exception {
 public:
  explicit EViewerException(std::string message) : message_(std::move(message)) {}
  const std::string& Message() const { return message_; }
  const char* what() const noexcept override { return message_.c_str(); }

 private:
  std::string message_;
};

// The peer closed the connection while a read was waiting for bytes.
class EPmSocketClosedException : public EViewerException {
 public:
  using EViewerException::EViewerException;
};
// The receive time-out expired before the bytes arrived.
class EPmTimeoutException : public EViewerException {
 public:
  using EViewerException::EViewerException;
};

// Common base of the two package read failures.
class ENetwork : public EViewerException {
 public:
  using EViewerException::EViewerException;
};
// Reading the 8-byte head of a package or answer failed (socket error's message kept).
class EReadPackageHead : public ENetwork {
 public:
  using ENetwork::ENetwork;
};
// Reading the body of a package or answer failed (socket error's message kept).
class EReadPackage : public ENetwork {
 public:
  using ENetwork::ENetwork;
};
// Impossible package length or unknown package code.
class EInvalidPackageLength : public EViewerException {
 public:
  using EViewerException::EViewerException;
};

// A device identifier (DVRID) that is no 32-bit integer; the request is not built.
class EInvalidDeviceId : public EViewerException {
 public:
  using EViewerException::EViewerException;
};

// ---- The open handshake: the answer's code and status ----

// The answer to the open request carries another code than the open-live answer's.
class EInvalidReturnStatusCommand : public EViewerException {
 public:
  EInvalidReturnStatusCommand() : EViewerException("not preview connect resp") {}
  using EViewerException::EViewerException;
};
// Status -1: the user may not watch this channel.
class EHaveNoRight : public EViewerException {
 public:
  EHaveNoRight() : EViewerException("no right") {}
  using EViewerException::EViewerException;
};
// Status -2: the token is not (or no longer) valid.
class ETokenInvalid : public EViewerException {
 public:
  ETokenInvalid() : EViewerException("invalid token") {}
  using EViewerException::EViewerException;
};
// Status -3: the server could not understand the request.
class EMalformedProtocol : public EViewerException {
 public:
  EMalformedProtocol() : EViewerException("malformed protocol") {}
  using EViewerException::EViewerException;
};
// Status -4: the server timed out reaching the recorder.
class ETimeout : public EViewerException {
 public:
  ETimeout() : EViewerException("timeout") {}
  using EViewerException::EViewerException;
};
// Status -5: what was asked for does not exist.
class EFileNotFound : public EViewerException {
 public:
  EFileNotFound() : EViewerException("file not found") {}
  using EViewerException::EViewerException;
};
// Status -999 ("unknown error") or any status without a class of its own
// ("unknown status <n>").
class EUnknown : public EViewerException {
 public:
  using EViewerException::EViewerException;
  static EUnknown ForStatus(int32_t status);
};

// ---- Package checks on the stream connection ----

// The first package of a connection is no play package.
class EInvalidPlayFileHead : public EViewerException {
 public:
  EInvalidPlayFileHead() : EViewerException("not file head resp") {}
  using EViewerException::EViewerException;
};
// A later package is no play package; the message names its code in upper-case hex.
class EInvalidPlayPackage : public EViewerException {
 public:
  using EViewerException::EViewerException;
  static EInvalidPlayPackage ForCode(uint32_t code);
};

// ---- Play thread and player ----

// No stream head came among the first packages of a view.
class ENoFileHeadReceived : public EViewerException {
 public:
  ENoFileHeadReceived() : EViewerException("not recv sys header") {}
  using EViewerException::EViewerException;
};
// The player could not open the stream (empty message).
class EOpenStream : public EViewerException {
 public:
  EOpenStream() : EViewerException("") {}
  using EViewerException::EViewerException;
};
// The player could not start playing the stream (empty message).
class EPlay : public EViewerException {
 public:
  EPlay() : EViewerException("") {}
  using EViewerException::EViewerException;
};
// Raised by players that check their input; recognised by the play thread's handler.
class EInputData : public EViewerException {
 public:
  using EViewerException::EViewerException;
};
// Raised by players whose decoder fails; recognised by the play thread's handler.
class EDecoderSDKError : public EViewerException {
 public:
  using EViewerException::EViewerException;
};

// ---- Preview commands ----

// A PTZ command or enable value outside 0..255.
class EPTZControlCommand : public EViewerException {
 public:
  using EViewerException::EViewerException;
  // "invalid ptz cmd, cmd=0x" + the value in at least two upper-case hex digits.
  static EPTZControlCommand InvalidCommand(int32_t command);
  // "invalid ptz enabled, enabled=" + the decimal value.
  static EPTZControlCommand InvalidEnabled(int32_t enabled);
};
// A PTZ command while the view does not play.
class ENoPlayingBeforePTZControl : public EViewerException {
 public:
  ENoPlayingBeforePTZControl() : EViewerException("not playing before ptz control") {}
  using EViewerException::EViewerException;
};
// A video-parameter request while the view does not play.
class ENoPlayingBeforeVideoParaRefresh : public EViewerException {
 public:
  ENoPlayingBeforeVideoParaRefresh()
      : EViewerException("not playing before video parameter refresh") {}
  using EViewerException::EViewerException;
};

}  // namespace viewer
