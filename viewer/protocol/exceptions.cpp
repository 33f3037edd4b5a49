#include "viewer/protocol/exceptions.h"

#include <cstdio>

namespace viewer {

EUnknown EUnknown::ForStatus(int32_t status) {
  if (status == -999) return EUnknown("unknown error");
  return EUnknown("unknown status " + std::to_string(status));
}

EInvalidPlayPackage EInvalidPlayPackage::ForCode(uint32_t code) {
  char text[48];
  std::snprintf(text, sizeof text, "not preview frame resp:0x%X", code);
  return EInvalidPlayPackage(text);
}

EPTZControlCommand EPTZControlCommand::InvalidCommand(int32_t command) {
  char text[48];
  std::snprintf(text, sizeof text, "invalid ptz cmd, cmd=0x%02X", static_cast<uint32_t>(command));
  return EPTZControlCommand(text);
}

EPTZControlCommand EPTZControlCommand::InvalidEnabled(int32_t enabled) {
  return EPTZControlCommand("invalid ptz enabled, enabled=" + std::to_string(enabled));
}

}  // namespace viewer
