// The server's side of every request of the stream protocol: decodes a whole request with
// the viewer's own decoders, decides the answer (login, client identity, open live) or that
// none is due (logout, link mode, PTZ, PTZ with speed, video parameters), and describes the
// request, every field decoded, as one log line. Shared by all connection threads; the
// per-channel picture settings it keeps are guarded by their own lock.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "tools/streamsim/event_log.h"
#include "tools/streamsim/server_options.h"
#include "viewer/protocol/requests.h"

namespace streamsim {

// Who sent a request: the server's connection number and the peer's address.
struct TPeer {
  uint64_t Conn = 0;
  std::string Address;
  int Port = 0;
};

// Picture settings per channel: the configured ones until a video-parameter request sets a
// channel's own. Any thread.
class TVideoParamsStore {
 public:
  explicit TVideoParamsStore(std::optional<viewer::TVideoParams> defaults) : defaults_(defaults) {}
  std::optional<viewer::TVideoParams> Get(int32_t channel) const;
  void Set(int32_t channel, const viewer::TVideoParams& params);

 private:
  mutable std::mutex lock_;
  std::optional<viewer::TVideoParams> defaults_;
  std::map<int32_t, viewer::TVideoParams> channels_;
};

struct TRequestOutcome {
  enum class ENext { Continue, Stream, Close };
  ENext Next = ENext::Continue;
  std::vector<uint8_t> Answer;  // empty: nothing is sent back
  int32_t Channel = 0;          // the channel to stream when Next is Stream
  TLogLine Line{"request"};
};

class TRequestResponder {
 public:
  // Requests longer than this are not read (the longest known one has 166 bytes).
  static constexpr uint32_t kMaxRequestLength = 64 * 1024;

  TRequestResponder(const TAccountSettings& accounts, std::optional<int32_t> open_status,
                    TVideoParamsStore& video_params)
      : accounts_(accounts), open_status_(open_status), video_params_(video_params) {}

  // One whole request: size bytes whose length word says size. Never reads past them.
  TRequestOutcome Handle(const uint8_t* data, size_t size, const TPeer& peer);

 private:
  // Each gets the decoded request and its log line with the head fields already on it.
  TRequestOutcome Answer(const viewer::TLoginRequest& r, TLogLine line, const TPeer& peer);
  TRequestOutcome Answer(const viewer::TLogoutRequest& r, TLogLine line, const TPeer& peer);
  TRequestOutcome Answer(const viewer::TOpenLiveRequest& r, TLogLine line, const TPeer& peer);
  TRequestOutcome Answer(const viewer::TLinkModeRequest& r, TLogLine line, const TPeer& peer);
  TRequestOutcome Answer(const viewer::TPtzRequest& r, TLogLine line, const TPeer& peer);
  TRequestOutcome Answer(const viewer::TPtzSpeedRequest& r, TLogLine line, const TPeer& peer);
  TRequestOutcome Answer(const viewer::TVideoParamsRequest& r, TLogLine line, const TPeer& peer);
  TRequestOutcome Answer(const viewer::TClientIdentityRequest& r, TLogLine line, const TPeer& peer);
  // Decodes a request of kind R and answers it, or logs it as malformed (answering status
  // -3 where an answer is due).
  template <class R>
  TRequestOutcome Serve(const uint8_t* data, size_t size, const TPeer& peer);

  TAccountSettings accounts_;
  std::optional<int32_t> open_status_;
  TVideoParamsStore& video_params_;
};

// A request's log line: event, connection, peer, request name (known codes), length and code.
TLogLine RequestLine(const char* event, const TPeer& peer, uint32_t code, size_t size);
// Adds the request head's constant and addresses (dotted quads).
void AddRequestHead(TLogLine& line, const viewer::TRequestHead& head);

// Name of a request code in the log ("login", "open_live", ...); "" for an unknown code.
const char* RequestName(uint32_t code);

}  // namespace streamsim
