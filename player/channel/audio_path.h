// TAudioPath: one channel's audio. It decodes audio frames (PCM copied, G.7xx and ADPCM
// through the audio decoder module, AAC through the AAC decoder module with ADTS framing),
// derives their parameters from the frame head, and delivers the samples to the sound
// manager and to the channel's decode callback (frame type 100). It also holds the sound
// switch (sound open, audio enabled) the channel's audio gate reads.
// Threads: Input runs on the thread that inputs audio (the caller's, or the background play
// thread for record files); OpenSound, StopSound and FreeSoundManager on the caller's. One
// lock serialises them. Owns the output buffer (it only grows), the AAC decoder handle and
// the sound manager.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "player/api/zrplay_api.h"
#include "player/channel/audio_params.h"
#include "player/channel/channel_log.h"
#include "player/channel/sound_manager.h"
#include "player/media/aac_decoder_module.h"
#include "player/media/sound_output.h"

namespace zrplay {

// Frame type of audio samples in the frame information of a decode callback.
constexpr int32_t kFrameInfoTypeAudio = 100;

// Whether an audio frame is decoded at all: audio enabled, not paused, and either sound open
// at normal speed (level 0) or a decode callback that wants the samples at any speed.
bool AudioGateOpen(bool audio_enabled, bool paused, int32_t speed_level, bool sound_open,
                   bool callback_set);

class TAudioPath {
 public:
  static constexpr size_t kInitialBufferSize = 10240;

  // The decode callback as the channel holds it when a frame comes in, with the stamp to
  // report; Callback nullptr when none is set.
  struct TCallback {
    ZR_DEC_CALLBACK Callback = nullptr;
    ZR_USER User = 0;
    int32_t Stamp = 0;
  };

  TAudioPath(const TChannelLog& log, int32_t port, int32_t vendor_port);
  // Closes the AAC decoder handle when one was made.
  ~TAudioPath();
  TAudioPath(const TAudioPath&) = delete;
  TAudioPath& operator=(const TAudioPath&) = delete;

  // The modules the path uses (the sound module and the process's AAC decoder module unless
  // a test gives others before the first frame).
  void UseSoundOutput(TSoundOutput& output);
  void UseAacDecoderModule(TAacDecoderModule& module);

  // Makes the sound manager for the window when there is none; sound is open from now on.
  void OpenSound(plat::HWND window);
  // Sound closed, sound manager (and its player) freed.
  void StopSound();
  // Frees the sound manager; sound stays open (a channel's stop does this).
  void FreeSoundManager();
  bool SoundOpen() const { return sound_open_.load(); }
  bool HasSoundManager() const;
  bool AudioEnabled() const { return audio_enabled_.load(); }
  void SetAudioEnabled(bool enabled) { audio_enabled_ = enabled; }

  // One audio frame: the whole block, frame head first (its magic already checked).
  void Input(const uint8_t* block, size_t size, const TCallback& callback);

  size_t OutputBufferSize() const;
  // The parameters of the last decoded frame.
  TAudioParams Params() const;

 private:
  void GrowOutputBuffer(size_t payload_size);
  void FrameAac(const TFrameHead& head, const uint8_t* payload, size_t size,
                const TCallback& callback);
  void SetAacParams(const uint8_t* adts_frame);
  // Makes the AAC decoder handle the first time an AAC frame needs it (tried once).
  void EnsureAacDecoder();
  // Decodes one frame into the output buffer and delivers it; with derive set, the frame's
  // parameters come from its head first.
  void DecodeFrame(const TFrameHead& head, const uint8_t* in, size_t length, bool derive,
                   const TCallback& callback);
  bool DecodeAac(const uint8_t* in, size_t length, int32_t& out_length);
  void DeriveParams(const TFrameHead& head);
  void Deliver(int32_t out_length, const TCallback& callback);

  const TChannelLog& log_;
  const int32_t port_;
  const int32_t vendor_port_;
  TSoundOutput* sound_output_;
  TAacDecoderModule* aac_module_;

  std::atomic<bool> sound_open_{false};
  std::atomic<bool> audio_enabled_{true};

  mutable std::recursive_mutex lock_;  // a decode callback may open or stop sound
  std::vector<uint8_t> output_;
  std::unique_ptr<TSoundManager> sound_manager_;
  TAudioParams params_;
  bool params_logged_ = false;
  bool aac_tried_ = false;
  TAacDecoderModule::THandle aac_handle_ = 0;
};

}  // namespace zrplay
