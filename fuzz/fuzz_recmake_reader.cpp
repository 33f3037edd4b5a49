// Record stream files read by the tools (listing, serving, checking) come from anywhere:
// the strict reader must end with a frame, the end or an error, never read past its input.
#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string>

#include "tools/recmake/record_file_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::istringstream in(std::string(reinterpret_cast<const char*>(data), size));
  recmake::TRecordFileReader reader(in);
  recmake::TRecordFrame frame;
  size_t bytes = reader.HasFileHead() ? 64 : 0;
  while (reader.Next(frame) == recmake::TRecordFileReader::EResult::Frame) {
    bytes += frame.WireSize();
    if (bytes > size) __builtin_trap();  // frames must lie inside the input
  }
  return 0;
}
