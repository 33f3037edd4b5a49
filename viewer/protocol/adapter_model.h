// TAdapterModel: what the device adapter reads and writes of the play model that owns it, and
// the model's command connection. The play model implements it (members named as in
// TPipelineModel have the same signatures there, so one override serves both); tests use small
// models of their own. Called on the window thread only.
#pragma once

#include <cstdint>
#include <string>

#include "platform/messages.h"

namespace viewer {

class TKvTCPClientObj;

// The kind of view a model plays.
enum TPlayType : int32_t { ptPreview = 0, ptReplay = 1 };

// Where requests go: straight to the recorder's stream server or through the stream-media
// relay (which also fills the request addresses).
constexpr uint8_t ctDirect = 0;
constexpr uint8_t ctByStreamMedia = 1;

class TAdapterModel {
 public:
  virtual ~TAdapterModel() = default;

  // Where the command connection goes and how long it waits.
  virtual std::string HostIP() = 0;  // may be a host name
  virtual int32_t HostPort() = 0;
  virtual std::string StreamMediaIP() = 0;  // may be a host name
  virtual int32_t StreamMediaPort() = 0;
  virtual std::string StreamMediaID() = 0;
  virtual uint8_t ConnectionType() = 0;
  virtual int32_t ConnectTimeout() = 0;
  virtual int32_t ReadTimeout() = 0;
  // The model's own command connection, owned by the model for its whole life.
  virtual TKvTCPClientObj& CommandConnection() = 0;

  // Account state: what the login sends and what its answer leaves. Token is the raw 128 bytes
  // of the login answer, zero bytes included.
  virtual std::string ClientNetID() = 0;
  virtual void SetClientNetID(const std::string& value) = 0;
  virtual std::string LoginUser() = 0;
  virtual std::string Password() = 0;
  virtual std::string Token() = 0;
  virtual void SetToken(const std::string& value) = 0;
  virtual std::string UserName() = 0;
  virtual void SetUserName(const std::string& value) = 0;
  virtual bool LoggedIn() = 0;
  virtual void SetLoggedIn(bool value) = 0;

  // The view the player operations act on.
  virtual int32_t PortNo() = 0;
  virtual int32_t ChannelNo() = 0;
  virtual TPlayType PlayType() = 0;
  virtual std::string CaptureBMPPath() = 0;
  virtual plat::HWND PlayWnd() = 0;
  virtual void SetPlayWnd(plat::HWND window) = 0;
  virtual bool AudioPlaying() = 0;
  // True while the view plays (the model's IsPlaying).
  virtual bool Playing() = 0;
  // The model's own sound opening (sets AudioPlaying, opens the port's sound while playing).
  virtual bool OpenSound() = 0;
};

// Points the model's command connection where the model's connection type says (the resolved
// HostIP and HostPort directly, the resolved StreamMediaIP and StreamMediaPort through the
// relay) with the model's time-outs. A name that cannot be resolved is kept as it is, so the
// connect fails. Requests that share the command connection configure it with this.
void ConfigureCommandConnection(TAdapterModel& model);

}  // namespace viewer
