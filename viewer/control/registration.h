// Self-registration of the control class in the per-user registry file, and the lookups a
// host makes to create the class by identifier or name. Any thread.
#pragma once

#include <cstdint>
#include <string>

namespace viewer {

// Framework status bits of an embeddable control, and the control's own additions (acts
// like a label, simple frame).
constexpr uint32_t kDefaultMiscStatus = 0x20191;
constexpr uint32_t kControlMiscStatus = 0x12000;

// "{XXXXXXXX-...}" in upper case; "" when the text is no class identifier.
std::string NormaliseGuid(const std::string& text);
// Full path of this library.
std::string ThisLibraryPath();

// Registry keys the registration writes.
std::string ClassKey();  // "CLSID\{...}"

}  // namespace viewer
