#include "viewer/protocol/preview_communicator.h"

#include <algorithm>
#include <exception>
#include <vector>

#include "common/viewer_utils.h"
#include "viewer/pipeline/pipeline_model.h"
#include "viewer/protocol/exceptions.h"
#include "viewer/protocol/packages.h"
#include "viewer/protocol/requests.h"
#include "viewer/protocol/socket_client.h"
#include "viewer/protocol/wire_format.h"
#include "viewer/viewer_log.h"

namespace viewer {

namespace {

constexpr int32_t kMaxBrightnessHue = 128;
constexpr int32_t kMaxContrastSaturation = 127;

int32_t Clamp(int32_t value, int32_t high) {
  return std::clamp(value, 0, high);
}

uint32_t CurrentPackageCode(const TAbstractPackage* package) {
  return package != nullptr ? package->PackType : 0;
}

}  // namespace

void TOstraNvPreviewCommunicator::SendOpenCommand() {
  // One reading of each so that the log line tells what went on the wire.
  TOpenLiveRequest request;
  request.Token = Token;
  request.DVRID = Model != nullptr ? Model->DVRID() : std::string("-1");
  request.ChannelNo = ChannelNo;
  request.LinkMode = Model != nullptr ? Model->LinkMode() : 0;
  const TRequestAddressing addressing{ConnectionType, ClientNetID, ServerAddress};
  const std::vector<uint8_t> bytes = EncodeRequest(addressing, request);

  WriteLog("open live, did=" + request.DVRID + ", ch=" + std::to_string(ChannelNo) +
           ", mode=" + std::to_string(request.LinkMode));

  TKvIPObject& client = StreamConnection();
  WithSectionLock([&] { client.SendBuffer(bytes.data(), bytes.size()); });
}

void TOstraNvPreviewCommunicator::CheckConnectResponse(uint32_t code) {
  if (code != wire::kOpenLiveResponse) throw EInvalidReturnStatusCommand();
}

void TOstraNvPreviewCommunicator::CheckFileHead() {
  if (CurrentPackageCode(Package) != wire::kPlayPackage) throw EInvalidPlayFileHead();
}

void TOstraNvPreviewCommunicator::CheckFramePackage() {
  const uint32_t code = CurrentPackageCode(Package);
  if (code != wire::kPlayPackage) throw EInvalidPlayPackage::ForCode(code);
}

void TOstraNvPreviewCommunicator::ParseVideoParams(const uint8_t* payload, size_t size,
                                                   size_t offset) {
  try {
    if (payload == nullptr || offset > size || size - offset < 16) {
      PostVideoParamsFailure(kVideoParamsReadError);
      return;
    }
    const uint8_t* p = payload + offset;
    const auto word = [p](int i) { return static_cast<int32_t>(ReadUInt32(p + 4 * i, true)); };
    const int32_t brightness = Clamp(word(0), kMaxBrightnessHue);
    const int32_t contrast = Clamp(word(1), kMaxContrastSaturation);
    const int32_t saturation = Clamp(word(2), kMaxContrastSaturation);
    const int32_t hue = Clamp(word(3), kMaxBrightnessHue);
    plat::PostMessage(WindowHandle, kVideoParamsMessage,
                      static_cast<plat::WPARAM>(brightness * 256 + contrast),
                      static_cast<plat::LPARAM>(saturation * 256 + hue));
  } catch (...) {
    PostVideoParamsFailure(kVideoParamsOtherError);
  }
}

void TOstraNvPreviewCommunicator::PostVideoParamsFailure(plat::WPARAM reason) {
  WithSectionLock([&] { plat::PostMessage(WindowHandle, kVideoParamsFailedMessage, reason, 0); });
}

std::unique_ptr<TAbstractPackage> TOstraNvPreviewCommunicator::ReadPackage() {
  TKvIPObject& client = StreamConnection();
  auto package = std::make_unique<TOstraPreviewPlayPackage>();
  Package = package.get();
  try {
    package->ReadFrom(client);
  } catch (...) {
    Package = nullptr;
    throw;
  }
  return package;
}

}  // namespace viewer
