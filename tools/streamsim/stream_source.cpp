#include "tools/streamsim/stream_source.h"

#include <algorithm>

#include "tools/recmake/stream_generator.h"
#include "tools/streamsim/sim_error.h"

namespace streamsim {

using recmake::TRecordFileReader;
using recmake::TRecordFrame;

namespace {

constexpr int64_t kDefaultStepUs = 40000;

}  // namespace

TRecordFileInfo ScanRecordFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw TSimError("cannot open the record file \"" + path + "\"");
  TRecordFileReader reader(in);
  TRecordFileInfo info;
  info.Path = path;
  const uint8_t* head = reader.HasFileHead() ? reader.FileHead() : zrplay::kDefaultStreamHead;
  info.StreamHead.assign(head, head + zrplay::kFrameHeadSize);
  TRecordFrame frame;
  uint64_t video = 0, media = 0;
  int64_t first_video = 0, last_video = 0;
  TRecordFileReader::EResult r;
  while ((r = reader.Next(frame)) == TRecordFileReader::EResult::Frame) {
    const int64_t t = frame.TimeUs();
    info.FirstUs = info.Frames == 0 ? t : std::min(info.FirstUs, t);
    info.LastUs = info.Frames == 0 ? t : std::max(info.LastUs, t);
    ++info.Frames;
    if (frame.IsAudio()) ++media;
    if (frame.IsVideo()) {
      ++media;
      if (video == 0) first_video = t;
      last_video = t;
      ++video;
    }
  }
  if (r == TRecordFileReader::EResult::Error) {
    throw TSimError("\"" + path + "\" is no readable record stream file: " + reader.ErrorText());
  }
  // A file of nothing but heads would make the loop spin without sending any media.
  if (media == 0) {
    throw TSimError("the record file \"" + path + "\" holds no audio or video frames");
  }
  if (video >= 2 && last_video > first_video) {
    info.StepUs = (last_video - first_video) / static_cast<int64_t>(video - 1);
  } else if (info.Frames >= 2 && info.LastUs > info.FirstUs) {
    info.StepUs = (info.LastUs - info.FirstUs) / static_cast<int64_t>(info.Frames - 1);
  } else {
    info.StepUs = kDefaultStepUs;
  }
  return info;
}

TLoopingRecordFile::TLoopingRecordFile(const TRecordFileInfo& info, bool loop)
    : info_(info), loop_(loop) {
  Open();
}

void TLoopingRecordFile::Open() {
  reader_.reset();
  in_.close();
  in_.clear();
  in_.open(info_.Path, std::ios::binary);
  if (!in_) throw TSimError("cannot open the record file \"" + info_.Path + "\" again");
  reader_.emplace(in_);
  any_in_pass_ = false;
}

bool TLoopingRecordFile::Next(TRecordFrame& out) {
  while (true) {
    const TRecordFileReader::EResult r = reader_->Next(out);
    if (r == TRecordFileReader::EResult::Frame) {
      any_in_pass_ = true;
      if (shift_us_ != 0) recmake::SetCaptureTime(out.Head, out.TimeUs() + shift_us_);
      return true;
    }
    if (r == TRecordFileReader::EResult::Error) {
      throw TSimError("\"" + info_.Path + "\" went bad while streaming: " + reader_->ErrorText());
    }
    // A pass without frames means the file was emptied meanwhile: end rather than spin.
    if (!loop_ || !any_in_pass_) return false;
    shift_us_ += info_.LastUs - info_.FirstUs + info_.StepUs;
    Open();
  }
}

TSourceCatalogue::TSourceCatalogue(const TServerOptions& options)
    : default_(options.DefaultSource),
      channels_(options.Channels),
      generator_(options.Generator),
      loop_(options.Loop) {
  bool generator = default_.Kind == TSourceSpec::EKind::Generator;
  std::vector<const TSourceSpec*> sources{&default_};
  for (const auto& [channel, source_spec] : channels_) sources.push_back(&source_spec);
  for (const TSourceSpec* source_spec : sources) {
    if (source_spec->Kind == TSourceSpec::EKind::Generator) {
      generator = true;
    } else if (!files_.count(source_spec->Path)) {
      files_.emplace(source_spec->Path, ScanRecordFile(source_spec->Path));
    }
  }
  if (generator) {
    try {
      TRecordFrame first;
      MakeGenerator()->Next(first);
    } catch (const recmake::TRecmakeError& e) {
      throw TSimError(std::string("the generator cannot run with these settings: ") + e.what());
    }
  }
}

const TSourceSpec& TSourceCatalogue::SpecFor(int32_t channel) const {
  const auto it = channels_.find(channel);
  return it != channels_.end() ? it->second : default_;
}

std::unique_ptr<recmake::TFrameSource> TSourceCatalogue::MakeGenerator() const {
  recmake::TGeneratorOptions g;
  g.Width = generator_.Width;
  g.Height = generator_.Height;
  g.FrameRate = AVRational{generator_.Fps, 1};
  g.Video.Gop = generator_.Gop;
  g.Video.BitrateKbit = generator_.BitrateKbit;
  // One encoder thread per connection keeps many concurrent clients from swamping the host.
  g.Video.Threads = 1;
  g.Audio = generator_.Audio;
  g.DurationSec = 0;
  g.StartUs = recmake::LocalNowUs();
  return std::make_unique<recmake::TStreamGenerator>(g);
}

TOpenedStream TSourceCatalogue::Open(int32_t channel) const {
  const TSourceSpec& source_spec = SpecFor(channel);
  TOpenedStream stream;
  if (source_spec.Kind == TSourceSpec::EKind::File) {
    const TRecordFileInfo& info = files_.at(source_spec.Path);
    stream.Head = info.StreamHead;
    stream.Frames = std::make_unique<TLoopingRecordFile>(info, loop_);
    stream.Description = source_spec.Path;
  } else {
    stream.Head.assign(zrplay::kDefaultStreamHead,
                       zrplay::kDefaultStreamHead + zrplay::kFrameHeadSize);
    stream.Frames = MakeGenerator();
    stream.Description = "generator " + std::to_string(generator_.Width) + "x" +
                         std::to_string(generator_.Height) + "@" + std::to_string(generator_.Fps);
  }
  return stream;
}

}  // namespace streamsim
