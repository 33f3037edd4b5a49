// Everything a simulated stream server is set up with: where it listens, what each channel
// streams, how it paces, what its accounts answer and which faults it injects. Plain data,
// filled by the command line or by a test, read-only once the server runs.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>

#include "tools/recmake/audio_codecs.h"
#include "viewer/protocol/responses.h"

namespace streamsim {

// Where one channel's stream comes from: a record file, looped, or the test-pattern
// generator.
struct TSourceSpec {
  enum class EKind { Generator, File };
  EKind Kind = EKind::Generator;
  std::string Path;  // record file
};

// The generated stream (test pattern with clock and frame counter, tone).
struct TGeneratorSettings {
  int Width = 704;
  int Height = 576;
  int Fps = 25;
  int Gop = 0;                                                              // 0: one second
  int BitrateKbit = 0;                                                      // 0: constant quality
  std::optional<recmake::EAudioCodec> Audio = recmake::EAudioCodec::G711U;  // nullopt: none
};

// What login, client identity and open live answer.
struct TAccountSettings {
  std::string User = "admin";
  std::string Password = "admin";
  std::string Token = "streamsim-token";  // cut or zero-padded to 128 bytes on the wire
  std::optional<std::string> UserName;    // sent after the token; default: User
  std::optional<int32_t> LoginStatus;     // every login answered with this status
  int32_t RefuseStatus = -1;              // wrong user or password
  bool RequireToken = false;              // open live with another token: status -2
  std::string ClientAddress;              // answered to identity queries; "": the peer's
  int32_t IdentityStatus = 0;
};

// Faults injected into every stream connection. Package counts include the stream head and
// leave keep-alives out; -1 turns a fault off.
struct TFaultSettings {
  std::optional<int32_t> OpenStatus;  // open live answered with this status, no stream
  int64_t CloseAfter = -1;            // close the connection after N packages
  int64_t StallAfter = -1;            // after N packages send nothing more, stay connected
  int64_t MediaStallAfter = -1;       // after N packages send only keep-alives
  int64_t GarbageAfter = -1;          // after N packages send garbage bytes once
  int64_t OversizeAfter = -1;         // after N packages send one package over 1 MiB
  int64_t CutAfter = -1;              // after N packages send half of the next, then stall
  int32_t TrickleBytesPerSecond = 0;  // every byte sent on its own at this rate; 0: off
  bool AudioOnly = false;             // leave every video frame out
  bool NoStreamHead = false;          // start with the first frame
};

struct TServerOptions {
  std::string BindAddress = "127.0.0.1";
  int Port = 0;                     // 0: the system picks one
  std::optional<int> PtzProxyPort;  // PTZ proxy listener (0: the system picks one)

  TSourceSpec DefaultSource;                // channels not listed in Channels
  std::map<int32_t, TSourceSpec> Channels;  // by ChannelNo (low 16 bits as sent)
  TGeneratorSettings Generator;
  bool RealTime = true;    // pace by capture times; otherwise as fast as the client reads
  bool Loop = true;        // start a record file again at its end; otherwise close
  int KeepAliveMs = 1000;  // 0xCAFE0001 packages on stream connections; 0: none

  TAccountSettings Accounts;
  // Picture settings in the open-live answer until a video-parameter request changes a
  // channel's; nullopt: answers carry none.
  std::optional<viewer::TVideoParams> VideoParams = viewer::TVideoParams{70, 75, 85, 127};
  TFaultSettings Faults;
};

}  // namespace streamsim
