// Helpers for streamsim's tests: a log that keeps its lines in memory, a server running in
// process on port 0, a client made of the viewer's own socket client and package reader,
// small record files with known bytes, and a byte builder for expected answers. Test code
// only.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "tests/support/test_files.h"
#include "tools/recmake/record_frame.h"
#include "tools/streamsim/event_log.h"
#include "tools/streamsim/server.h"
#include "viewer/protocol/packages.h"
#include "viewer/protocol/requests.h"
#include "viewer/protocol/socket_client.h"

namespace streamsim::test {

using TBytes = std::vector<uint8_t>;

// Keeps every line; tests wait for the line they expect.
class TMemoryLog : public TEventLog {
 public:
  void Write(const TLogLine& line) override;
  std::vector<std::string> Lines() const;
  // The first line holding every piece, waiting for it (up to quvi_test::kHangGuard); ""
  // when none came.
  std::string WaitFor(const std::vector<std::string>& pieces) const;

 private:
  mutable std::mutex lock_;
  mutable std::condition_variable changed_;
  std::vector<std::string> lines_;
};

using TTempDir = quvi_test::TTempDir;

// A small record file: a key video frame, audio, a video frame with two overlay records,
// audio, and a last video frame, step_us apart, written with recmake's writer.
struct TTestFile {
  std::string Path;
  TBytes Bytes;  // the whole file
  bool HasFileHead = true;
  std::vector<recmake::TRecordFrame> Frames;     // as written
  std::vector<std::pair<size_t, size_t>> Spans;  // each frame's offset and size in Bytes
};
TTestFile WriteTestFile(const std::string& path, bool file_head = true, int64_t step_us = 40000,
                        uint8_t fill = 0x10);
TBytes ReadFile(const std::string& path);

// A server in process, started, on port 0, with its log in memory.
class TRunningServer {
 public:
  explicit TRunningServer(TServerOptions options);
  int Port() const { return server_->Port(); }
  int PtzProxyPort() const { return server_->PtzProxyPort(); }
  TMemoryLog& Log() { return log_; }
  void Stop() { server_->Stop(); }

 private:
  TMemoryLog log_;
  std::unique_ptr<TStreamSimServer> server_;
};

// Options for tests: a record file on every channel, paced as fast as possible, no
// keep-alives unless asked.
TServerOptions FastFileOptions(const std::string& path);

// One connection made the way the viewer makes it.
class TViewerClient {
 public:
  explicit TViewerClient(int port, int32_t recv_timeout_ms = 10000);
  void Send(const TBytes& bytes);
  template <class R>
  void SendRequest(const R& request, const viewer::TRequestAddressing& addressing = {}) {
    Send(viewer::EncodeRequest(addressing, request));
  }
  // One whole message as raw bytes (length word first).
  TBytes ReadMessage();
  // One package through the viewer's package reader; raises what it raises.
  std::unique_ptr<viewer::TOstraPreviewPlayPackage> ReadPackage();
  // Sends open live for the channel and reads the answer; true when its status is 0.
  bool OpenLive(int32_t channel);
  // "127.0.0.1:<local port>", as the server logs this client.
  std::string LocalPeer() const;
  viewer::TKvTCPClientObj& Socket() { return client_; }

 private:
  viewer::TKvTCPClientObj client_;
};

// Builds expected bytes field by field, big-endian like the wire.
class TByteWriter {
 public:
  TByteWriter& BE32(uint32_t v);
  TByteWriter& BE16(uint16_t v);
  TByteWriter& U8(uint8_t v);
  TByteWriter& Text(const std::string& text, size_t width);
  TByteWriter& Raw(const TBytes& bytes);
  TByteWriter& Raw(const uint8_t* data, size_t size);
  const TBytes& Bytes() const { return bytes_; }

 private:
  TBytes bytes_;
};

// The media bytes of a package.
TBytes MediaOf(const viewer::TAbstractPackage& package);

}  // namespace streamsim::test
