#include "player/channel/parameter_set_search.h"

#include <gtest/gtest.h>

#include <vector>

namespace zrplay {
namespace {

TEST(ParameterSetSearchTest, FindsTheNalHeaderOfTheFirstSequenceParameterSet) {
  struct TCase {
    const char* name;
    std::vector<uint8_t> bytes;
    int64_t at;
  };
  const TCase cases[] = {
      {"four-byte start code", {0, 0, 0, 1, 0x67, 0x42}, 4},
      {"nal_ref_idc bits ignored", {0, 0, 0, 0, 1, 0x27, 0x42}, 5},
      {"behind a slice", {0, 0, 0, 1, 0x65, 0, 0, 0, 1, 0x67}, 9},
      {"behind other data", {9, 8, 0, 0, 0, 1, 0x68, 0xCE, 0, 0, 0, 1, 0x67, 1}, 12},
      {"three-byte start code is not enough", {0, 0, 1, 0x67, 0x42}, -1},
      {"a one without enough zeros keeps the count", {0, 1, 0, 0, 1, 0x67}, 5},
      {"another byte resets the count", {0, 0, 2, 0, 1, 0x67}, -1},
      {"a nal header is not itself counted", {0, 0, 0, 1, 0, 0, 0, 1, 0x67}, -1},
      {"start code at the very end", {5, 0, 0, 0, 1}, -1},
      {"no start code", {0x67, 0x67, 0x67}, -1},
      {"empty", {}, -1},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.name);
    // An exact-size copy, so a read past the end is caught by the sanitizers.
    std::vector<uint8_t> exact(c.bytes);
    EXPECT_EQ(FindH264SequenceParameterSet(exact.data(), exact.size()), c.at);
  }
}

}  // namespace
}  // namespace zrplay
