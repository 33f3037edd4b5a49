// The exception family of the viewer control's stream and play code. Every class carries a
// text message; connection and play threads turn them into status codes and log them.
// Thrown and caught on any thread; value types.
#pragma once

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

}  // namespace viewer
