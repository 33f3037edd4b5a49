// TOstraNvPreviewPlayer: the player of one live view. BeginPlay opens the port with the
// stream head package and starts rendering into the play window; InputPackage forwards every
// package to OnReceiveData and feeds video and audio frames from the first key frame on,
// learning the video format once; a stream head after a link-mode change from 0 resets the
// player's source buffer. Runs on the view's play thread, except SetLinkMode (window thread).
#pragma once

#include <functional>

#include "viewer/player/ostra_nv_player.h"

namespace viewer {

class TOstraNvPreviewPlayer : public TOstraNvPlayer {
 public:
  // Media bytes, their length and the frame type of every package (stream heads with 128).
  using TReceiveDataHandler =
      std::function<void(const uint8_t* data, int32_t length, int32_t frame_type)>;

  // The package head in front of the media bytes.
  static constexpr int32_t kPackageHeadSize = 20;

  TReceiveDataHandler OnReceiveData;  // set before the threads start
  // False until the first frame of type 1 after BeginPlay.
  std::atomic<bool> KeyFrameSeen{false};

  int32_t GetPackageHeadSize() const override { return kPackageHeadSize; }
  int32_t GetRecordOffset() const override { return GetPackageHeadSize(); }
  void BeginPlay(TAbstractPackage& head) override;
  bool InputPackage(TAbstractPackage& package) override;
  void SetStreamHead(const uint8_t* data, int32_t length) override;

  // A change of link mode from 0 arms a reset of the source buffer at the next stream head.
  void SetLinkMode(int32_t mode);
  int32_t LinkMode() const { return link_mode_; }
  bool ResetOnNextHead() const { return reset_on_next_head_; }

 private:
  // Acquires the port, opens the stream and starts playing; raises EOpenStream / EPlay.
  void OpenAndPlay(const uint8_t* head, int32_t length);
  // After an accepted frame: asks the player for the video format until it is known.
  void ReadVideoInfo();

  std::atomic<int32_t> link_mode_{0};
  std::atomic<bool> reset_on_next_head_{false};
};

// B-frame throwing level for a fluency setting: 2 - fluency, kept within 0..2.
int32_t BFrameLevelForFluency(int32_t fluency);

}  // namespace viewer
