#include "player/channel/overlay_text.h"

#include <iconv.h>

#include <cerrno>
#include <cstring>

namespace zrplay {

namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";

// A converter keeps state between calls and is not shared: one per conversion. (Not one per
// thread: a thread-local object with a destructor, made on a caller's thread, would keep the
// library from unloading until that thread ends.)
class TGb18030Converter {
 public:
  TGb18030Converter() : cd_(iconv_open("UTF-8", "GB18030")) {}
  ~TGb18030Converter() {
    if (Valid()) iconv_close(cd_);
  }
  TGb18030Converter(const TGb18030Converter&) = delete;
  TGb18030Converter& operator=(const TGb18030Converter&) = delete;

  bool Valid() const { return cd_ != reinterpret_cast<iconv_t>(-1); }

  std::string Convert(std::string_view text) {
    std::string out;
    if (!Valid()) {
      for (size_t i = 0; i < text.size(); ++i) {
        out += static_cast<unsigned char>(text[i]) < 0x80 ? std::string(1, text[i])
                                                          : std::string(kReplacement);
      }
      return out;
    }
    iconv(cd_, nullptr, nullptr, nullptr, nullptr);
    char* in = const_cast<char*>(text.data());
    size_t in_left = text.size();
    // Four UTF-8 bytes at most for each input byte, and room for replacements.
    std::string buffer(text.size() * 4 + 4, '\0');
    while (in_left > 0) {
      char* dst = buffer.data();
      size_t dst_left = buffer.size();
      const size_t r = iconv(cd_, &in, &in_left, &dst, &dst_left);
      out.append(buffer.data(), static_cast<size_t>(dst - buffer.data()));
      if (r != static_cast<size_t>(-1)) break;
      if (errno == E2BIG) continue;
      // EILSEQ: a byte that starts no sequence; EINVAL: a sequence cut off at the end.
      out += kReplacement;
      ++in;
      --in_left;
      iconv(cd_, nullptr, nullptr, nullptr, nullptr);
    }
    return out;
  }

 private:
  iconv_t cd_;
};

}  // namespace

bool IsValidUtf8(std::string_view text) {
  size_t i = 0;
  while (i < text.size()) {
    const auto b = static_cast<unsigned char>(text[i]);
    size_t length = 0;
    uint32_t code = 0;
    if (b < 0x80) {
      ++i;
      continue;
    } else if (b >= 0xC2 && b <= 0xDF) {
      length = 2;
      code = b & 0x1F;
    } else if (b >= 0xE0 && b <= 0xEF) {
      length = 3;
      code = b & 0x0F;
    } else if (b >= 0xF0 && b <= 0xF4) {
      length = 4;
      code = b & 0x07;
    } else {
      return false;
    }
    if (i + length > text.size()) return false;
    for (size_t k = 1; k < length; ++k) {
      const auto c = static_cast<unsigned char>(text[i + k]);
      if ((c & 0xC0) != 0x80) return false;
      code = (code << 6) | (c & 0x3F);
    }
    // Overlong forms, surrogates and code points past U+10FFFF are not UTF-8.
    if ((length == 3 && code < 0x800) || (length == 4 && (code < 0x10000 || code > 0x10FFFF)) ||
        (code >= 0xD800 && code <= 0xDFFF)) {
      return false;
    }
    i += length;
  }
  return true;
}

std::string Gb18030ToUtf8(std::string_view text) {
  TGb18030Converter converter;
  return converter.Convert(text);
}

std::string OverlayRecordText(const TOverlayRecord& record, uint8_t encoding) {
  const void* nul = std::memchr(record.Text, 0, kOverlayTextSize);
  const size_t length = nul != nullptr
                            ? static_cast<size_t>(static_cast<const char*>(nul) - record.Text)
                            : kOverlayTextSize;
  const std::string_view text(record.Text, length);
  if (encoding == kOverlayEncodingUtf8 || IsValidUtf8(text)) return std::string(text);
  return Gb18030ToUtf8(text);
}

std::vector<std::string> SplitSceneText(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  for (;;) {
    const size_t at = text.find('\\', start);
    lines.push_back(text.substr(start, at == std::string::npos ? std::string::npos : at - start));
    if (at == std::string::npos) break;
    start = at + 1;
  }
  // A break at the very end starts no line of its own, and an empty text has no lines.
  if (lines.back().empty()) lines.pop_back();
  return lines;
}

}  // namespace zrplay
