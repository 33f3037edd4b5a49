#include "player/media/aac_decoder_module.h"

#include "platform/module_object.h"

namespace zrplay {

namespace {

using TCreateHandle = intptr_t (*)(int32_t);
using TCloseHandle = int32_t (*)(intptr_t);
using TDecode = int32_t (*)(intptr_t, const uint8_t*, int32_t, uint8_t*, int32_t*);
using TGetInfo = int32_t (*)(intptr_t, int32_t*, int32_t*);

}  // namespace

void* TAacDecoderModule::Lookup(const char* export_name) {
  // Loaded once; the module stays for the rest of the process.
  std::call_once(load_once_, [this] {
    module_ = plat::LoadModule(name_, reinterpret_cast<const void*>(&AacDecoderModule));
  });
  return plat::GetProcAddress(module_, export_name);
}

bool TAacDecoderModule::Loaded() {
  Lookup("KV_AudioDecoder_CreateHandle");
  return module_ != nullptr;
}

TAacDecoderModule::THandle TAacDecoderModule::CreateHandle(int32_t type) {
  auto f = reinterpret_cast<TCreateHandle>(Lookup("KV_AudioDecoder_CreateHandle"));
  return f != nullptr ? f(type) : -1;
}

int32_t TAacDecoderModule::CloseHandle(THandle handle) {
  auto f = reinterpret_cast<TCloseHandle>(Lookup("KV_AudioDecoder_CloseHandel"));
  return f != nullptr ? f(handle) : -1;
}

int32_t TAacDecoderModule::Decode(THandle handle, const uint8_t* in, int32_t in_length,
                                  uint8_t* out, int32_t* out_length) {
  auto f = reinterpret_cast<TDecode>(Lookup("KV_AudioDecoder_Decode"));
  return f != nullptr ? f(handle, in, in_length, out, out_length) : -1;
}

int32_t TAacDecoderModule::GetInfo(THandle handle, int32_t* sample_rate, int32_t* channels) {
  auto f = reinterpret_cast<TGetInfo>(Lookup("KV_AudioDecoder_GetInfo"));
  return f != nullptr ? f(handle, sample_rate, channels) : -1;
}

namespace {
plat::TModuleObject<TAacDecoderModule> g_module;
}  // namespace

TAacDecoderModule& AacDecoderModule() {
  return g_module.Get("KVAudioDecoder");
}

void DestroyAacDecoderModule() {
  g_module.Destroy();
}

}  // namespace zrplay
