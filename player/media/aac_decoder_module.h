// TAacDecoderModule: the AAC decoder module, loaded at run time on first use and kept until
// the process ends (a failed load is not tried again). Each call looks its function up by
// name and yields -1 when the module or the function is missing. AacDecoderModule() is the
// library's binding of "KVAudioDecoder", found beside the player first; it ends with the
// library, the module stays loaded. Any thread.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>

#include "platform/module.h"

namespace zrplay {

class TAacDecoderModule {
 public:
  using THandle = intptr_t;  // 0 and -1 are none

  // name: the module name, mapped to a file as the platform maps module names.
  explicit TAacDecoderModule(std::string name) : name_(std::move(name)) {}

  bool Loaded();
  THandle CreateHandle(int32_t type);
  int32_t CloseHandle(THandle handle);
  // out_length: capacity in, produced length out; 0 on success.
  int32_t Decode(THandle handle, const uint8_t* in, int32_t in_length, uint8_t* out,
                 int32_t* out_length);
  // 0 on success, and only then are rate and channels written.
  int32_t GetInfo(THandle handle, int32_t* sample_rate, int32_t* channels);

 private:
  void* Lookup(const char* export_name);

  const std::string name_;
  std::once_flag load_once_;
  plat::HMODULE module_ = nullptr;
};

TAacDecoderModule& AacDecoderModule();
// Ends the binding; the library's unload runs this once its channels are gone.
void DestroyAacDecoderModule();

}  // namespace zrplay
