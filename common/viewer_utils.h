// Small helpers of the viewer control: time-stamp digits, capture and media file names,
// tick arithmetic, IPv4 address text, and the big-endian writers requests are built with.
// Stateless; any thread.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "common/date_time.h"
#include "common/memory_stream.h"

// "YYYYMMDD" and "hhnnss" of a date-time.
std::string DateDigits(TDateTime t);
std::string TimeDigits(TDateTime t);
// "<channel>-<kind>-YYYYMMDDhhnnss" of now.
std::string BuildMediaFileName(int channel, int kind);
// Capture folder (and file name when with_file_name): the folder given, or, when it is blank,
// "<data root>/DVRDat/YYYYMMDD/<channel+1>/<CC|AC|PB|RB>/".
std::string BuildCapturePath(int channel, int kind, const std::string& folder, bool with_file_name);
// Same, at a given time (what BuildCapturePath uses with Now()).
std::string BuildCapturePathAt(int channel, int kind, const std::string& folder,
                               bool with_file_name, TDateTime now);
// Milliseconds since a tick count, aware of the 32-bit counter wrapping.
int64_t ElapsedTicks(uint32_t start);
int64_t ElapsedTicksBetween(uint32_t start, uint32_t now);

std::string GetLocalIPAddress();
bool IsDottedQuad(const std::string& text);
// A dotted quad stays; a host name becomes its first IPv4 address. False when unresolvable.
bool ResolveHostAddress(std::string& text);
// First number in the highest byte; network byte order when the flag is set; 0 when invalid.
uint32_t DottedQuadToAddress(const std::string& text, bool network_order);
std::string AddressToDottedQuad(uint32_t address, bool swap);
uint32_t ReadUInt32(const uint8_t* p, bool from_network_order);

void WriteUInt16BE(TMemoryStream& s, uint16_t v);
void WriteUInt32BE(TMemoryStream& s, uint32_t v);
void WriteUInt64BE(TMemoryStream& s, uint64_t v);
// Exactly width bytes: the text's first bytes, zero-padded, no terminator when it fills.
void WriteFixedString(TMemoryStream& s, const std::string& text, size_t width);
// Writes command, 1 and the two addresses (0 unless with_addresses, or when not a dotted
// quad) at position 4, leaving the first 4 bytes for the length.
void WritePacketPrefix(TMemoryStream& s, uint32_t command, const std::string& first_address,
                       const std::string& second_address, bool with_addresses);
// Writes the total size big-endian over the first 4 bytes and returns all bytes.
std::vector<uint8_t> PatchLengthAndGetBytes(TMemoryStream& s);
