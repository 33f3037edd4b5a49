// Test and benchmark support: a listener on 127.0.0.1 and the far side of an accepted
// connection, so the socket layer is exercised over real loopback sockets, and the byte
// building the far side's answers need. One thread at a time per object; each owns its
// socket. Failures throw std::runtime_error.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <vector>

namespace viewer {
class TKvTCPClientObj;
}

namespace viewer::test_support {

class TLoopbackListener {
 public:
  explicit TLoopbackListener(int backlog = 8);
  ~TLoopbackListener();
  TLoopbackListener(const TLoopbackListener&) = delete;
  TLoopbackListener& operator=(const TLoopbackListener&) = delete;

  int Port() const { return port_; }
  // Waits for the next connection and returns its socket (owned by the caller).
  int Accept();
  // Fills the accept queue of a listener made with backlog 0, so that a further connect
  // stays pending (the kernel drops its handshake) until this listener accepts.
  void FillAcceptQueue();

 private:
  int fd_ = -1;
  int port_ = 0;
  std::vector<int> fillers_;
};

// The server side of one connection.
class TLoopbackPeer {
 public:
  explicit TLoopbackPeer(int fd);
  ~TLoopbackPeer();
  TLoopbackPeer(const TLoopbackPeer&) = delete;
  TLoopbackPeer& operator=(const TLoopbackPeer&) = delete;

  // Sends every byte; false when the connection is gone.
  bool Send(const void* data, size_t size);
  bool Send(const std::vector<uint8_t>& bytes) { return Send(bytes.data(), bytes.size()); }
  // Reads exactly size bytes; false when the connection ends first.
  bool Receive(void* data, size_t size);
  // Resets the connection (RST instead of FIN).
  void Reset();
  void Close();
  int Handle() const { return fd_; }

 private:
  int fd_;
};

// Connects client to a fresh connection of the listener and returns its far side; nullptr
// when the client cannot connect.
std::unique_ptr<TLoopbackPeer> ConnectClient(TKvTCPClientObj& client, TLoopbackListener& listener);

// A word in network byte order, and parts joined in order.
std::vector<uint8_t> BE32(uint32_t v);
std::vector<uint8_t> Join(std::initializer_list<std::vector<uint8_t>> parts);

}  // namespace viewer::test_support
