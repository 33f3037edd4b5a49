#include "tools/recmake/av_util.h"

#include "tools/recmake/record_frame.h"

namespace recmake {

TFramePtr MakeFrame() {
  TFramePtr f(av_frame_alloc());
  if (!f) throw TRecmakeError("out of memory");
  return f;
}

TPacketPtr MakePacket() {
  TPacketPtr p(av_packet_alloc());
  if (!p) throw TRecmakeError("out of memory");
  return p;
}

std::string AvErrorText(int code) {
  char buf[AV_ERROR_MAX_STRING_SIZE] = {};
  av_strerror(code, buf, sizeof buf);
  return buf;
}

int AvCheck(int code, const std::string& what) {
  if (code < 0) throw TRecmakeError(what + ": " + AvErrorText(code));
  return code;
}

void SetAvLogLevel(bool verbose) {
  av_log_set_level(verbose ? AV_LOG_INFO : AV_LOG_ERROR);
}

}  // namespace recmake
