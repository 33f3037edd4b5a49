#include "tools/streamsim/socket_io.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "tools/streamsim/sim_error.h"

namespace streamsim {

TStopSignal::TStopSignal() : fd_(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {
  if (fd_ < 0) throw TSimError(std::string("cannot create an event: ") + std::strerror(errno));
}

TStopSignal::~TStopSignal() {
  close(fd_);
}

void TStopSignal::Set() {
  const uint64_t one = 1;
  // The counter only grows; a full counter is still set.
  [[maybe_unused]] ssize_t n = write(fd_, &one, sizeof one);
}

bool TStopSignal::IsSet() const {
  pollfd p{fd_, POLLIN, 0};
  return poll(&p, 1, 0) == 1;
}

TListenSocket::TListenSocket(const std::string& address, int port) {
  if (port < 0 || port > 65535) {
    throw TSimError("port " + std::to_string(port) + " is not between 0 and 65535");
  }
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_port = htons(static_cast<uint16_t>(port));
  if (inet_pton(AF_INET, address.c_str(), &sa.sin_addr) != 1) {
    throw TSimError("\"" + address + "\" is no IPv4 address to listen on");
  }
  fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (fd_ < 0) throw TSimError(std::string("cannot create a socket: ") + std::strerror(errno));
  const int on = 1;
  setsockopt(fd_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  if (bind(fd_, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0 || listen(fd_, 64) != 0) {
    const int error = errno;
    close(fd_);
    fd_ = -1;
    const std::string where = address + ":" + std::to_string(port);
    if (error == EADDRINUSE)
      throw TSimError("port " + std::to_string(port) + " is in use (" + where + ")");
    throw TSimError("cannot listen on " + where + ": " + std::strerror(error));
  }
  socklen_t len = sizeof sa;
  getsockname(fd_, reinterpret_cast<sockaddr*>(&sa), &len);
  port_ = ntohs(sa.sin_port);
}

TListenSocket::~TListenSocket() {
  Close();
}

void TListenSocket::Close() {
  if (fd_ >= 0) close(fd_);
  fd_ = -1;
}

int TListenSocket::Accept(const TStopSignal& stop) {
  while (true) {
    pollfd p[2] = {{fd_, POLLIN, 0}, {stop.Fd(), POLLIN, 0}};
    if (poll(p, 2, -1) < 0) {
      if (errno == EINTR) continue;
      return -1;
    }
    if (p[1].revents != 0) return -1;
    const int fd = accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
    if (fd >= 0) return fd;
    // A connection that went away before it was taken, or a passing shortage: wait again.
    if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR || errno == ECONNABORTED ||
        errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM ||
        errno == EPROTO || errno == EPERM) {
      if (errno == EMFILE || errno == ENFILE) {
        pollfd s{stop.Fd(), POLLIN, 0};
        if (poll(&s, 1, 100) > 0) return -1;
      }
      continue;
    }
    return -1;
  }
}

TConnection::TConnection(int fd, const TStopSignal& stop) : fd_(fd), stop_(stop) {
  sockaddr_in sa{};
  socklen_t len = sizeof sa;
  if (getpeername(fd_, reinterpret_cast<sockaddr*>(&sa), &len) == 0 && sa.sin_family == AF_INET) {
    char text[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &sa.sin_addr, text, sizeof text);
    peer_address_ = text;
    peer_port_ = ntohs(sa.sin_port);
  }
}

TConnection::~TConnection() {
  Close();
}

void TConnection::Close() {
  if (fd_ >= 0) close(fd_);
  fd_ = -1;
}

TConnection::EIo TConnection::Wait(short events, const TClock::time_point* deadline,
                                   bool& timed_out) {
  timed_out = false;
  while (true) {
    int timeout_ms = -1;
    if (deadline) {
      const auto left = std::chrono::ceil<std::chrono::milliseconds>(*deadline - TClock::now());
      if (left.count() <= 0) {
        timed_out = true;
        return EIo::Ok;
      }
      timeout_ms = static_cast<int>(std::min<int64_t>(left.count(), 60000));
    }
    pollfd p[2] = {{fd_, events, 0}, {stop_.Fd(), POLLIN, 0}};
    const int n = poll(p, 2, timeout_ms);
    if (n < 0 && errno != EINTR) return EIo::Closed;
    if (p[1].revents != 0) return EIo::Stopped;
    // Readiness and hang-ups alike go to the read or write, which tells them apart.
    if (n > 0 && p[0].revents != 0) return EIo::Ok;
  }
}

TConnection::EIo TConnection::Read(void* buffer, size_t size) {
  auto* p = static_cast<uint8_t*>(buffer);
  while (size > 0) {
    if (fd_ < 0) return EIo::Closed;
    const ssize_t n = recv(fd_, p, size, 0);
    if (n > 0) {
      p += n;
      size -= static_cast<size_t>(n);
      continue;
    }
    if (n == 0) return EIo::Closed;
    if (errno == EINTR) continue;
    if (errno != EAGAIN && errno != EWOULDBLOCK) return EIo::Closed;
    bool timed_out;
    const EIo r = Wait(POLLIN, nullptr, timed_out);
    if (r != EIo::Ok) return r;
  }
  return EIo::Ok;
}

void TConnection::SetTrickle(int32_t bytes_per_second) {
  trickle_rate_ = bytes_per_second;
  next_trickle_ = TClock::now();
  if (fd_ >= 0) {
    // Each byte leaves as a segment of its own instead of waiting to be coalesced.
    int on = bytes_per_second > 0 ? 1 : 0;
    setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
  }
}

TConnection::EIo TConnection::SendTrickled(const uint8_t* p, size_t size) {
  const auto step = std::chrono::nanoseconds(1000000000LL / trickle_rate_);
  for (size_t i = 0; i < size; ++i) {
    const TClock::time_point now = TClock::now();
    if (next_trickle_ < now) next_trickle_ = now;
    // Sleeps only once a millisecond's worth of bytes is due, so a fast rate stays reachable.
    if (next_trickle_ - now > std::chrono::milliseconds(1)) {
      pollfd s{stop_.Fd(), POLLIN, 0};
      const auto ms = std::chrono::ceil<std::chrono::milliseconds>(next_trickle_ - now).count();
      if (poll(&s, 1, static_cast<int>(ms)) > 0) return EIo::Stopped;
    }
    const EIo r = SendAll(p + i, 1);
    if (r != EIo::Ok) return r;
    next_trickle_ += step;
  }
  return EIo::Ok;
}

TConnection::EIo TConnection::Send(const void* data, size_t size) {
  auto* p = static_cast<const uint8_t*>(data);
  return trickle_rate_ > 0 ? SendTrickled(p, size) : SendAll(p, size);
}

TConnection::EIo TConnection::SendAll(const uint8_t* p, size_t size) {
  while (size > 0) {
    if (fd_ < 0) return EIo::Closed;
    if (stop_.IsSet()) return EIo::Stopped;
    const ssize_t n = send(fd_, p, size, MSG_NOSIGNAL);
    if (n > 0) {
      p += n;
      size -= static_cast<size_t>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) return EIo::Closed;
    bool timed_out;
    const EIo r = Wait(POLLOUT, nullptr, timed_out);
    if (r != EIo::Ok) return r;
  }
  return EIo::Ok;
}

TConnection::EIo TConnection::WaitUntil(TClock::time_point deadline) {
  uint8_t scratch[4096];
  while (true) {
    if (fd_ < 0) return EIo::Closed;
    bool timed_out;
    const EIo r = Wait(POLLIN, &deadline, timed_out);
    if (r != EIo::Ok || timed_out) return r;
    const ssize_t n = recv(fd_, scratch, sizeof scratch, 0);
    if (n == 0) return EIo::Closed;
    if (n < 0 && errno != EINTR && errno != EAGAIN && errno != EWOULDBLOCK) return EIo::Closed;
  }
}

}  // namespace streamsim
