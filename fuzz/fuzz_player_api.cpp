// Random sequences of the player API's exports with random arguments over four ports: the
// stream input fed with stream heads and fixture frames (whole, cut or garbled), record files
// opened from the fixtures or from fuzz bytes, play without a window, every query, setter and
// fixed-result export, snapshots into a scratch folder, and closes in between. Each input is
// a list of steps: an export byte, a port byte and argument bytes; at the end every port is
// closed, so no input leaves a channel behind.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

extern "C" {
#include <libavutil/log.h>
}

#include "player/api/zrplay_api.h"
#include "player/channel/frame_head.h"
#include "player/config/player_settings.h"
#include "tools/recmake/record_file_reader.h"

extern "C" {
#define DECLARE_EXPORT(ret, name, params, args, fail) ret name params;
ZRPLAY_EXPORTS(DECLARE_EXPORT)
#undef DECLARE_EXPORT
}

namespace {

constexpr int kPorts = 4;

// Reads the input from the front, giving zeros once it is used up.
class TBytes {
 public:
  TBytes(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  bool Empty() const { return at_ >= size_; }
  uint8_t U8() { return at_ < size_ ? data_[at_++] : 0; }
  int32_t I32() {
    // Mostly small values, now and then any.
    const uint8_t kind = U8();
    if (kind < 200) return static_cast<int8_t>(U8());
    int32_t v = 0;
    for (int i = 0; i < 4; ++i) v = (v << 8) | U8();
    return v;
  }
  std::vector<uint8_t> Take(size_t n) {
    n = std::min(n, size_ - std::min(size_, at_));
    std::vector<uint8_t> out(data_ + at_, data_ + at_ + n);
    at_ += n;
    return out;
  }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t at_ = 0;
};

struct TCorpus {
  std::vector<std::vector<uint8_t>> Frames;  // frame blocks of the fixtures
  std::vector<std::string> Files;            // the fixtures themselves
  std::string Scratch;                       // a folder for snapshots and fuzz files
};

const TCorpus& Corpus() {
  static const TCorpus corpus = [] {
    av_log_set_level(AV_LOG_QUIET);
    TCorpus c;
    for (const char* name : {"h264_704x576_g711u.rec", "h264_704x576_overlay.rec"}) {
      const std::string path = std::string(QUVI_TEST_DATA_DIR) + "/" + name;
      c.Files.push_back(path);
      std::ifstream in(path, std::ios::binary);
      recmake::TRecordFileReader reader(in);
      recmake::TRecordFrame frame;
      for (int n = 0; n < 60 && reader.Next(frame) == recmake::TRecordFileReader::EResult::Frame;
           ++n)
        c.Frames.push_back(frame.Serialize());
    }
    char dir[] = "/tmp/fuzz_player_api_XXXXXX";
    if (::mkdtemp(dir) == nullptr) std::abort();
    c.Scratch = dir;
    return c;
  }();
  return corpus;
}

void NopDecode(int32_t, const char*, int32_t, const ZR_FRAME_INFO*, ZR_USER, int32_t) {}
void NopDisplay(int32_t, const char*, int32_t, int32_t, int32_t, int32_t, int32_t, int32_t) {}
// Kept by the library and never called: a call is a finding.
void NeverCalledSourceBuf(int32_t, uint32_t, ZR_USER, void*) {
  std::abort();
}
void NopFileRef(int32_t, ZR_USER) {}

// A block for the input calls: a fixture frame, cut, with a garbled byte, or fuzz bytes.
std::vector<uint8_t> Block(TBytes& in) {
  const TCorpus& c = Corpus();
  const uint8_t kind = in.U8();
  std::vector<uint8_t> block = c.Frames[in.U8() % c.Frames.size()];
  switch (kind % 5) {
    case 0:
    case 1:
      break;
    case 2:
      block.resize(block.size() * in.U8() / 256);
      break;
    case 3:
      if (!block.empty()) block[in.U8() * 256u % block.size()] ^= in.U8() | 1;
      break;
    default: {
      std::vector<uint8_t> head(zrplay::kDefaultStreamHead,
                                zrplay::kDefaultStreamHead + zrplay::kFrameHeadSize);
      const std::vector<uint8_t> rest = in.Take(in.U8());
      head.insert(head.end(), rest.begin(), rest.end());
      block = head;
    }
  }
  return block;
}

// A file name in a 512-character array: a fixture, a file of fuzz bytes, or a missing one.
// Names that will be written (snapshots, clips) stay in the scratch folder, away from the
// fixtures.
std::vector<char> FileName(TBytes& in, const char* extension, bool written = false) {
  const TCorpus& c = Corpus();
  std::string name;
  switch (written ? 3 : in.U8() % 4) {
    case 0:
    case 1:
      name = c.Files[in.U8() % c.Files.size()];
      break;
    case 2: {
      name = c.Scratch + "/input" + extension;
      const std::vector<uint8_t> bytes = in.Take(in.U8() * 8u);
      std::ofstream(name, std::ios::binary)
          .write(reinterpret_cast<const char*>(bytes.data()),
                 static_cast<std::streamsize>(bytes.size()));
      break;
    }
    default:
      name = c.Scratch + "/out" + std::to_string(in.U8() % 3) + extension;
  }
  std::vector<char> chars(512, 0);
  std::memcpy(chars.data(), name.data(), std::min<size_t>(name.size(), 511));
  return chars;
}

void Step(TBytes& in) {
  const uint8_t op = in.U8();
  const int32_t port = in.U8() % kPorts;
  int32_t a = 0, b = 0, c = 0, d = 0;
  switch (op % 48) {
    case 0: {
      const std::vector<uint8_t> head = Block(in);
      Zr_Play_InitPlayer(port, head.data(), static_cast<int32_t>(head.size()));
      break;
    }
    case 1:
      Zr_Play_InitPlayerByFACTORY_ID(port, in.U8() % 2 ? 29 : in.I32());
      break;
    case 2:
      Zr_Play_InitPlayerByFile(port, in.I32());
      break;
    case 3:
      Zr_Play_SetStreamOpenMode(port, in.I32());
      break;
    case 4:
      Zr_Play_GetStreamOpenMode(port);
      break;
    case 5: {
      const std::vector<uint8_t> head = Block(in);
      Zr_Play_OpenStream(port, head.data(), static_cast<int32_t>(head.size()), in.I32() & 0xFFFFF);
      break;
    }
    case 6:
    case 7:
    case 8: {
      const std::vector<uint8_t> block = Block(in);
      Zr_Play_InputData(port, block.data(), static_cast<int32_t>(block.size()));
      break;
    }
    case 9: {
      const std::vector<uint8_t> block = Block(in);
      Zr_Play_InputVideoData(port, block.data(), static_cast<int32_t>(block.size()));
      break;
    }
    case 10:
      Zr_Play_CloseStream(port);
      break;
    case 11:
      Zr_Play_Play(port, 0);
      break;
    case 12:
      Zr_Play_Stop(port);
      break;
    case 13:
      Zr_Play_Pause(port, in.I32());
      break;
    case 14:
      Zr_Play_OpenFile(port, FileName(in, ".rec").data());
      break;
    case 15:
      Zr_Play_CloseFile(port);
      break;
    case 16:
      Zr_Play_SetFileRefCallBack(port, in.U8() % 2 ? NopFileRef : nullptr, in.I32());
      break;
    case 17:
      Zr_Play_SetFileEndMsg(port, 0, static_cast<uint32_t>(in.I32()));
      break;
    case 18:
      Zr_Play_OpenSound(port);
      break;
    case 19:
      Zr_Play_StopSound(port);
      break;
    case 20:
      Zr_Play_SetVolume(port, in.I32());
      break;
    case 21:
      Zr_Play_GetVolume(port);
      break;
    case 22:
      Zr_Play_SetPlaySpeed(port, in.I32(), in.I32());
      break;
    case 23:
      in.U8() % 2 ? Zr_Play_Slow(port) : Zr_Play_Fast(port);
      break;
    case 24:
      Zr_Play_OneByOneForward(port);
      break;
    case 25:
      Zr_Play_OneByOneBack(port);
      break;
    case 26:
      Zr_Play_RefreshPlay(port);
      break;
    case 27:
      Zr_Play_GetPlayedFrames(port);
      Zr_Play_GetCurrFrameNum(port);
      Zr_Play_GetFileTotalMSec(port);
      Zr_Play_GetFileTotalFrames(port);
      Zr_Play_GetPlayedTime(port);
      Zr_Play_GetPlayedTimeEx(port);
      Zr_Play_GetPlayedPos(port);
      break;
    case 28:
      Zr_Play_SetPlayedPos(port, static_cast<double>(in.I32()) / 100.0);
      break;
    case 29:
      Zr_Play_SetPlayedTimeEx(port, in.I32());
      break;
    case 30:
      Zr_Play_SetCurrFrameNum(port, in.I32());
      break;
    case 31:
      Zr_Play_GetKeyFramePos(port, in.I32(), in.I32());
      Zr_Play_GetLastKeyPos(port, in.I32(), in.I32());
      break;
    case 32: {
      const ZR_RECT rect{in.I32(), in.I32(), in.I32(), in.I32()};
      Zr_Play_SetDisplayRegion(port, in.I32(), in.U8() % 4 ? &rect : nullptr, 0, in.I32());
      break;
    }
    case 33:
      Zr_Play_GetPictureSize(port, &a, in.U8() % 2 ? &b : nullptr);
      break;
    case 34:
      Zr_Play_SetDecCallBack(port, in.U8() % 2 ? NopDecode : nullptr);
      break;
    case 35:
      Qel_Play_SetDecCallBackEx(port, in.U8() % 2 ? NopDecode : nullptr, in.I32());
      break;
    case 36:
      Zr_Play_SetDecCBStream(port, in.I32());
      break;
    case 37:
      Zr_Play_SetDisplayCallBack(port, in.U8() % 2 ? NopDisplay : nullptr);
      break;
    case 38:
      Zr_Play_CaptureImage(port, FileName(in, in.U8() % 2 ? ".jpg" : ".bmp", true).data());
      break;
    case 39: {
      const int32_t first = in.I32(), last = in.I32();
      Qel_Play_Clip(port, first, last, FileName(in, ".clip", true).data());
      break;
    }
    case 40: {
      const std::vector<uint8_t> text = in.Take(in.U8());
      const std::string s(text.begin(), text.end());
      in.U8() % 2 ? Qel_Play_SetSceneInfo(port, s.c_str()) : Qel_Play_SetWatermark(port, s.c_str());
      break;
    }
    case 41: {
      uint8_t record[256];
      int32_t size = in.U8() % 2 ? static_cast<int32_t>(sizeof record) : in.U8();
      Qel_Play_ReadChannelEncodeInfo(port, record, &size);
      break;
    }
    case 42:
      Zr_Play_GetBufferValue(port, in.I32());
      Zr_Play_GetSourceBufferRemain(port);
      Zr_Play_ResetSourceBuffer(port);
      Zr_Play_ResetSourceBufFlag(port);
      break;
    case 43:
      Zr_Play_SetSourceBufCallBack(port, static_cast<uint32_t>(in.I32()),
                                   in.U8() % 2 ? NeverCalledSourceBuf : nullptr, in.I32(), nullptr);
      Zr_Play_SetDisplayBuf(port, in.I32());
      Zr_Play_ResetBuffer(port, in.I32());
      Zr_Play_GetDisplayBuf(port);
      Zr_Play_ThrowBFrame(port, in.I32());
      break;
    case 44:
      Zr_Play_SetColor(port, in.I32(), in.I32(), in.I32(), in.I32());
      Zr_Play_GetColor(port, &a, &b, &c, &d);
      Zr_Play_GetFileHeadLength(port, &a);
      break;
    case 45:
      Zr_Play_SetOverlayMode(port, in.I32(), static_cast<uint32_t>(in.I32()));
      Zr_Play_GetPictureQuality(port, &a);
      Zr_Play_SetPictureQuality(port, in.I32());
      Zr_Play_GetLastError(port);
      break;
    case 46: {
      uint8_t head[64];
      Zr_Play_DefaultFileHead(in.U8() % 2 ? 29 : in.I32(), head, &a);
      Zr_Play_isVideoFrame(in.I32());
      Zr_Play_GetCaps();
      break;
    }
    default: {
      // A run of frames in order, as a stream would bring them.
      const TCorpus& corpus = Corpus();
      const size_t from = in.U8() % corpus.Frames.size();
      const size_t count = in.U8() % 30;
      for (size_t i = from; i < from + count && i < corpus.Frames.size(); ++i) {
        const std::vector<uint8_t>& block = corpus.Frames[i];
        Zr_Play_InputData(port, block.data(), static_cast<int32_t>(block.size()));
      }
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Corpus();
  TBytes in(data, size);
  for (int steps = 0; !in.Empty() && steps < 64; ++steps) Step(in);
  for (int32_t port = 0; port < kPorts; ++port) {
    Zr_Play_CloseFile(port);
    Zr_Play_CloseStream(port);
  }
  return 0;
}
