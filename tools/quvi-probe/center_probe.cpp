#include "tools/quvi-probe/center_probe.h"

namespace probe {

int RunCenterProbe(const TCenterProbe& probe, viewer::TAbstractAuthorizationServer& client,
                   std::ostream& out) {
  bool ok = true;
  std::string token = probe.Token;
  if (probe.Login) {
    std::string person;
    const int32_t status =
        client.RequestToken(probe.Login->first, probe.Login->second, token, person);
    out << "token: " << token << "\nperson: " << person << "\nlogin: " << status << "\n";
    ok = ok && status == viewer::kCenterOk;
  }
  if (probe.CheckRight) {
    const int32_t status =
        client.CheckActionRight(token, *probe.CheckRight, probe.Channel, probe.Device);
    out << "check-right " << *probe.CheckRight << ": " << status << "\n";
    ok = ok && status == viewer::kCenterOk;
  }
  out.flush();
  return ok ? 0 : 1;
}

}  // namespace probe
