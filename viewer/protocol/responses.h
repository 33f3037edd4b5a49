// Messages the stream server and the stream-media relay send: answers (length, code, three
// unread words, status, body) and packages of the live stream. The encoders serve the server
// simulator and tests; the head decoder serves the clients that read answers. Stateless.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace viewer {

struct TResponseHead {
  uint32_t Length = 0;
  uint32_t Code = 0;
  int32_t Status = 0;
};
// False when fewer than the answer head's 24 bytes are given.
bool DecodeResponseHead(const uint8_t* data, size_t size, TResponseHead& head);

// An answer with the given code and status and the body after the 24-byte head.
std::vector<uint8_t> EncodeResponse(uint32_t code, int32_t status, const uint8_t* body,
                                    size_t body_size);
// Login answer: the token field (cut or zero-padded to 128 bytes) and the user name after it;
// on a non-zero status only the head.
std::vector<uint8_t> EncodeLoginResponse(int32_t status, const std::string& token,
                                         const std::string& user_name);

struct TVideoParams {
  int32_t Brightness = 0;
  int32_t Contrast = 0;
  int32_t Saturation = 0;
  int32_t Hue = 0;
};
// Open-live answer, with the picture settings when given.
std::vector<uint8_t> EncodeOpenLiveResponse(int32_t status,
                                            const std::optional<TVideoParams>& params);
// Client identity answer: the client's address (dotted quad) on status 0, else only the head.
std::vector<uint8_t> EncodeClientIdentityResponse(int32_t status, const std::string& address);

// A play package carrying one stream head or media frame; words are the three uninterpreted
// words in front of the frame type.
std::vector<uint8_t> EncodePlayPackage(int32_t frame_type, const uint8_t* media, size_t size,
                                       const uint32_t (&words)[3] = {0, 0, 0});
// The server's package without media (keep-alive), with any payload.
std::vector<uint8_t> EncodeNoMediaPackage(const uint8_t* payload, size_t size);

}  // namespace viewer
