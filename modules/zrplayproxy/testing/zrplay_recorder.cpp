// libZrPlayRecorder.so: see zrplay_recorder.h.
#include "modules/zrplayproxy/testing/zrplay_recorder.h"

#include <cstring>
#include <map>
#include <mutex>
#include <sstream>
#include <string>
#include <type_traits>

#include "player/api/zrplay_api.h"

#define RECORDER_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

std::mutex g_mutex;
std::string g_calls;
std::string g_snapshot;
std::map<std::string, int32_t> g_results;
int32_t g_codec = 0, g_width = 0, g_height = 0;

template <typename T>
void Append(std::ostringstream& out, T value) {
  if constexpr (std::is_same_v<T, const char*>) {
    out << '"' << (value ? value : "") << '"';
  } else if constexpr (std::is_pointer_v<T>) {
    out << (value ? "ptr" : "null");
  } else {
    out << value;
  }
}

void AddLine(const std::string& line) {
  std::lock_guard<std::mutex> lock(g_mutex);
  g_calls += line;
  g_calls += '\n';
}

int32_t ResultOf(const char* name) {
  std::lock_guard<std::mutex> lock(g_mutex);
  auto it = g_results.find(name);
  if (it != g_results.end()) return it->second;
  if (std::strcmp(name, "Zr_Play_Player_FACTORYID") == 0) return ZRPLAY_FACTORY_ID;
  if (std::strncmp(name, "Zr_Play_InitPlayer", 18) == 0) return 0;
  return 1;
}

// Any call: "name(arg,arg,...)".
template <typename... A>
int32_t Handle(const char* name, A... args) {
  std::ostringstream out;
  out << name << '(';
  bool first = true;
  ((out << (first ? "" : ","), Append(out, args), first = false), ...);
  out << ')';
  AddLine(out.str());
  return ResultOf(name);
}

// Calls carrying a block of bytes: "name(port,len=N,head=a.b.c.d)".
std::string DataLine(const char* name, int32_t port, const uint8_t* data, int32_t size) {
  std::ostringstream out;
  out << name << '(' << port << ",len=" << size;
  if (data != nullptr && size >= 4)
    out << ",head=" << std::hex << int(data[0]) << '.' << int(data[1]) << '.' << int(data[2]) << '.'
        << int(data[3]) << std::dec;
  return out.str();
}

int32_t Handle(const char* name, int32_t port, const uint8_t* data, int32_t size) {
  AddLine(DataLine(name, port, data, size) + ")");
  return ResultOf(name);
}

int32_t Handle(const char* name, int32_t port, const uint8_t* data, int32_t size, int32_t pool) {
  AddLine(DataLine(name, port, data, size) + ",pool=" + std::to_string(pool) + ")");
  return ResultOf(name);
}

// Qel_Play_ReadChannelEncodeInfo: fills codec, width and height when they are set.
int32_t Handle(const char* name, int32_t port, void* record, int32_t* size) {
  AddLine(std::string(name) + "(" + std::to_string(port) + ")");
  std::lock_guard<std::mutex> lock(g_mutex);
  if (g_width == 0 || record == nullptr || size == nullptr || *size < 12) return 0;
  const int32_t values[3] = {g_codec, g_width, g_height};
  std::memcpy(record, values, sizeof values);
  return 1;
}

// Zr_Play_GetPictureSize: the picture facts' width and height, when they are set.
int32_t Handle(const char* name, int32_t port, int32_t* width, int32_t* height) {
  AddLine(std::string(name) + "(" + std::to_string(port) + ")");
  {
    std::lock_guard<std::mutex> lock(g_mutex);
    if (width != nullptr) *width = g_width;
    if (height != nullptr) *height = g_height;
  }
  return ResultOf(name);
}

// Zr_Play_SetDisplayRegion: "name(port,region,(left,top,right,bottom),window,enable)".
int32_t Handle(const char* name, int32_t port, int32_t region, const ZR_RECT* rect, ZR_HWND window,
               int32_t enable) {
  std::ostringstream out;
  out << name << '(' << port << ',' << region << ',';
  if (rect != nullptr) {
    out << '(' << rect->left << ',' << rect->top << ',' << rect->right << ',' << rect->bottom
        << ')';
  } else {
    out << "null";
  }
  out << ',' << window << ',' << enable << ')';
  AddLine(out.str());
  return ResultOf(name);
}

}  // namespace

#define RECORDER_EXPORT_CALL(ret, name, params, args, fail)                       \
  RECORDER_EXPORT ret name params {                                               \
    return static_cast<ret>([&](auto... a) { return Handle(#name, a...); } args); \
  }

ZRPLAY_EXPORTS(RECORDER_EXPORT_CALL)

RECORDER_EXPORT const char* ZrRecorder_Calls(void) {
  std::lock_guard<std::mutex> lock(g_mutex);
  g_snapshot = g_calls;
  return g_snapshot.c_str();
}

RECORDER_EXPORT void ZrRecorder_Reset(void) {
  std::lock_guard<std::mutex> lock(g_mutex);
  g_calls.clear();
  g_results.clear();
  g_codec = g_width = g_height = 0;
}

RECORDER_EXPORT void ZrRecorder_SetResult(const char* name, int32_t result) {
  std::lock_guard<std::mutex> lock(g_mutex);
  g_results[name] = result;
}

RECORDER_EXPORT void ZrRecorder_SetEncodeInfo(int32_t codec, int32_t width, int32_t height) {
  std::lock_guard<std::mutex> lock(g_mutex);
  g_codec = codec;
  g_width = width;
  g_height = height;
}
