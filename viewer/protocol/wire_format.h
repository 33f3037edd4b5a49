// Numbers of the stream server wire protocol: message codes, head sizes, field widths, limits
// and the offsets inside each message. Every encoder, decoder and reader takes them from here.
// Integers on the wire are big-endian.
#pragma once

#include <cstddef>
#include <cstdint>

namespace viewer::wire {

// Message codes; an answer carries its request's code with the top bit set.
constexpr uint32_t kResponseBit = 0x80000000u;
constexpr uint32_t kLoginRequest = 0x00010001u;
constexpr uint32_t kLogoutRequest = 0x00010003u;
constexpr uint32_t kOpenLiveRequest = 0x00050101u;
constexpr uint32_t kLinkModeRequest = 0x00050103u;
constexpr uint32_t kPtzRequest = 0x00090002u;
constexpr uint32_t kPtzSpeedRequest = 0x00090003u;
constexpr uint32_t kVideoParamsRequest = 0x000A0001u;
constexpr uint32_t kClientIdentityRequest = 0x01000001u;
constexpr uint32_t kLoginResponse = kLoginRequest | kResponseBit;
constexpr uint32_t kOpenLiveResponse = kOpenLiveRequest | kResponseBit;
constexpr uint32_t kPlayPackage = 0x80050102u;
constexpr uint32_t kClientIdentityResponse = kClientIdentityRequest | kResponseBit;
constexpr uint32_t kNoMediaPackage = 0xCAFE0001u;

// Every message: total length (counting itself) at 0, code at 4.
constexpr size_t kLengthOffset = 0;
constexpr size_t kCodeOffset = 4;
constexpr size_t kMessageHeadSize = 8;

// Request head: length, code, the constant 1, client address, target address.
constexpr uint32_t kRequestConstant = 1;
constexpr size_t kRequestConstantOffset = 8;
constexpr size_t kClientAddressOffset = 12;
constexpr size_t kTargetAddressOffset = 16;
constexpr size_t kRequestHeadSize = 20;

// Request body field widths.
constexpr size_t kTokenSize = 128;
constexpr size_t kLoginUserSize = 20;
constexpr size_t kPasswordSize = 40;
constexpr size_t kLoginReservedSize = 24;

// Response head: length, code, three unread words, signed status; the body follows.
constexpr size_t kResponseStatusOffset = 20;
constexpr size_t kResponseHeadSize = 24;
constexpr size_t kLoginTokenOffset = 24;                                 // kTokenSize raw bytes
constexpr size_t kLoginUserNameOffset = kLoginTokenOffset + kTokenSize;  // to the end
constexpr size_t kVideoParamsOffset = 24;  // brightness, contrast, saturation, hue
constexpr size_t kClientAddressAnswerOffset = 24;

// Packages the receive path reads: accepted total lengths.
constexpr int32_t kMinPackLength = 8;
constexpr int32_t kMaxPackLength = 0x100000;

// Play package: after the 8-byte message head comes the package's Data, which starts with
// three uninterpreted words, the frame type and the frame length; the media bytes follow.
constexpr size_t kPlayWordsOffset = 0;       // in Data
constexpr size_t kFrameTypeOffset = 12;      // in Data
constexpr size_t kFrameLengthOffset = 16;    // in Data
constexpr size_t kPlayPackageHeadSize = 20;  // media offset in Data
constexpr int32_t kMinPlayPackLength =
    static_cast<int32_t>(kMessageHeadSize + kPlayPackageHeadSize);

// Frame types of play packages.
constexpr int32_t kFrameStreamHead = 0x80;
constexpr int32_t kFrameVideo = 1;
constexpr int32_t kFrameAudio = 8;

}  // namespace viewer::wire
