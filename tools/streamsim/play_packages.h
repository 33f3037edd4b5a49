// The packages a stream connection carries, built with the viewer's own package encoders:
// the stream head, one package per whole frame (frame head, payload, overlay records), the
// keep-alive, and the two malformed messages the fault options send. Stateless; any thread.
#pragma once

#include <cstdint>
#include <vector>

#include "tools/recmake/record_frame.h"

namespace streamsim {

// Package frame type of a record frame: 8 audio, 1 key video frame, 2 any other frame.
int32_t PlayFrameType(const recmake::TRecordFrame& frame);

std::vector<uint8_t> StreamHeadPackage(const std::vector<uint8_t>& head);
// The frame's bytes exactly as a record file holds them, head unchanged.
std::vector<uint8_t> FramePackage(const recmake::TRecordFrame& frame);
// 0xCAFE0001 without payload.
std::vector<uint8_t> KeepAlivePackage();

// 256 bytes from a fixed-seed generator, the same on every run, whose first words are no
// valid package head.
std::vector<uint8_t> GarbageBytes();
// A whole play package whose length word is 1 MiB + 1, one more than a client accepts.
std::vector<uint8_t> OversizePackage();

}  // namespace streamsim
