// Arbitrary packages through the preview player: frame type, claimed frame length and the
// real data size are all fuzzer-chosen, so a frame may claim more bytes than its package
// holds. The player forwards, gates, records and feeds them (the player API is absent, so
// every call gives its failure value); none of that may read outside a package's data.
#include <fcntl.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <exception>
#include <memory>

#include "viewer/player/ostra_nv_preview_player.h"
#include "viewer/player/player_binding.h"
#include "viewer/protocol/packages.h"

namespace {

volatile uint32_t g_sink;

struct TInput {
  const uint8_t* data;
  size_t size;
  template <typename T>
  T Take() {
    T value{};
    const size_t n = size < sizeof value ? size : sizeof value;
    std::memcpy(&value, data, n);
    data += n;
    size -= n;
    return value;
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool bound = [] {
    viewer::SetPlayerProxyModuleName("/nonexistent/libZrPlayProxy.so");
    return true;
  }();
  (void)bound;
  TInput in{data, size};
  const uint8_t flags = in.Take<uint8_t>();

  viewer::TOstraNvPreviewPlayer player;
  player.NoDecode = (flags & 1) != 0;
  player.SetLinkMode(flags >> 1 & 3);
  player.StartRecord("/dev/null", true, ::open("/dev/null", O_WRONLY));
  uint32_t sum = 0;
  player.OnReceiveData = [&](const uint8_t* media, int32_t length, int32_t) {
    for (int32_t i = 0; i < length; ++i) sum += media[i];
  };

  bool begun = false;
  while (in.size > 0) {
    auto package = std::make_unique<viewer::TOstraPreviewPlayPackage>();
    package->FrameType = in.Take<int32_t>();
    package->FrameLength = in.Take<int32_t>();
    size_t data_size = in.Take<uint16_t>();
    if (data_size > in.size) data_size = in.size;
    if (data_size > 0) {
      package->Data.reset(new uint8_t[data_size]);
      std::memcpy(package->Data.get(), in.data, data_size);
      in.data += data_size;
      in.size -= data_size;
    }
    package->DataSize = data_size;
    try {
      if (!begun && player.IsStreamHead(package->FrameType)) {
        begun = true;
        player.BeginPlay(*package);
      }
      player.InputPackage(*package);
    } catch (const std::exception&) {
      // A refused head (too long, outside its package, or no player to open it).
    }
  }
  player.StopPlay();
  player.StopRecord();
  g_sink = sum;  // every forwarded byte was read
  return 0;
}
