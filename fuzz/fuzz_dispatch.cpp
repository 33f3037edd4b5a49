// Arbitrary calls from a host: random DISPIDs and member names (known ones in any letter
// case, and made-up ones) with random invoke kinds and random argument lists (every variant
// type, wrong tags, long texts, byte arrays with any bounds, fonts), through the host
// interface against one control that is not playing. Every call must end with a result code;
// a failure must come with its reason.
#include <fuzzer/FuzzedDataProvider.h>

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "viewer/control/control_window_factory.h"
#include "viewer/control/quvi_host.h"
#include "viewer/control/testing/fake_control_window.h"

namespace {

QuviControl* g_control = nullptr;
std::vector<QuviFunctionInfo> g_funcs;

void RandomArgument(FuzzedDataProvider& in, QuviVariant* v) {
  QuviVariantInit(v);
  switch (in.ConsumeIntegralInRange<int>(0, 10)) {
    case 0:
      break;
    case 1:
      v->vt = QUVI_VT_I4;
      v->u.i4 = in.ConsumeIntegral<int32_t>();
      break;
    case 2:
      v->vt = QUVI_VT_R4;
      v->u.r4 = in.ConsumeFloatingPoint<float>();
      break;
    case 3:
      v->vt = in.ConsumeBool() ? QUVI_VT_R8 : QUVI_VT_DATE;
      v->u.r8 = in.ConsumeFloatingPoint<double>();
      break;
    case 4:
      v->vt = QUVI_VT_BOOL;
      v->u.boolean = in.ConsumeIntegral<int16_t>();
      break;
    case 5:
      v->vt = QUVI_VT_COLOR;
      v->u.color = in.ConsumeIntegral<uint32_t>();
      break;
    case 6: {
      const std::string text = in.ConsumeRandomLengthString(8192);
      QuviVariantSetString(v, text.c_str());
      break;
    }
    case 7: {
      const std::vector<uint8_t> bytes = in.ConsumeBytes<uint8_t>(in.ConsumeIntegral<uint16_t>());
      QuviVariantSetBytes(v, bytes.data(), static_cast<uint32_t>(bytes.size()),
                          in.ConsumeIntegral<int32_t>());
      break;
    }
    case 8: {
      const std::string name = in.ConsumeRandomLengthString(256);
      QuviFont font = {const_cast<char*>(name.c_str()),
                       in.ConsumeFloatingPoint<double>(),
                       in.ConsumeIntegral<int16_t>(),
                       in.ConsumeIntegral<int16_t>(),
                       in.ConsumeIntegral<uint8_t>(),
                       0,
                       0,
                       0};
      QuviVariantSetFont(v, &font);
      break;
    }
    case 9:
      // A tag the interface does not know, with nothing behind it.
      v->vt = in.ConsumeIntegral<uint16_t>();
      if (v->vt == QUVI_VT_STRING || v->vt == QUVI_VT_BYTES || v->vt == QUVI_VT_FONT) {
        v->vt = QUVI_VT_EMPTY;
      }
      std::memset(&v->u, 0, sizeof v->u);
      break;
    default: {
      // A text with NUL bytes inside and an exact length.
      const std::string text = in.ConsumeRandomLengthString(64) + std::string(3, '\0') + "x";
      QuviVariantSetString(v, "");
      QuviVariantClear(v);
      v->vt = QUVI_VT_STRING;
      v->u.str.data = static_cast<char*>(std::malloc(text.size() + 1));
      std::memcpy(v->u.str.data, text.data(), text.size());
      v->u.str.data[text.size()] = '\0';
      v->u.str.length = static_cast<uint32_t>(text.size());
      break;
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  viewer::SetControlWindowFactory([](plat::HWND parent, int32_t w, int32_t h) {
    return std::make_unique<viewer::TFakeControlWindow>(parent, w, h);
  });
  // The class object makes the control here without a registry.
  const QuviClassFactory* factory = nullptr;
  if (DllGetClassObject("{0E1B418E-FC82-4B9A-B8E8-A17CDA2F03BA}", &factory) != QUVI_S_OK ||
      factory->CreateInstance(0, 352, 288, &g_control) != QUVI_S_OK) {
    std::abort();
  }
  for (uint32_t i = 0; i < QuviGetFunctionCount(QUVI_DISPATCH_INTERFACE); ++i) {
    QuviFunctionInfo f;
    QuviGetFunction(QUVI_DISPATCH_INTERFACE, i, &f);
    if (std::strcmp(f.name, "StartPlay") != 0) g_funcs.push_back(f);
  }
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider in(data, size);
  for (int call = 0; call < 8 && in.remaining_bytes() > 0; ++call) {
    const QuviFunctionInfo& known =
        g_funcs[in.ConsumeIntegralInRange<size_t>(0, g_funcs.size() - 1)];
    int32_t dispid = known.dispid;
    switch (in.ConsumeIntegralInRange<int>(0, 2)) {
      case 0: {  // the known name in a random letter case
        std::string name = known.name;
        for (char& c : name) {
          if (in.ConsumeBool()) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        }
        if (QuviFindMember(g_control, name.c_str(), &dispid) != QUVI_S_OK) std::abort();
        break;
      }
      case 1: {  // any name: either unknown or some known member
        const std::string name = in.ConsumeRandomLengthString(128);
        if (QuviFindMember(g_control, name.c_str(), &dispid) != QUVI_S_OK) {
          if (QuviGetErrorText()[0] == '\0') std::abort();
          dispid = in.ConsumeIntegral<int32_t>();
        }
        break;
      }
      default:
        if (in.ConsumeBool()) dispid = in.ConsumeIntegral<int32_t>();
        break;
    }
    if (dispid == 0xD8) continue;  // the control stays idle
    const uint16_t kinds[] = {QUVI_INVOKE_METHOD, QUVI_INVOKE_GET, QUVI_INVOKE_PUT,
                              QUVI_INVOKE_PUTREF, QUVI_INVOKE_METHOD | QUVI_INVOKE_GET};
    const uint16_t kind = in.ConsumeBool()
                              ? known.kind
                              : (in.ConsumeBool() ? kinds[in.ConsumeIntegralInRange<int>(0, 4)]
                                                  : in.ConsumeIntegral<uint16_t>());
    QuviVariant args[6];
    const uint32_t count = in.ConsumeIntegralInRange<uint32_t>(0, 6);
    for (uint32_t i = 0; i < count; ++i) RandomArgument(in, &args[i]);
    QuviVariant result;
    QuviVariantInit(&result);
    const QUVI_HRESULT hr = QuviInvoke(g_control, dispid, kind, args, count, &result);
    if (hr < 0 && QuviGetErrorText()[0] == '\0') std::abort();
    if (hr < 0 && result.vt != QUVI_VT_EMPTY) std::abort();
    QuviVariantClear(&result);
    for (uint32_t i = 0; i < count; ++i) QuviVariantClear(&args[i]);
  }
  QuviPumpMessages(0);
  return 0;
}
