#include "common/viewer_utils.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

#include "platform/process.h"
#include "platform/time.h"

std::string DateDigits(TDateTime t) {
  const TDateTimeParts p = DecodeDateTime(t);
  char buf[32];
  std::snprintf(buf, sizeof buf, "%d%02d%02d", p.year, p.month, p.day);
  return buf;
}

std::string TimeDigits(TDateTime t) {
  const TDateTimeParts p = DecodeDateTime(t);
  char buf[16];
  std::snprintf(buf, sizeof buf, "%02d%02d%02d", p.hour, p.minute, p.second);
  return buf;
}

std::string BuildMediaFileName(int channel, int kind) {
  const TDateTime now = Now();
  return std::to_string(channel) + "-" + std::to_string(kind) + "-" + DateDigits(now) +
         TimeDigits(now);
}

namespace {
std::string TrimBlanks(const std::string& s) {
  size_t b = 0, e = s.size();
  while (b < e && static_cast<unsigned char>(s[b]) <= ' ') ++b;
  while (e > b && static_cast<unsigned char>(s[e - 1]) <= ' ') --e;
  return s.substr(b, e - b);
}
}  // namespace

std::string BuildCapturePathAt(int channel, int kind, const std::string& folder,
                               bool with_file_name, TDateTime now) {
  std::string path;
  if (!TrimBlanks(folder).empty()) {
    path = folder;
    if (path.back() != '/') path += '/';
  } else {
    path =
        plat::DataRoot() + "/DVRDat/" + DateDigits(now) + "/" + std::to_string(channel + 1) + "/";
    static const char* const kKindFolders[] = {"CC", "AC", "PB", "RB"};
    if (kind >= 0 && kind <= 3) path += std::string(kKindFolders[kind]) + "/";
  }
  if (with_file_name) {
    path += std::to_string(channel) + "-" + std::to_string(kind) + "-" + DateDigits(now) +
            TimeDigits(now) + (kind == 2 || kind == 3 ? ".BMP" : ".MPG");
  }
  return path;
}

std::string BuildCapturePath(int channel, int kind, const std::string& folder,
                             bool with_file_name) {
  return BuildCapturePathAt(channel, kind, folder, with_file_name, Now());
}

int64_t ElapsedTicksBetween(uint32_t start, uint32_t now) {
  if (start > now) return static_cast<int64_t>(0xFFFFFFFFu - start) + now;
  return static_cast<int64_t>(now - start);
}

int64_t ElapsedTicks(uint32_t start) {
  return ElapsedTicksBetween(start, plat::GetTickCount());
}

namespace {

// Parses "a.b.c.d" with each piece 0..255; false otherwise.
bool ParseDottedQuad(const std::string& text, uint32_t* out) {
  const std::string s = text + ".";
  uint32_t value = 0;
  int pieces = 0;
  size_t start = 0;
  for (size_t dot = s.find('.'); dot != std::string::npos; dot = s.find('.', start)) {
    const std::string piece = s.substr(start, dot - start);
    if (piece.empty() || piece.size() > 3 || pieces == 4) return false;
    int n = 0;
    for (char c : piece) {
      if (c < '0' || c > '9') return false;
      n = n * 10 + (c - '0');
    }
    if (n > 255) return false;
    value = (value << 8) | static_cast<uint32_t>(n);
    ++pieces;
    start = dot + 1;
  }
  if (pieces != 4 || start != s.size()) return false;
  *out = value;
  return true;
}

std::string FormatAddress(const in_addr& a) {
  const auto* b = reinterpret_cast<const uint8_t*>(&a.s_addr);
  char buf[20];
  std::snprintf(buf, sizeof buf, "%d.%d.%d.%d", b[0], b[1], b[2], b[3]);
  return buf;
}

bool ResolveFirstIPv4(const std::string& name, std::string* out) {
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* result = nullptr;
  if (::getaddrinfo(name.c_str(), nullptr, &hints, &result) != 0 || result == nullptr) return false;
  *out = FormatAddress(reinterpret_cast<sockaddr_in*>(result->ai_addr)->sin_addr);
  ::freeaddrinfo(result);
  return true;
}

}  // namespace

bool IsDottedQuad(const std::string& text) {
  uint32_t v = 0;
  return ParseDottedQuad(text, &v);
}

uint32_t DottedQuadToAddress(const std::string& text, bool network_order) {
  uint32_t v = 0;
  if (!ParseDottedQuad(text, &v)) return 0;
  return network_order ? htonl(v) : v;
}

std::string AddressToDottedQuad(uint32_t address, bool swap) {
  if (swap) address = __builtin_bswap32(address);
  char buf[20];
  std::snprintf(buf, sizeof buf, "%u.%u.%u.%u", address >> 24, (address >> 16) & 0xFF,
                (address >> 8) & 0xFF, address & 0xFF);
  return buf;
}

std::string GetLocalIPAddress() {
  char host[256] = {0};
  if (::gethostname(host, sizeof host - 1) != 0) return std::string();
  std::string address;
  if (!ResolveFirstIPv4(host, &address)) return std::string();
  return address;
}

bool ResolveHostAddress(std::string& text) {
  if (IsDottedQuad(text)) return true;
  std::string address;
  if (text.empty() || !ResolveFirstIPv4(text, &address)) return false;
  text = address;
  return true;
}

uint32_t ReadUInt32(const uint8_t* p, bool from_network_order) {
  uint32_t v;
  std::memcpy(&v, p, 4);
  return from_network_order ? ntohl(v) : v;
}

void WriteUInt16BE(TMemoryStream& s, uint16_t v) {
  const uint8_t b[2] = {static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v)};
  s.Write(b, 2);
}

void WriteUInt32BE(TMemoryStream& s, uint32_t v) {
  const uint8_t b[4] = {static_cast<uint8_t>(v >> 24), static_cast<uint8_t>(v >> 16),
                        static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v)};
  s.Write(b, 4);
}

void WriteUInt64BE(TMemoryStream& s, uint64_t v) {
  WriteUInt32BE(s, static_cast<uint32_t>(v >> 32));
  WriteUInt32BE(s, static_cast<uint32_t>(v));
}

void WriteFixedString(TMemoryStream& s, const std::string& text, size_t width) {
  std::vector<uint8_t> field(width, 0);
  std::memcpy(field.data(), text.data(), std::min(text.size(), width));
  s.Write(field.data(), width);
}

void WritePacketPrefix(TMemoryStream& s, uint32_t command, const std::string& first_address,
                       const std::string& second_address, bool with_addresses) {
  s.Seek(4);
  WriteUInt32BE(s, command);
  WriteUInt32BE(s, 1);
  // DottedQuadToAddress gives the first number in the top byte, so writing it big-endian
  // puts the address on the wire in network order.
  WriteUInt32BE(s, with_addresses ? DottedQuadToAddress(first_address, false) : 0);
  WriteUInt32BE(s, with_addresses ? DottedQuadToAddress(second_address, false) : 0);
}

std::vector<uint8_t> PatchLengthAndGetBytes(TMemoryStream& s) {
  const size_t n = s.Size();
  s.Seek(0);
  WriteUInt32BE(s, static_cast<uint32_t>(n));
  s.Seek(n);
  return s.Bytes();
}
