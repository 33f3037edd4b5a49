// Finds the first H.264 sequence parameter set in a frame's payload, for the channel's
// size probe. Pure function over caller-owned bytes; any thread.
#pragma once

#include <cstddef>
#include <cstdint>

namespace zrplay {

// Offset of the NAL header byte of the first sequence parameter set (NAL type 7), or -1.
// Zero bytes are counted, any byte other than 0 and 1 resets the count, and a 1 met after
// more than two zeros is a start code whose next byte is a NAL header; a header of another
// type resets the count and the scan goes on behind it. Never reads outside the bytes.
int64_t FindH264SequenceParameterSet(const uint8_t* bytes, size_t size);

}  // namespace zrplay
