#include "tools/quvi-probe/members_listing.h"

#include <gtest/gtest.h>

#include <sstream>

namespace probe {
namespace {

TEST(MembersListingTest, ListsEveryMemberWithItsDispidAndTheEnumerations) {
  std::ostringstream out;
  EXPECT_EQ(PrintMembers(out), 98);
  const std::string text = out.str();
  for (const char* line : {
           "  0xC9   SendPTZControlCommand              method           long()\n",
           "  -501   Color                              get/put          OLE_COLOR\n",
           "  0xD7   CaptureBMPResultFilename           method           "
           "VARIANT_BOOL(in/out BSTR sFilename)\n",
           "  0x120  PlayWnd                            put              long\n",
           "  0x122  Font                               get/put/putref   IFontDisp*\n",
           "  0xE1   Alignment                          get/put          TxAlignment\n",
           "98 members\n",
           "  0xCD   OnReceiveData                      event            "
           "void(SAFEARRAY(unsigned char) databuf, long Framesize, long FrameType)\n",
           "7 events\n",
           "enum TxConnectionType {5B282B6B-613F-4154-B86D-CFD50CEB64CA}: ctDirect = 0, "
           "ctByStreamMedia = 1\n",
       }) {
    EXPECT_NE(text.find(line), std::string::npos) << line << "\nin:\n" << text;
  }
  // The table's last member closes the list.
  const size_t count_line = text.find("98 members\n");
  ASSERT_NE(count_line, std::string::npos);
  const size_t last_member = text.rfind('\n', count_line - 2) + 1;
  EXPECT_EQ(text.compare(last_member, 20, "  0x128  ZoomByPoint"), 0) << text.substr(last_member);
}

}  // namespace
}  // namespace probe
