// The viewer control's own IPv4 TCP socket layer: a socket object that reads exactly the bytes
// asked for or raises, and a client that connects within a bounded wait or leaves no socket.
// One thread uses an object at a time, except that Disconnect may come from another thread to
// break a blocking read (the read then raises), and Abort to break a pending connect as well. Each
// object owns its socket handle.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

namespace viewer {

// Starts the process's socket library once, asking for version 2.2; raises EViewerException
// "not support 0x0202 version!" when it cannot. Every socket object calls it when built.
void StartSocketLibrary();
bool SocketLibraryStarted();

// The handle of a socket object, shared by the thread that reads and writes through it and a
// thread that may close it meanwhile. A handle closed while a call uses it is shut down at
// once (which wakes that call) and given back to the system only when the last call has
// left, so its number cannot be reused under a running recv. Any thread; owns the handles.
class TSocketHandle {
 public:
  TSocketHandle() = default;
  ~TSocketHandle();
  TSocketHandle(const TSocketHandle&) = delete;
  TSocketHandle& operator=(const TSocketHandle&) = delete;

  int Get() const;
  // Adopts a handle; any current one is closed first.
  void Set(int fd);
  // Takes the current handle away (-1 afterwards), shutting it down first when asked to.
  void Close(bool shutdown);

  // One system call's use of the handle (fd -1 when there is none).
  class TUse {
   public:
    explicit TUse(TSocketHandle& owner) : owner_(owner), fd(owner.Acquire()) {}
    ~TUse() {
      if (fd >= 0) owner_.Release();
    }
    TUse(const TUse&) = delete;
    TUse& operator=(const TUse&) = delete;

   private:
    TSocketHandle& owner_;

   public:
    const int fd;
  };

 private:
  int Acquire();
  void Release();
  void CloseRetiredWhenUnused();

  // Atomics keep the per-call path free of locks; the lock guards only the retired list.
  std::atomic<int> fd_{-1};
  std::atomic<int> users_{0};
  std::mutex lock_;
  std::vector<int> retired_;  // closed while in use; released by the last user
};

// Owns one socket handle (-1 when none) and reads and writes raw bytes with a receive time-out.
class TKvIPObject {
 public:
  TKvIPObject();
  virtual ~TKvIPObject();
  TKvIPObject(const TKvIPObject&) = delete;
  TKvIPObject& operator=(const TKvIPObject&) = delete;

  // Creates the object's socket when it has none; the base object has no kind of socket.
  virtual void CreateSocket() {}

  bool IsSocketOpen() const { return socket_.Get() != -1; }
  void CloseSocket();
  // Fills buffer with exactly size bytes or raises: EPmSocketClosedException "socket closed",
  // EPmTimeoutException "recv timeout", EViewerException "conn reset" or
  // "read data failed, e=<errno>". The socket stays open; the caller disconnects.
  void ReadBuffer(void* buffer, size_t size);
  // Four bytes as a signed integer, from network byte order when big_endian is set.
  int32_t ReadInt32(bool big_endian);
  // Sends the whole buffer (continuing after a partial send); false on a send error.
  bool SendBuffer(const void* data, size_t length);
  // One send call: bytes sent or -1.
  int32_t Send(const void* data, size_t length);
  // Stores and applies a receive time-out when it differs from the stored one and is positive.
  void SetRecvTimeout(int32_t milliseconds);
  int32_t RecvTimeout() const { return recv_timeout_; }

  int Handle() const { return socket_.Get(); }
  // Takes over a socket made elsewhere (e.g. a server's accepted connection), closing the
  // object's own socket first.
  void AttachSocket(int handle);

 protected:
  // One receive call: bytes received, 0 when the peer has closed, -1 with *error set to the
  // errno of the failure. In-memory peers replace it in tests and fuzzing.
  virtual long ReceiveSome(void* buffer, size_t size, int* error);
  // Stores the time-out and applies it to the current socket whatever was stored before.
  void ApplyRecvTimeout(int32_t milliseconds);

  TSocketHandle socket_;

 private:
  int32_t recv_timeout_ = 6000;
};

// TCP client to Host:Port; owns its socket across any number of connect/disconnect cycles.
class TKvTCPClientObj : public TKvIPObject {
 public:
  TKvTCPClientObj();
  ~TKvTCPClientObj() override;

  // A new IPv4 TCP socket with a 10000 ms receive time-out, bound to any local address.
  void CreateSocket() override;
  // True when connected within ConnectTimeout div 1000 whole seconds; on failure no socket
  // is left open. True at once when already connected.
  bool Connect();
  // Shuts down and closes the socket when connected; otherwise does nothing.
  void Disconnect();
  bool Connected() const { return connected_.load(); }
  // From any thread: closes the socket whatever its state, so a pending Connect fails at once
  // and a blocking read raises. The object may connect again afterwards.
  void Abort();

  std::string Host;               // dotted quad; names are not resolved here
  int32_t Port = 0;               // low 16 bits used
  int32_t ConnectTimeout = 2000;  // milliseconds

 private:
  // Waits for a pending connect to complete; true when it succeeded in time.
  bool WaitConnected(int fd) const;

  std::atomic<bool> connected_{false};
};

}  // namespace viewer
