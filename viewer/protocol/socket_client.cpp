#include "viewer/protocol/socket_client.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <mutex>

#include "viewer/protocol/exceptions.h"

namespace viewer {

namespace {

std::once_flag g_startup_once;
std::atomic<bool> g_started{false};

// POSIX sockets need no start-up; the flag keeps the one-time contract of the socket library
// so a platform whose library can refuse the version reports it in one place.
bool StartupPlatformSockets(uint16_t /*version*/) {
  return true;
}

void SetBlocking(int fd, bool blocking) {
  const int flags = ::fcntl(fd, F_GETFL, 0);
  if (flags < 0) return;
  ::fcntl(fd, F_SETFL, blocking ? (flags & ~O_NONBLOCK) : (flags | O_NONBLOCK));
}

}  // namespace

void StartSocketLibrary() {
  std::call_once(g_startup_once, [] { g_started = StartupPlatformSockets(0x0202); });
  if (!g_started) throw EViewerException("not support 0x0202 version!");
}

bool SocketLibraryStarted() {
  return g_started.load();
}

// ---- TSocketHandle ----

TSocketHandle::~TSocketHandle() {
  Close(false);
  for (int fd : retired_) ::close(fd);
}

int TSocketHandle::Get() const {
  return fd_.load();
}

void TSocketHandle::Set(int fd) {
  Close(false);
  fd_.store(fd);
}

void TSocketHandle::Close(bool shutdown) {
  const int fd = fd_.exchange(-1);
  if (fd < 0) return;
  std::lock_guard<std::mutex> hold(lock_);
  // A user counted now may have taken fd before the exchange: wake it and let the last
  // user release the number.
  if (users_.load() > 0) {
    ::shutdown(fd, SHUT_RDWR);
    retired_.push_back(fd);
    return;
  }
  if (shutdown) ::shutdown(fd, SHUT_RDWR);
  ::close(fd);
}

int TSocketHandle::Acquire() {
  // Counted before the handle is read, so a Close after that read sees this user.
  users_.fetch_add(1);
  const int fd = fd_.load();
  if (fd < 0) Release();
  return fd;
}

void TSocketHandle::Release() {
  if (users_.fetch_sub(1) == 1) CloseRetiredWhenUnused();
}

void TSocketHandle::CloseRetiredWhenUnused() {
  std::lock_guard<std::mutex> hold(lock_);
  // Later users can only have read the current handle, never a retired one.
  if (users_.load() != 0) return;
  for (int fd : retired_) ::close(fd);
  retired_.clear();
}

// ---- TKvIPObject ----

TKvIPObject::TKvIPObject() {
  StartSocketLibrary();
  CreateSocket();
}

TKvIPObject::~TKvIPObject() {
  CloseSocket();
}

void TKvIPObject::CloseSocket() {
  socket_.Close(false);
}

void TKvIPObject::AttachSocket(int handle) {
  socket_.Set(handle);
}

long TKvIPObject::ReceiveSome(void* buffer, size_t size, int* error) {
  const TSocketHandle::TUse use(socket_);
  for (;;) {
    const long n = ::recv(use.fd, buffer, size, 0);
    if (n >= 0) return n;
    if (errno == EINTR) continue;
    *error = errno;
    return -1;
  }
}

void TKvIPObject::ReadBuffer(void* buffer, size_t size) {
  auto* p = static_cast<uint8_t*>(buffer);
  while (size > 0) {
    int error = 0;
    const long n = ReceiveSome(p, size, &error);
    if (n == 0) throw EPmSocketClosedException("socket closed");
    if (n < 0) {
      // A receive time-out shows as "would block"; ETIMEDOUT is the TCP keep-alive's.
      if (error == EAGAIN || error == EWOULDBLOCK || error == ETIMEDOUT)
        throw EPmTimeoutException("recv timeout");
      if (error == ECONNRESET) throw EViewerException("conn reset");
      throw EViewerException("read data failed, e=" + std::to_string(error));
    }
    p += n;
    size -= static_cast<size_t>(n);
  }
}

int32_t TKvIPObject::ReadInt32(bool big_endian) {
  uint32_t v = 0;
  ReadBuffer(&v, sizeof v);
  return static_cast<int32_t>(big_endian ? ntohl(v) : v);
}

int32_t TKvIPObject::Send(const void* data, size_t length) {
  // MSG_NOSIGNAL: a peer that has gone must give an error, not end the host process.
  const TSocketHandle::TUse use(socket_);
  return static_cast<int32_t>(::send(use.fd, data, length, MSG_NOSIGNAL));
}

bool TKvIPObject::SendBuffer(const void* data, size_t length) {
  const TSocketHandle::TUse use(socket_);
  const auto* p = static_cast<const uint8_t*>(data);
  do {
    const long n = ::send(use.fd, p, length, MSG_NOSIGNAL);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    p += n;
    length -= static_cast<size_t>(n);
  } while (length > 0);
  return true;
}

void TKvIPObject::SetRecvTimeout(int32_t milliseconds) {
  if (milliseconds == recv_timeout_ || milliseconds <= 0) return;
  ApplyRecvTimeout(milliseconds);
}

void TKvIPObject::ApplyRecvTimeout(int32_t milliseconds) {
  recv_timeout_ = milliseconds;
  timeval tv{};
  tv.tv_sec = milliseconds / 1000;
  tv.tv_usec = (milliseconds % 1000) * 1000;
  const TSocketHandle::TUse use(socket_);
  if (use.fd >= 0) ::setsockopt(use.fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
}

// ---- TKvTCPClientObj ----

TKvTCPClientObj::TKvTCPClientObj() {
  CreateSocket();
}

TKvTCPClientObj::~TKvTCPClientObj() {
  Disconnect();
  socket_.Close(true);
}

void TKvTCPClientObj::CreateSocket() {
  if (IsSocketOpen()) return;
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP);
  if (fd < 0) return;
  socket_.Set(fd);
  // Every new socket gets 10000 ms, even when that value is already the stored one: a
  // reconnected socket must never be left without a receive time-out.
  ApplyRecvTimeout(10000);
  sockaddr_in local{};
  local.sin_family = AF_INET;
  local.sin_addr.s_addr = htonl(INADDR_ANY);
  local.sin_port = 0;
  ::bind(fd, reinterpret_cast<const sockaddr*>(&local), sizeof local);
}

bool TKvTCPClientObj::Connect() {
  if (connected_) return true;
  CreateSocket();
  // Held for the whole connect: an Abort from another thread then wakes the wait, and the
  // handle's number cannot be reused under it.
  const TSocketHandle::TUse use(socket_);
  const int fd = use.fd;
  if (fd < 0) return false;
  SetBlocking(fd, false);

  sockaddr_in remote{};
  remote.sin_family = AF_INET;
  remote.sin_port = htons(static_cast<uint16_t>(Port));
  bool ok = ::inet_pton(AF_INET, Host.c_str(), &remote.sin_addr) == 1;
  if (ok) {
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&remote), sizeof remote) != 0)
      ok = errno == EINPROGRESS && WaitConnected(fd);
  }
  // A handle taken away meanwhile means the connect was aborted.
  if (!ok || socket_.Get() != fd) {
    socket_.Close(true);
    return false;
  }
  SetBlocking(fd, true);
  connected_ = true;
  return true;
}

bool TKvTCPClientObj::WaitConnected(int fd) const {
  // Whole seconds only: below 1000 ms a connect that is not complete at once fails.
  const int seconds = ConnectTimeout > 0 ? ConnectTimeout / 1000 : 0;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  pollfd p{fd, POLLOUT, 0};
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    const int r = ::poll(&p, 1, left.count() > 0 ? static_cast<int>(left.count()) : 0);
    if (r > 0) break;
    if (r == 0 || errno != EINTR) return false;
  }
  // Writable also means "failed" here (refused, unreachable): the socket's error tells which.
  int error = 0;
  socklen_t len = sizeof error;
  return ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &len) == 0 && error == 0;
}

void TKvTCPClientObj::Abort() {
  connected_ = false;
  socket_.Close(true);
}

void TKvTCPClientObj::Disconnect() {
  // Either the owner or another thread breaking its read may get here; only one closes.
  if (!connected_.exchange(false)) return;
  socket_.Close(true);
}

}  // namespace viewer
