// quvi-probe --members: the control's members and enumerations as the type description of
// the host interface gives them, one member per line with its DISPID, its kinds and its
// argument and value types, then the events and the enumerations. Any thread.
#pragma once

#include <ostream>

namespace probe {

// Writes the listing; returns the number of members of the dispatch interface.
int PrintMembers(std::ostream& out);

}  // namespace probe
