#include "tools/recmake/annexb.h"

#include <algorithm>

namespace recmake {

namespace {

int NalType(EVideoCodec codec, uint8_t header) {
  return codec == EVideoCodec::H264 ? (header & 0x1F) : ((header >> 1) & 0x3F);
}

bool IsDelimiter(EVideoCodec codec, int type) {
  return codec == EVideoCodec::H264 ? type == 9 : type == 35;
}

const uint8_t kStartCode[4] = {0, 0, 0, 1};

}  // namespace

std::vector<TNalUnit> SplitAnnexB(EVideoCodec codec, const uint8_t* data, size_t size) {
  std::vector<TNalUnit> units;
  // Offsets just after each start code.
  std::vector<std::pair<size_t, size_t>> marks;  // (start code begin, NAL begin)
  for (size_t i = 0; i + 2 < size;) {
    if (data[i] == 0 && data[i + 1] == 0 && data[i + 2] == 1) {
      size_t begin = (i > 0 && data[i - 1] == 0) ? i - 1 : i;
      marks.emplace_back(begin, i + 3);
      i += 3;
    } else {
      ++i;
    }
  }
  for (size_t m = 0; m < marks.size(); ++m) {
    size_t begin = marks[m].second;
    size_t end = m + 1 < marks.size() ? marks[m + 1].first : size;
    while (end > begin && data[end - 1] == 0) --end;
    if (end <= begin) continue;
    units.push_back({begin, end - begin, NalType(codec, data[begin])});
  }
  return units;
}

bool IsParameterSetNal(EVideoCodec codec, int type) {
  return codec == EVideoCodec::H264 ? (type == 7 || type == 8) : (type >= 32 && type <= 34);
}

bool IsRandomAccessNal(EVideoCodec codec, int type) {
  return codec == EVideoCodec::H264 ? type == 5 : (type >= 16 && type <= 23);
}

std::vector<int> TParameterSetKeeper::NeededTypes() const {
  if (codec_ == EVideoCodec::H264) return {7, 8};
  return {32, 33, 34};
}

bool TParameterSetKeeper::Complete() const {
  for (int type : NeededTypes()) {
    if (!sets_.count(type)) return false;
  }
  return true;
}

std::vector<uint8_t> TParameterSetKeeper::Process(std::vector<uint8_t> au, bool key) {
  std::vector<TNalUnit> units = SplitAnnexB(codec_, au.data(), au.size());
  std::vector<int> present;
  for (const TNalUnit& u : units) {
    if (IsParameterSetNal(codec_, u.Type)) {
      sets_[u.Type].assign(au.begin() + u.Offset, au.begin() + u.Offset + u.Size);
      present.push_back(u.Type);
    }
  }
  if (!key) return au;
  std::vector<uint8_t> missing;
  for (int type : NeededTypes()) {
    auto it = sets_.find(type);
    if (it == sets_.end() || std::count(present.begin(), present.end(), type) > 0) continue;
    missing.insert(missing.end(), kStartCode, kStartCode + 4);
    missing.insert(missing.end(), it->second.begin(), it->second.end());
  }
  if (missing.empty()) return au;
  size_t at = 0;
  if (!units.empty() && IsDelimiter(codec_, units[0].Type)) at = units[0].Offset + units[0].Size;
  au.insert(au.begin() + static_cast<std::ptrdiff_t>(at), missing.begin(), missing.end());
  return au;
}

}  // namespace recmake
