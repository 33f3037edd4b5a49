// Arbitrary answer bytes from the stream server after a valid open live request. The
// communicator sends its request over one end of a socket pair whose other end already holds
// the answer and then reports end of stream. Whatever the bytes, the handshake either accepts
// (only a well-formed status-0 answer) or raises a member of the viewer's exception family;
// the request on the wire is always the full, valid open request, and only an accepted answer
// with all four picture settings posts them, clamped.
#include <sys/socket.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "common/viewer_utils.h"
#include "platform/messages.h"
#include "viewer/pipeline/protected_section.h"
#include "viewer/pipeline/test_pipeline_model.h"
#include "viewer/protocol/exceptions.h"
#include "viewer/protocol/preview_communicator.h"
#include "viewer/protocol/requests.h"
#include "viewer/protocol/socket_client.h"
#include "viewer/protocol/wire_format.h"

namespace {

// The identity the request on the wire must carry; lives for the whole run.
viewer::test_support::TTestPipelineModel& FixedModel() {
  static auto* model = [] {
    auto* m = new viewer::test_support::TTestPipelineModel;
    m->dvrid = "12345";
    m->link_mode = 1;
    m->channel_no = 7;
    return m;
  }();
  return *model;
}

void Check(bool condition) {
  if (!condition) std::abort();
}

// The request the communicator wrote, read back from the far end.
void CheckRequest(int far_end) {
  std::vector<uint8_t> bytes(viewer::RequestSize<viewer::TOpenLiveRequest>());
  size_t got = 0;
  while (got < bytes.size()) {
    const ssize_t n = ::recv(far_end, bytes.data() + got, bytes.size() - got, MSG_DONTWAIT);
    Check(n > 0);
    got += static_cast<size_t>(n);
  }
  uint8_t extra;
  Check(::recv(far_end, &extra, 1, MSG_DONTWAIT) < 0);  // exactly one request
  viewer::TOpenLiveRequest request;
  viewer::TRequestHead head;
  Check(viewer::DecodeRequest(bytes.data(), bytes.size(), request, &head));
  Check(request.DVRID == "12345" && request.LinkMode == 1 && request.ChannelNo == 7);
  Check(request.Token == "fuzz-token");
  Check(head.ClientAddress == 0x0A000001u && head.TargetAddress == 0xC0A80001u);
}

// What an accepted answer must look like, and the messages it may have posted.
void CheckOutcome(const uint8_t* data, size_t size, bool accepted) {
  plat::TMsg msg;
  const bool posted = plat::GetMessage(&msg, 0);
  if (!accepted) {
    Check(!posted);
    return;
  }
  Check(size >= viewer::wire::kResponseHeadSize);
  const uint32_t length = ReadUInt32(data, true);
  Check(length <= size && length <= static_cast<uint32_t>(viewer::wire::kMaxPackLength));
  Check(ReadUInt32(data + 4, true) == viewer::wire::kOpenLiveResponse);
  Check(ReadUInt32(data + 20, true) == 0);
  Check(length == 24 || length >= 40);
  if (length == 24) {
    Check(!posted);
    return;
  }
  Check(posted && msg.message == viewer::kVideoParamsMessage);
  const uintptr_t brightness = msg.wParam >> 8, contrast = msg.wParam & 0xFF;
  const intptr_t saturation = msg.lParam >> 8, hue = msg.lParam & 0xFF;
  Check(brightness <= 128 && contrast <= 127 && saturation >= 0 && saturation <= 127 && hue <= 128);
  Check(!plat::GetMessage(&msg, 0));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // The answer must fit in the socket pair's buffer, which is written before the read.
  if (size > 65536) return 0;
  static viewer::TProtectedSection section;
  viewer::test_support::TTestPipelineModel& model = FixedModel();
  static const plat::HWND window = plat::CreateWindowHandle();

  int fds[2];
  if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds) != 0) std::abort();
  const int sndbuf = 1 << 18;
  ::setsockopt(fds[1], SOL_SOCKET, SO_SNDBUF, &sndbuf, sizeof sndbuf);
  size_t sent = 0;
  while (sent < size) {
    const ssize_t n = ::send(fds[1], data + sent, size - sent, 0);
    Check(n > 0);
    sent += static_cast<size_t>(n);
  }
  ::shutdown(fds[1], SHUT_WR);

  bool accepted = false;
  {
    viewer::TKvIPObject connection;
    connection.AttachSocket(fds[0]);
    viewer::TOstraNvPreviewCommunicator comm;
    comm.Client = &connection;
    comm.ProtectedSection = &section;
    comm.Model = &model;
    comm.WindowHandle = window;
    comm.Token = "fuzz-token";
    comm.ChannelNo = 7;
    comm.ConnectionType = 1;
    comm.ClientNetID = "10.0.0.1";
    comm.ServerAddress = "192.168.0.1";
    try {
      comm.GetPlayRight();
      accepted = true;
    } catch (const viewer::EViewerException&) {
      // Every refusal belongs to the family; anything else escapes and is a finding.
    }
    CheckRequest(fds[1]);
  }
  ::close(fds[1]);
  CheckOutcome(data, size, accepted);
  return 0;
}
