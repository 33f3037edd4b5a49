// TOstraNvPreviewCommunicator: the communicator of a live preview. It sends the open live
// request (DVRID and LinkMode taken from the view's model at that moment), accepts only the
// preview answers and play packages, reads play packages, and posts the server's picture
// settings to the notification window. Runs on the connection thread; owns nothing it
// points to.
#pragma once

#include "viewer/protocol/communicator.h"

namespace viewer {

class TPipelineModel;

class TOstraNvPreviewCommunicator : public TOstraNvCommunicator {
 public:
  // Logs "open live, did=.., ch=.., mode=.." and sends the request in one write under the
  // ProtectedSection lock; the send's outcome shows in the answer's read. Raises
  // EInvalidDeviceId, sending nothing, when the model's DVRID is no 32-bit integer.
  void SendOpenCommand() override;
  void CheckConnectResponse(uint32_t code) override;
  void CheckFileHead() override;
  void CheckFramePackage() override;
  // Clamps the settings (brightness and hue to 0..128, contrast and saturation to 0..127)
  // and posts kVideoParamsMessage; when fewer than four words lie at offset, posts
  // kVideoParamsFailedMessage with kVideoParamsReadError under the ProtectedSection lock.
  void ParseVideoParams(const uint8_t* payload, size_t size, size_t offset) override;
  // On failure frees the package, clears Package and raises again.
  std::unique_ptr<TAbstractPackage> ReadPackage() override;
  // A live view has no play position to restore.
  void SetCurrentPlayTime(int32_t, int32_t) override {}

  // The view's model; read at each send. Without one the request carries DVRID "-1" and
  // LinkMode 0.
  TPipelineModel* Model = nullptr;

 private:
  void PostVideoParamsFailure(plat::WPARAM reason);
};

}  // namespace viewer
