#include "viewer/control/type_library.h"

#include <gtest/gtest.h>

#include <set>

namespace viewer {
namespace {

using plat::TFuncDesc;

TEST(TypeLibraryTest, IdentifiersAndHelpStrings) {
  const auto& lib = QuviLiveViewerTypeLibrary();
  EXPECT_EQ(lib.Name, "QuviLiveViewer");
  EXPECT_EQ(lib.Guid, "{1E247D05-2D6C-4E32-B89A-A333F8443CB2}");
  EXPECT_EQ(lib.HelpString, "QuviLiveViewer Library");
  EXPECT_EQ(lib.MajorVersion, 1);
  EXPECT_EQ(lib.MinorVersion, 0);
  EXPECT_EQ(lib.Class.Name, "PmOstraNvPreviewWindowX");
  EXPECT_EQ(lib.Class.Guid, "{0E1B418E-FC82-4B9A-B8E8-A17CDA2F03BA}");
  EXPECT_EQ(lib.Class.HelpString, "PmOstraNvPreviewWindowX Control");
  EXPECT_EQ(lib.Class.DefaultInterface, "IPmOstraNvPreviewWindowX");
  EXPECT_EQ(lib.Class.DefaultSource, "IPmOstraNvPreviewWindowXEvents");
  EXPECT_EQ(lib.Dispatch.Guid, "{6D31F58B-F778-4947-8560-108670D6111D}");
  EXPECT_EQ(lib.Dispatch.HelpString, "Dispatch interface for PmOstraNvPreviewWindowX Control");
  EXPECT_TRUE(lib.Dispatch.Flags & plat::TYPEFLAG_FDUAL);
  EXPECT_EQ(lib.Events.Guid, "{3126A6B2-F71A-4B06-B1F6-B5999FB2E4E0}");
  EXPECT_EQ(lib.Events.HelpString, "Events interface for PmOstraNvPreviewWindowX Control");
  EXPECT_FALSE(lib.Events.Flags & plat::TYPEFLAG_FDUAL);
}

TEST(TypeLibraryTest, EnumerationsWithTheirValues) {
  const auto& enums = QuviLiveViewerTypeLibrary().Enums;
  ASSERT_EQ(enums.size(), 5u);
  EXPECT_EQ(enums[0].Name, "TxAlignment");
  EXPECT_EQ(enums[0].Values[2].Name, "taCenter");
  EXPECT_EQ(enums[0].Values[2].Value, 2);
  EXPECT_EQ(enums[3].Name, "TxConnectionType");
  EXPECT_EQ(enums[3].Guid, "{5B282B6B-613F-4154-B86D-CFD50CEB64CA}");
  EXPECT_EQ(enums[3].Values[1].Name, "ctByStreamMedia");
  EXPECT_EQ(enums[4].Name, "TxMouseButton");
  EXPECT_EQ(enums[4].Values.size(), 3u);
}

TEST(TypeLibraryTest, MembersInFunctionTableOrder) {
  const auto& funcs = QuviLiveViewerTypeLibrary().Dispatch.Funcs;
  std::vector<int32_t> member_order;
  std::set<std::pair<int32_t, uint16_t>> seen;
  for (const TFuncDesc& f : funcs) {
    EXPECT_TRUE(seen.insert({f.DispId, f.Kind}).second) << f.Name << " twice";
    if (member_order.empty() || member_order.back() != f.DispId) {
      member_order.push_back(f.DispId);
    }
  }
  // Each member's functions sit together, so no DISPID comes back later.
  EXPECT_EQ(std::set<int32_t>(member_order.begin(), member_order.end()).size(),
            member_order.size());
  EXPECT_EQ(member_order.size(), 98u);
  EXPECT_EQ(funcs.front().Name, "SendPTZControlCommand");
  EXPECT_EQ(funcs.back().Name, "ZoomByPoint");
  // RatioMode (0x11A) sits between QuviMode and CursorCtrl, as in the table.
  auto pos = [&](int32_t id) {
    return std::find(member_order.begin(), member_order.end(), id) - member_order.begin();
  };
  EXPECT_EQ(pos(0x11A), pos(0x116) + 1);
  EXPECT_EQ(pos(0x117), pos(0x11A) + 1);
  EXPECT_EQ(pos(-501), pos(0xE3) + 1);   // Color after Visible
  EXPECT_EQ(pos(-514), pos(0x10D) + 1);  // Enabled after DrawTextBiDiModeFlagsReadingOnly
}

TEST(TypeLibraryTest, KindsAndArguments) {
  const auto& funcs = QuviLiveViewerTypeLibrary().Dispatch.Funcs;
  auto kinds_of = [&](const std::string& name) {
    std::vector<uint16_t> kinds;
    for (const TFuncDesc& f : funcs) {
      if (f.Name == name) kinds.push_back(f.Kind);
    }
    return kinds;
  };
  using K = std::vector<uint16_t>;
  EXPECT_EQ(kinds_of("Font"), (K{plat::DISPATCH_PROPERTYGET, plat::DISPATCH_PROPERTYPUT,
                                 plat::DISPATCH_PROPERTYPUTREF}));
  EXPECT_EQ(kinds_of("PlayWnd"), K{plat::DISPATCH_PROPERTYPUT});
  EXPECT_EQ(kinds_of("Version"), K{plat::DISPATCH_PROPERTYGET});
  EXPECT_EQ(kinds_of("HostIP"), (K{plat::DISPATCH_PROPERTYGET, plat::DISPATCH_PROPERTYPUT}));
  for (const TFuncDesc& f : funcs) {
    if (f.Name == "CaptureBMPResultFilename") {
      ASSERT_EQ(f.Params.size(), 1u);
      EXPECT_EQ(f.Params[0].Name, "sFilename");
      EXPECT_EQ(f.Params[0].Flags, plat::PARAMFLAG_IN | plat::PARAMFLAG_OUT);
      EXPECT_EQ(f.Result, plat::TVarType::Bool);
    }
    if (f.Name == "Zoom") {
      ASSERT_EQ(f.Params.size(), 4u);
      EXPECT_EQ(f.Params[3].Name, "aBottom");
    }
    if (f.Name == "Alignment" && f.Kind == plat::DISPATCH_PROPERTYGET) {
      EXPECT_EQ(f.ResultTypeName, "TxAlignment");
    }
  }
}

TEST(TypeLibraryTest, Events) {
  const auto& events = QuviLiveViewerTypeLibrary().Events.Funcs;
  ASSERT_EQ(events.size(), 7u);
  const char* names[] = {"OnConnected",   "OnDisConnected",  "OnClick",        "OnDblClick",
                         "OnReceiveData", "OnStatusChanged", "OnVideoInfoRead"};
  for (size_t i = 0; i < 7; ++i) {
    EXPECT_EQ(events[i].DispId, static_cast<int32_t>(0xC9 + i));
    EXPECT_EQ(events[i].Name, names[i]);
  }
  ASSERT_EQ(events[4].Params.size(), 3u);
  EXPECT_EQ(events[4].Params[0].Type, plat::TVarType::ByteArray);
  EXPECT_EQ(events[4].Params[1].Name, "Framesize");
  EXPECT_EQ(events[6].Params[2].Name, "aHeight");
}

}  // namespace
}  // namespace viewer
