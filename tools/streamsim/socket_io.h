// Server-side sockets of the simulator: a stop signal every wait also watches, a listening
// socket, and an accepted connection with whole-buffer reads and writes that end early when
// the peer goes or the server stops. A connection is used by the one thread that serves it;
// the stop signal is set from any thread. Each object owns its descriptor.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>

namespace streamsim {

using TClock = std::chrono::steady_clock;

// Set once; every blocking wait of the server returns when it is set.
class TStopSignal {
 public:
  TStopSignal();
  ~TStopSignal();
  TStopSignal(const TStopSignal&) = delete;
  TStopSignal& operator=(const TStopSignal&) = delete;

  void Set();
  bool IsSet() const;
  int Fd() const { return fd_; }

 private:
  int fd_;
};

// A TCP listener. Throws TSimError with a clear text when the address is bad or the port
// is in use.
class TListenSocket {
 public:
  TListenSocket(const std::string& address, int port);
  ~TListenSocket();
  TListenSocket(const TListenSocket&) = delete;
  TListenSocket& operator=(const TListenSocket&) = delete;

  int Port() const { return port_; }
  // Waits for the next connection; -1 when the stop signal was set or accepting failed
  // for good. The returned descriptor is non-blocking and belongs to the caller.
  int Accept(const TStopSignal& stop);
  // Stops listening: later connects are refused. Port() keeps the number. Not while Accept runs.
  void Close();

 private:
  int fd_ = -1;
  int port_ = 0;
};

class TConnection {
 public:
  enum class EIo { Ok, Closed, Stopped };

  // Takes over an accepted, non-blocking descriptor.
  TConnection(int fd, const TStopSignal& stop);
  ~TConnection();
  TConnection(const TConnection&) = delete;
  TConnection& operator=(const TConnection&) = delete;

  // Exactly size bytes; Closed when the peer closes or fails first.
  EIo Read(void* buffer, size_t size);
  // Every byte; Closed when the peer is gone.
  EIo Send(const void* data, size_t size);
  // From now on Send writes every byte on its own, at most bytes_per_second of them a
  // second (0: whole buffers again), like a slow link.
  void SetTrickle(int32_t bytes_per_second);
  // Waits until the deadline, discarding anything the peer sends; Closed as soon as the
  // peer closes.
  EIo WaitUntil(TClock::time_point deadline);
  // Closes the descriptor; later calls give Closed.
  void Close();

  // "a.b.c.d" and port of the peer.
  const std::string& PeerAddress() const { return peer_address_; }
  int PeerPort() const { return peer_port_; }

 private:
  // Waits for the events (POLLIN / POLLOUT) until the deadline (none: forever).
  EIo Wait(short events, const TClock::time_point* deadline, bool& timed_out);
  EIo SendAll(const uint8_t* p, size_t size);
  // One byte after the other, each when the trickle rate allows it.
  EIo SendTrickled(const uint8_t* p, size_t size);

  int fd_;
  const TStopSignal& stop_;
  std::string peer_address_;
  int peer_port_ = 0;
  int32_t trickle_rate_ = 0;
  TClock::time_point next_trickle_{};
};

}  // namespace streamsim
