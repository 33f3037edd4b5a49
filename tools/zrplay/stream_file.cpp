#include "tools/zrplay/stream_file.h"

#include <cstdio>
#include <fstream>

#include "player/channel/frame_head.h"
#include "tools/recmake/record_file_reader.h"

namespace zrplay_tool {

size_t TStreamFile::FrameAtTime(int64_t ms) const {
  for (size_t i = 0; i < Frames.size(); ++i)
    if (Frames[i].TimeMs >= ms) return i;
  return Frames.size();
}

size_t TStreamFile::KeyFrameBefore(size_t i) const {
  for (size_t k = std::min(i, Frames.size() - 1) + 1; k-- > 0;)
    if (Frames[k].Video && Frames[k].Key) return k;
  return i;
}

int64_t TStreamFile::VideoFramesFrom(size_t i) const {
  int64_t videos = 0;
  for (size_t k = i; k < Frames.size(); ++k) videos += Frames[k].Video;
  return videos;
}

TStreamFile ReadStreamFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw TPlayError("cannot open \"" + path + "\"");
  recmake::TRecordFileReader reader(in);
  TStreamFile file;
  file.Head.assign(zrplay::kDefaultStreamHead, zrplay::kDefaultStreamHead + zrplay::kFrameHeadSize);
  if (reader.HasFileHead())
    file.Head.assign(reader.FileHead(), reader.FileHead() + zrplay::kFrameHeadSize);
  recmake::TRecordFrame frame;
  recmake::TRecordFileReader::EResult r;
  int64_t first_us = 0;
  while ((r = reader.Next(frame)) == recmake::TRecordFileReader::EResult::Frame) {
    TStreamFrame f;
    f.Block = frame.Serialize();
    if (file.Frames.empty()) first_us = frame.TimeUs();
    f.TimeMs = (frame.TimeUs() - first_us) / 1000;
    f.Type = frame.Head.FrameType;
    f.Codec = frame.Head.Codec;
    f.Video = frame.IsVideo();
    f.Key = frame.IsKey();
    if (f.Video) {
      ++file.VideoFrames;
      if (f.Key) ++file.KeyFrames;
      if (file.VideoCodec == 0) file.VideoCodec = f.Codec;
    } else if (frame.IsAudio()) {
      ++file.AudioFrames;
      if (file.AudioCodec == 0) file.AudioCodec = f.Codec;
    }
    file.Frames.push_back(std::move(f));
  }
  if (r == recmake::TRecordFileReader::EResult::Error)
    throw TPlayError("\"" + path + "\" is damaged: " + reader.ErrorText());
  if (file.VideoFrames == 0) throw TPlayError("\"" + path + "\" holds no video frames");
  return file;
}

std::string CodecName(uint8_t codec) {
  switch (codec) {
    case 1:
      return "MPEG-4";
    case 2:
      return "MJPEG";
    case zrplay::kCodecH264:
      return "H.264";
    case zrplay::kCodecH265:
      return "H.265";
    case zrplay::kCodecPCM:
      return "PCM";
    case zrplay::kCodecG711U:
      return "G.711 mu-law";
    case zrplay::kCodecG711A:
      return "G.711 A-law";
    case zrplay::kCodecG722:
      return "G.722";
    case zrplay::kCodecADPCM:
      return "ADPCM";
    case zrplay::kCodecG721:
      return "G.721";
    case zrplay::kCodecAAC:
      return "AAC";
    case 0:
      return "none";
  }
  char text[8];
  std::snprintf(text, sizeof text, "0x%02X", codec);
  return text;
}

}  // namespace zrplay_tool
