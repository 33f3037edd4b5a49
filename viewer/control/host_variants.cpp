#include "viewer/control/host_variants.h"

#include <cstdlib>
#include <cstring>

namespace viewer {

namespace {
thread_local std::string t_error_text;

char* CopyText(const char* data, size_t length) {
  char* p = static_cast<char*>(std::malloc(length + 1));
  if (p == nullptr) return nullptr;
  if (length > 0) std::memcpy(p, data, length);
  p[length] = '\0';
  return p;
}
}  // namespace

plat::HRESULT Fail(plat::HRESULT hr, const std::string& text) {
  t_error_text = text;
  return hr;
}

plat::HRESULT Succeed(plat::HRESULT hr) {
  t_error_text.clear();
  return hr;
}

const std::string& ErrorText() {
  return t_error_text;
}

plat::HRESULT FromHostVariant(const QuviVariant& in, plat::TVariant* out) {
  using plat::TVariant;
  switch (in.vt) {
    case QUVI_VT_EMPTY:
      *out = TVariant();
      return QUVI_S_OK;
    case QUVI_VT_I4:
      *out = TVariant::FromI4(in.u.i4);
      return QUVI_S_OK;
    case QUVI_VT_R4:
      *out = TVariant::FromR4(in.u.r4);
      return QUVI_S_OK;
    case QUVI_VT_R8:
      *out = TVariant::FromR8(in.u.r8);
      return QUVI_S_OK;
    case QUVI_VT_DATE:
      *out = TVariant::FromDate(in.u.date);
      return QUVI_S_OK;
    case QUVI_VT_BOOL:
      *out = TVariant::FromBool(in.u.boolean != 0);
      return QUVI_S_OK;
    case QUVI_VT_COLOR:
      *out = TVariant::FromColor(in.u.color);
      return QUVI_S_OK;
    case QUVI_VT_STRING:
      if (in.u.str.data == nullptr && in.u.str.length > 0) return QUVI_E_POINTER;
      *out = TVariant::FromString(in.u.str.data ? std::string(in.u.str.data, in.u.str.length)
                                                : std::string());
      return QUVI_S_OK;
    case QUVI_VT_BYTES: {
      if (in.u.bytes.data == nullptr && in.u.bytes.count > 0) return QUVI_E_POINTER;
      plat::TByteArray bytes;
      bytes.LowerBound = in.u.bytes.lower_bound;
      if (in.u.bytes.count > 0) {
        bytes.Data.assign(in.u.bytes.data, in.u.bytes.data + in.u.bytes.count);
      }
      *out = TVariant::FromBytes(std::move(bytes));
      return QUVI_S_OK;
    }
    case QUVI_VT_FONT: {
      if (in.u.font == nullptr) return QUVI_E_POINTER;
      plat::TFontDesc f;
      f.Name = in.u.font->name ? in.u.font->name : "";
      f.Size = in.u.font->size;
      f.Weight = in.u.font->weight;
      f.Charset = in.u.font->charset;
      f.Bold = in.u.font->bold != 0;
      f.Italic = in.u.font->italic != 0;
      f.Underline = in.u.font->underline != 0;
      f.Strikethrough = in.u.font->strikethrough != 0;
      *out = TVariant::FromFont(std::move(f));
      return QUVI_S_OK;
    }
    default:
      return QUVI_E_BADVARTYPE;
  }
}

plat::HRESULT ToHostVariant(const plat::TVariant& in, QuviVariant* out) {
  using plat::TVarType;
  std::memset(out, 0, sizeof *out);
  switch (in.Type()) {
    case TVarType::Empty:
      return QUVI_S_OK;
    case TVarType::I4:
      out->vt = QUVI_VT_I4;
      out->u.i4 = in.I4();
      return QUVI_S_OK;
    case TVarType::R4:
      out->vt = QUVI_VT_R4;
      out->u.r4 = in.R4();
      return QUVI_S_OK;
    case TVarType::R8:
      out->vt = QUVI_VT_R8;
      out->u.r8 = in.R8();
      return QUVI_S_OK;
    case TVarType::Date:
      out->vt = QUVI_VT_DATE;
      out->u.date = in.R8();
      return QUVI_S_OK;
    case TVarType::Bool:
      out->vt = QUVI_VT_BOOL;
      out->u.boolean = in.BoolValue();
      return QUVI_S_OK;
    case TVarType::Color:
      out->vt = QUVI_VT_COLOR;
      out->u.color = in.Color();
      return QUVI_S_OK;
    case TVarType::String: {
      char* p = CopyText(in.String().data(), in.String().size());
      if (p == nullptr) return QUVI_E_OUTOFMEMORY;
      out->vt = QUVI_VT_STRING;
      out->u.str.data = p;
      out->u.str.length = static_cast<uint32_t>(in.String().size());
      return QUVI_S_OK;
    }
    case TVarType::ByteArray: {
      const auto& b = in.Bytes();
      uint8_t* p = static_cast<uint8_t*>(std::malloc(b.Data.empty() ? 1 : b.Data.size()));
      if (p == nullptr) return QUVI_E_OUTOFMEMORY;
      if (!b.Data.empty()) std::memcpy(p, b.Data.data(), b.Data.size());
      out->vt = QUVI_VT_BYTES;
      out->u.bytes.data = p;
      out->u.bytes.count = static_cast<uint32_t>(b.Data.size());
      out->u.bytes.lower_bound = b.LowerBound;
      return QUVI_S_OK;
    }
    case TVarType::Font: {
      const auto& f = in.Font();
      auto* font = static_cast<QuviFont*>(std::calloc(1, sizeof(QuviFont)));
      if (font == nullptr) return QUVI_E_OUTOFMEMORY;
      font->name = CopyText(f.Name.data(), f.Name.size());
      if (font->name == nullptr) {
        std::free(font);
        return QUVI_E_OUTOFMEMORY;
      }
      font->size = f.Size;
      font->weight = f.Weight;
      font->charset = f.Charset;
      font->bold = f.Bold;
      font->italic = f.Italic;
      font->underline = f.Underline;
      font->strikethrough = f.Strikethrough;
      out->vt = QUVI_VT_FONT;
      out->u.font = font;
      return QUVI_S_OK;
    }
  }
  return QUVI_E_BADVARTYPE;
}

}  // namespace viewer

extern "C" {

const char* QuviGetErrorText(void) {
  return viewer::ErrorText().c_str();
}

void QuviVariantInit(QuviVariant* v) {
  if (v != nullptr) std::memset(v, 0, sizeof *v);
}

void QuviVariantClear(QuviVariant* v) {
  if (v == nullptr) return;
  switch (v->vt) {
    case QUVI_VT_STRING:
      std::free(v->u.str.data);
      break;
    case QUVI_VT_BYTES:
      std::free(v->u.bytes.data);
      break;
    case QUVI_VT_FONT:
      if (v->u.font != nullptr) std::free(v->u.font->name);
      std::free(v->u.font);
      break;
    default:
      break;
  }
  std::memset(v, 0, sizeof *v);
}

QUVI_HRESULT QuviVariantSetString(QuviVariant* v, const char* utf8) {
  if (v == nullptr) return viewer::Fail(QUVI_E_POINTER, "no variant");
  QuviVariantClear(v);
  const std::string text = utf8 ? utf8 : "";
  return viewer::ToHostVariant(plat::TVariant::FromString(text), v);
}

QUVI_HRESULT QuviVariantSetBytes(QuviVariant* v, const uint8_t* data, uint32_t count,
                                 int32_t lower_bound) {
  if (v == nullptr || (data == nullptr && count > 0)) {
    return viewer::Fail(QUVI_E_POINTER, "no variant or no data");
  }
  QuviVariantClear(v);
  plat::TByteArray bytes;
  bytes.LowerBound = lower_bound;
  if (count > 0) bytes.Data.assign(data, data + count);
  return viewer::ToHostVariant(plat::TVariant::FromBytes(std::move(bytes)), v);
}

QUVI_HRESULT QuviVariantSetFont(QuviVariant* v, const QuviFont* font) {
  if (v == nullptr || font == nullptr) return viewer::Fail(QUVI_E_POINTER, "no variant or font");
  QuviVariant in{};
  in.vt = QUVI_VT_FONT;
  in.u.font = const_cast<QuviFont*>(font);
  plat::TVariant value;
  viewer::FromHostVariant(in, &value);
  QuviVariantClear(v);
  return viewer::ToHostVariant(value, v);
}

}  // extern "C"
