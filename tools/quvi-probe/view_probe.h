// The live view probe: creates the control through the host C API, views a stream the way a
// host program does and prints the control's status codes, events and statistics. Runs on
// the calling thread, which is the control's user-interface thread while it runs.
#pragma once

#include <ostream>

#include "tools/quvi-probe/probe_options.h"

namespace probe {

// Views for view.Seconds (longer while video is on its way but its information has not come
// yet) and prints one line per status and event; 0 when video arrived, 1 when not (or the
// control could not be made).
int RunViewProbe(const TViewProbe& view, std::ostream& out);

}  // namespace probe
