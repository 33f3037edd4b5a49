// quvi-probe's center service part: logs in and checks a right with the control's own
// center client, writing one "name: value" line per result. Runs on the program's thread.
#pragma once

#include <ostream>

#include "tools/quvi-probe/probe_options.h"
#include "viewer/center/authorization_server.h"

namespace probe {

// Runs what the probe asks of the client; 0 when every status was 0, else 1.
int RunCenterProbe(const TCenterProbe& probe, viewer::TAbstractAuthorizationServer& client,
                   std::ostream& out);

}  // namespace probe
