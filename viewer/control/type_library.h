// The type description of the viewer control: library QuviLiveViewer, the control class,
// its dual dispatch interface with every member in function-table order, its event
// interface and the five enumerations. Built once on first use; any thread may read it.
#pragma once

#include <cstdint>

#include "platform/automation_typeinfo.h"

namespace viewer {

inline constexpr const char* kLibraryGuid = "{1E247D05-2D6C-4E32-B89A-A333F8443CB2}";
inline constexpr const char* kControlClassGuid = "{0E1B418E-FC82-4B9A-B8E8-A17CDA2F03BA}";
inline constexpr const char* kDispatchInterfaceGuid = "{6D31F58B-F778-4947-8560-108670D6111D}";
inline constexpr const char* kEventInterfaceGuid = "{3126A6B2-F71A-4B06-B1F6-B5999FB2E4E0}";
// The class's programmatic name: library name, a dot, class name.
inline constexpr const char* kControlProgID = "QuviLiveViewer.PmOstraNvPreviewWindowX";
inline constexpr const char* kControlVersion = "2022062401";

// DISPIDs of the events.
enum : int32_t {
  kOnConnected = 0xC9,
  kOnDisConnected = 0xCA,
  kOnClick = 0xCB,
  kOnDblClick = 0xCC,
  kOnReceiveData = 0xCD,
  kOnStatusChanged = 0xCE,
  kOnVideoInfoRead = 0xCF,
};

const plat::TLibraryDesc& QuviLiveViewerTypeLibrary();

}  // namespace viewer
