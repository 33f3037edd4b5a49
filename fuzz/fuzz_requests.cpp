// Arbitrary bytes through the decoders a server reads client requests and answers with.
// Whatever decodes must encode back to exactly the same bytes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "common/viewer_utils.h"
#include "viewer/protocol/exceptions.h"
#include "viewer/protocol/requests.h"
#include "viewer/protocol/responses.h"

namespace {

template <class R>
void TryKind(const uint8_t* data, size_t size) {
  R request{};
  viewer::TRequestHead head;
  if (!viewer::DecodeRequest(data, size, request, &head)) return;
  const viewer::TRequestAddressing addressing{1, AddressToDottedQuad(head.ClientAddress, false),
                                              AddressToDottedQuad(head.TargetAddress, false)};
  std::vector<uint8_t> again;
  try {
    again = viewer::EncodeRequest(addressing, request);
  } catch (const viewer::EInvalidDeviceId&) {
    return;  // a 64-bit identifier no 32-bit DVRID can give
  }
  if (again.size() != size || !std::equal(again.begin(), again.end(), data)) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  TryKind<viewer::TLoginRequest>(data, size);
  TryKind<viewer::TLogoutRequest>(data, size);
  TryKind<viewer::TOpenLiveRequest>(data, size);
  TryKind<viewer::TLinkModeRequest>(data, size);
  TryKind<viewer::TPtzRequest>(data, size);
  TryKind<viewer::TPtzSpeedRequest>(data, size);
  TryKind<viewer::TVideoParamsRequest>(data, size);
  TryKind<viewer::TClientIdentityRequest>(data, size);
  viewer::TResponseHead head;
  viewer::DecodeResponseHead(data, size, head);
  return 0;
}
