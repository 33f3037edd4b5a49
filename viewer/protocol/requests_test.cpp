#include "viewer/protocol/requests.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "viewer/protocol/exceptions.h"
#include "viewer/protocol/responses.h"

namespace viewer {
namespace {

using Bytes = std::vector<uint8_t>;

// Bytes from a written-out dump: hex bytes separated by blanks, "XX*N" repeats a byte N
// times, "|" only separates fields for the reader.
Bytes Dump(const std::string& text) {
  Bytes out;
  std::istringstream in(text);
  std::string token;
  while (in >> token) {
    if (token == "|") continue;
    const size_t star = token.find('*');
    const auto byte = static_cast<uint8_t>(std::stoul(token.substr(0, star), nullptr, 16));
    const size_t count = star == std::string::npos ? 1 : std::stoul(token.substr(star + 1));
    out.insert(out.end(), count, byte);
  }
  return out;
}

const TRequestAddressing kRelay{1, "192.168.0.5", "10.0.0.1"};
const std::string kToken("tok\0en", 6);  // raw token bytes, a zero inside
const char* const kTokenDump = "74 6F 6B 00 65 6E 00*122";

template <class R>
Bytes Encode(const R& r, const TRequestAddressing& a = kRelay) {
  return EncodeRequest(a, r);
}

TEST(RequestTest, EveryRequestOfTheCatalogueIsByteExact) {
  const std::string relay_head = "00 00 00 01 | C0 A8 00 05 | 0A 00 00 01 | ";
  struct Case {
    const char* name;
    Bytes encoded;
    std::string dump;
  };
  TPtzSpeedRequest ptz_speed;
  ptz_speed.Token = kToken;
  ptz_speed.ChannelNo = 1;
  ptz_speed.Command = 21;
  ptz_speed.Enabled = 0;
  ptz_speed.Speed = 5;
  const Case cases[] = {
      {"login", Encode(TLoginRequest{"admin", "pw"}),
       "00 00 00 6C | 00 01 00 01 | " + relay_head +
           "61 64 6D 69 6E 00*15 | 70 77 00*38 | 00 00 00 01 | 00*24"},
      {"logout", Encode(TLogoutRequest{kToken}),
       "00 00 00 94 | 00 01 00 03 | " + relay_head + kTokenDump},
      {"open live", Encode(TOpenLiveRequest{kToken, "-1", 3, 1}),
       "00 00 00 A2 | 00 05 01 01 | " + relay_head + kTokenDump + " | FF*8 | 00 03 | 00 00 00 01"},
      {"link mode", Encode(TLinkModeRequest{kToken, "7", 0x0102, 0, 2}),
       "00 00 00 A6 | 00 05 01 03 | " + relay_head + kTokenDump +
           " | 00*7 07 | 01 02 | 00 00 00 00 | 00 00 00 02"},
      {"ptz", Encode(TPtzRequest{kToken, "-2", 1, 21, 1}),
       "00 00 00 A0 | 00 09 00 02 | " + relay_head + kTokenDump + " | FF*7 FE | 00 01 | 15 | 01"},
      {"ptz with speed", Encode(ptz_speed),
       "00 00 00 A1 | 00 09 00 03 | " + relay_head + kTokenDump + " | FF*8 | 00 01 | 15 | 00 | 05"},
      {"video parameters", Encode(TVideoParamsRequest{kToken, 2, 70, 75, 85, 127}),
       "00 00 00 A6 | 00 0A 00 01 | " + relay_head + kTokenDump +
           " | 00 02 | 00 00 00 46 | 00 00 00 4B | 00 00 00 55 | 00 00 00 7F"},
      {"client identity",
       Encode(TClientIdentityRequest{"172.16.1.2"}, {1, "192.168.0.5", "10.0.0.9"}),
       "00 00 00 18 | 01 00 00 01 | 00 00 00 01 | C0 A8 00 05 | 0A 00 00 09 | AC 10 01 02"},
  };
  const size_t sizes[] = {108, 148, 162, 166, 160, 161, 166, 24};
  for (size_t i = 0; i < std::size(cases); ++i) {
    SCOPED_TRACE(cases[i].name);
    EXPECT_EQ(cases[i].encoded.size(), sizes[i]);
    EXPECT_EQ(cases[i].encoded, Dump(cases[i].dump));
  }
  EXPECT_EQ(RequestSize<TLoginRequest>(), 108u);
  EXPECT_EQ(RequestSize<TLogoutRequest>(), 148u);
  EXPECT_EQ(RequestSize<TOpenLiveRequest>(), 162u);
  EXPECT_EQ(RequestSize<TLinkModeRequest>(), 166u);
  EXPECT_EQ(RequestSize<TPtzRequest>(), 160u);
  EXPECT_EQ(RequestSize<TPtzSpeedRequest>(), 161u);
  EXPECT_EQ(RequestSize<TVideoParamsRequest>(), 166u);
  EXPECT_EQ(RequestSize<TClientIdentityRequest>(), 24u);
}

TEST(RequestTest, AddressWordsAreZeroUnlessRelayedToValidDottedQuads) {
  struct Case {
    uint8_t connection_type;
    std::string address;
    uint32_t expected;
  };
  const Case cases[] = {
      {0, "192.168.0.5", 0},
      {2, "192.168.0.5", 0},
      {1, "192.168.0.5", 0xC0A80005},
      {1, "", 0},
      {1, "recorder.local", 0},
      {1, "1.2.3", 0},
      {1, "256.1.1.1", 0},
      {1, "1.2.3.4.5", 0},
      {1, "1..3.4", 0},
      {1, "255.255.255.255", 0xFFFFFFFF},
  };
  for (const Case& c : cases) {
    const Bytes bytes = Encode(TLogoutRequest{kToken}, {c.connection_type, c.address, c.address});
    TRequestHead head;
    ASSERT_TRUE(DecodeRequestHead(bytes.data(), bytes.size(), head));
    EXPECT_EQ(head.ClientAddress, c.expected) << int(c.connection_type) << " " << c.address;
    EXPECT_EQ(head.TargetAddress, c.expected) << int(c.connection_type) << " " << c.address;
    EXPECT_EQ(head.Constant, 1u);
  }
}

TEST(RequestTest, DeviceIdentifierIsTheSignExtendedThirtyTwoBitValue) {
  struct Case {
    const char* dvrid;
    int64_t value;
  };
  const Case good[] = {{"-1", -1},
                       {"0", 0},
                       {"+12", 12},
                       {"2147483647", 2147483647},
                       {"-2147483648", -2147483648LL},
                       {"0000000000042", 42},
                       {" \t7", 7}};  // leading blanks, as the play model reads them too
  for (const Case& c : good) EXPECT_EQ(DeviceIdValue(c.dvrid), c.value) << c.dvrid;

  const char* const bad[] = {"",     "-",   "abc",        "12 ",         " ",
                             "- 12", "1.5", "2147483648", "-2147483649", "99999999999999999999",
                             "0x10"};
  for (const char* dvrid : bad) {
    EXPECT_THROW(DeviceIdValue(dvrid), EInvalidDeviceId) << dvrid;
    // Every request carrying the identifier refuses to be built.
    EXPECT_THROW(Encode(TOpenLiveRequest{kToken, dvrid, 1, 0}), EInvalidDeviceId) << dvrid;
    EXPECT_THROW(Encode(TLinkModeRequest{kToken, dvrid, 1, 0, 1}), EInvalidDeviceId) << dvrid;
    EXPECT_THROW(Encode(TPtzRequest{kToken, dvrid, 1, 1, 1}), EInvalidDeviceId) << dvrid;
  }
  try {
    DeviceIdValue("abc");
    ADD_FAILURE() << "accepted";
  } catch (const EViewerException& e) {
    EXPECT_EQ(e.Message(), "'abc' is not a valid integer value");
  }
  try {
    DeviceIdValue("2147483648");
    ADD_FAILURE() << "accepted";
  } catch (const EViewerException& e) {
    EXPECT_EQ(e.Message(), "'2147483648' is no 32-bit device identifier");
  }
}

TEST(RequestTest, DeviceIdentifierNumberReadsTheSameTextsWithinSixtyFourBits) {
  struct Case {
    const char* dvrid;
    int64_t value;
  };
  const Case good[] = {{"-1", -1},
                       {"+12", 12},
                       {" 7", 7},
                       {"4294967297", 4294967297LL},
                       {"9223372036854775807", INT64_MAX},
                       {"-9223372036854775808", INT64_MIN}};
  for (const Case& c : good) EXPECT_EQ(DeviceIdNumber(c.dvrid), c.value) << c.dvrid;
  for (const char* dvrid : {"", "-", "+", "  ", "7 ", "1.5", "0x10", "9223372036854775808",
                            "-9223372036854775809", "99999999999999999999"})
    EXPECT_THROW(DeviceIdNumber(dvrid), EInvalidDeviceId) << dvrid;
}

TEST(RequestTest, TextsAreCutToTheirFieldAndIntegersToTheirLowBits) {
  const Bytes login = Encode(TLoginRequest{"abcdefghijklmnopqrstuvwxy", std::string(45, 'p')});
  ASSERT_EQ(login.size(), 108u);
  EXPECT_EQ(std::string(login.begin() + 20, login.begin() + 40), "abcdefghijklmnopqrst");
  EXPECT_EQ(std::string(login.begin() + 40, login.begin() + 80), std::string(40, 'p'));

  const Bytes ptz = Encode(TPtzRequest{std::string(200, 't'), "1", 0x10003, 0x1FF, 0x102});
  ASSERT_EQ(ptz.size(), 160u);
  EXPECT_EQ(std::string(ptz.begin() + 20, ptz.begin() + 148), std::string(128, 't'));
  EXPECT_EQ(Bytes(ptz.begin() + 156, ptz.end()), Dump("00 03 FF 02"));
}

// Every request decodes back to what was encoded, and a server refuses anything else.
template <class R>
void ExpectRoundTrip(const R& sent, bool (*same)(const R&, const R&)) {
  const Bytes bytes = Encode(sent);
  R got{};
  TRequestHead head;
  ASSERT_TRUE(DecodeRequest(bytes.data(), bytes.size(), got, &head));
  EXPECT_TRUE(same(sent, got));
  EXPECT_EQ(head.Code, R::kCode);
  EXPECT_EQ(head.ClientAddress, 0xC0A80005u);
  EXPECT_EQ(Encode(got), bytes);

  R untouched{};
  EXPECT_FALSE(DecodeRequest(bytes.data(), bytes.size() - 1, untouched));
  Bytes longer = bytes;
  longer.push_back(0);
  EXPECT_FALSE(DecodeRequest(longer.data(), longer.size(), untouched));
  Bytes wrong_length = bytes;
  wrong_length[3] ^= 1;
  EXPECT_FALSE(DecodeRequest(wrong_length.data(), wrong_length.size(), untouched));
  Bytes wrong_code = bytes;
  wrong_code[7] ^= 0x40;
  EXPECT_FALSE(DecodeRequest(wrong_code.data(), wrong_code.size(), untouched));
  EXPECT_FALSE(DecodeRequest(bytes.data(), 0, untouched));
}

TEST(RequestTest, DecodersReadBackExactlyOneRequestOfTheirKind) {
  ExpectRoundTrip<TLoginRequest>({"admin", "secret"}, [](auto& a, auto& b) {
    return a.LoginUser == b.LoginUser && a.Password == b.Password;
  });
  ExpectRoundTrip<TLogoutRequest>({kToken}, [](auto& a, auto& b) { return a.Token == b.Token; });
  ExpectRoundTrip<TOpenLiveRequest>({kToken, "-1", 3, 1}, [](auto& a, auto& b) {
    return a.Token == b.Token && a.DVRID == b.DVRID && a.ChannelNo == b.ChannelNo &&
           a.LinkMode == b.LinkMode;
  });
  ExpectRoundTrip<TLinkModeRequest>({kToken, "-2147483648", 9, 1, 2}, [](auto& a, auto& b) {
    return a.DVRID == b.DVRID && a.ChannelNo == b.ChannelNo &&
           a.PreviousLinkMode == b.PreviousLinkMode && a.NewLinkMode == b.NewLinkMode;
  });
  ExpectRoundTrip<TPtzRequest>({kToken, "5", 2, 33, 1}, [](auto& a, auto& b) {
    return a.DVRID == b.DVRID && a.Command == b.Command && a.Enabled == b.Enabled;
  });
  TPtzSpeedRequest speed;
  speed.Token = kToken;
  speed.Command = 4;
  speed.Enabled = 1;
  speed.Speed = 200;
  ExpectRoundTrip<TPtzSpeedRequest>(speed, [](auto& a, auto& b) {
    return a.Command == b.Command && a.Enabled == b.Enabled && a.Speed == b.Speed;
  });
  ExpectRoundTrip<TVideoParamsRequest>({kToken, 4, 1, 2, 3, 127}, [](auto& a, auto& b) {
    return a.ChannelNo == b.ChannelNo && a.Brightness == b.Brightness && a.Contrast == b.Contrast &&
           a.Saturation == b.Saturation && a.Hue == b.Hue;
  });
  ExpectRoundTrip<TClientIdentityRequest>(
      {"172.16.1.2"}, [](auto& a, auto& b) { return a.LocalAddress == b.LocalAddress; });

  // A PTZ request is no PTZ request with speed, and the other way round.
  const Bytes plain = Encode(TPtzRequest{kToken, "5", 2, 33, 1});
  TPtzSpeedRequest as_speed;
  EXPECT_FALSE(DecodeRequest(plain.data(), plain.size(), as_speed));
}

TEST(ResponseTest, AnswersCarryTheirStatusAndBodyAtFixedOffsets) {
  const Bytes login = EncodeLoginResponse(0, kToken, "operator");
  ASSERT_EQ(login.size(), 152u + 8);
  TResponseHead head;
  ASSERT_TRUE(DecodeResponseHead(login.data(), login.size(), head));
  EXPECT_EQ(head.Length, login.size());
  EXPECT_EQ(head.Code, 0x80010001u);
  EXPECT_EQ(head.Status, 0);
  EXPECT_EQ(Bytes(login.begin() + 24, login.begin() + 152), Dump(kTokenDump));
  EXPECT_EQ(std::string(login.begin() + 152, login.end()), "operator");

  const Bytes refused = EncodeOpenLiveResponse(-3, std::nullopt);
  EXPECT_EQ(refused, Dump("00 00 00 18 | 80 05 01 01 | 00*12 | FF FF FF FD"));
  EXPECT_EQ(EncodeClientIdentityResponse(0, "10.1.2.3"),
            Dump("00 00 00 1C | 81 00 00 01 | 00*12 | 00*4 | 0A 01 02 03"));
  EXPECT_FALSE(DecodeResponseHead(refused.data(), 23, head));
}

}  // namespace
}  // namespace viewer
