// Arbitrary HTTP answers into the center client's answer reading: the bytes up to the first
// blank line are header lines (status line, Content-Type, anything), the rest is the body,
// read as every kind of result the client asks for. Failures must be ECenterCallError.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "viewer/center/center_errors.h"
#include "viewer/center/soap_answer.h"

namespace {

template <typename F>
void Read(F&& read) {
  try {
    read();
  } catch (const viewer::ECenterCallError&) {
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  viewer::TSoapReply reply;
  size_t split = input.find("\n\n");
  const size_t crlf = input.find("\r\n\r\n");
  size_t skip = 2;
  if (crlf != std::string_view::npos && (split == std::string_view::npos || crlf < split)) {
    split = crlf;
    skip = 4;
  }
  std::string_view head = split == std::string_view::npos ? input : input.substr(0, split);
  reply.Body = split == std::string_view::npos ? "" : std::string(input.substr(split + skip));
  while (!head.empty()) {
    const size_t end = head.find('\n');
    reply.TakeHeaderLine(head.substr(0, end == std::string_view::npos ? head.size() : end + 1));
    head = end == std::string_view::npos ? std::string_view() : head.substr(end + 1);
  }
  Read([&] { viewer::ReadBooleanAnswer(reply); });
  Read([&] { viewer::ReadStringAnswer(reply); });
  Read([&] { viewer::ReadPersonName(reply); });
  Read([&] { viewer::ReadEmptyAnswer(reply); });
  return 0;
}
