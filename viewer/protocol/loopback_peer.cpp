#include "viewer/protocol/loopback_peer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <stdexcept>
#include <string>

#include "viewer/protocol/socket_client.h"

namespace viewer::test_support {

namespace {

[[noreturn]] void Fail(const char* what) {
  throw std::runtime_error(std::string(what) + ": errno " + std::to_string(errno));
}

sockaddr_in Loopback(int port) {
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  a.sin_port = htons(static_cast<uint16_t>(port));
  return a;
}

}  // namespace

TLoopbackListener::TLoopbackListener(int backlog) {
  fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd_ < 0) Fail("socket");
  sockaddr_in a = Loopback(0);
  socklen_t len = sizeof a;
  if (::bind(fd_, reinterpret_cast<sockaddr*>(&a), len) != 0) Fail("bind");
  if (::listen(fd_, backlog) != 0) Fail("listen");
  if (::getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &len) != 0) Fail("getsockname");
  port_ = ntohs(a.sin_port);
}

TLoopbackListener::~TLoopbackListener() {
  for (int f : fillers_) ::close(f);
  ::close(fd_);
}

int TLoopbackListener::Accept() {
  for (;;) {
    const int fd = ::accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd >= 0) return fd;
    if (errno != EINTR) Fail("accept");
  }
}

void TLoopbackListener::FillAcceptQueue() {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) Fail("socket");
  fillers_.push_back(fd);
  const sockaddr_in a = Loopback(port_);
  if (::connect(fd, reinterpret_cast<const sockaddr*>(&a), sizeof a) != 0) Fail("connect");
}

TLoopbackPeer::TLoopbackPeer(int fd) : fd_(fd) {
  const int one = 1;
  ::setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
}

TLoopbackPeer::~TLoopbackPeer() {
  Close();
}

bool TLoopbackPeer::Send(const void* data, size_t size) {
  const auto* p = static_cast<const uint8_t*>(data);
  while (size > 0) {
    const long n = ::send(fd_, p, size, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    p += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

bool TLoopbackPeer::Receive(void* data, size_t size) {
  auto* p = static_cast<uint8_t*>(data);
  while (size > 0) {
    const long n = ::recv(fd_, p, size, 0);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    p += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

void TLoopbackPeer::Reset() {
  const linger l{1, 0};
  ::setsockopt(fd_, SOL_SOCKET, SO_LINGER, &l, sizeof l);
  Close();
}

void TLoopbackPeer::Close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

std::unique_ptr<TLoopbackPeer> ConnectClient(TKvTCPClientObj& client, TLoopbackListener& listener) {
  client.Host = "127.0.0.1";
  client.Port = listener.Port();
  if (!client.Connect()) return nullptr;
  return std::make_unique<TLoopbackPeer>(listener.Accept());
}

std::vector<uint8_t> BE32(uint32_t v) {
  return {static_cast<uint8_t>(v >> 24), static_cast<uint8_t>(v >> 16),
          static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v)};
}

std::vector<uint8_t> Join(std::initializer_list<std::vector<uint8_t>> parts) {
  std::vector<uint8_t> all;
  for (const std::vector<uint8_t>& p : parts) all.insert(all.end(), p.begin(), p.end());
  return all;
}

}  // namespace viewer::test_support
