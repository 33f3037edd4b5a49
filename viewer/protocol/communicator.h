// The protocol object of one live view on the stream connection. TCommunicator fixes the
// operations (their order is the family's fixed slot order); TOstraNvCommunicator adds the
// handshake, the package checks and the receive statistics every connection of the device
// family shares. The connection thread owns a communicator and calls everything on its own
// thread; the window thread only reads the statistics (StartTime, PackageCount, GetBitrate,
// GetFrameRate), which are atomics for that reason. A communicator owns nothing it points to.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "common/date_time.h"
#include "platform/messages.h"

namespace viewer {

class TAbstractPackage;
class TKvIPObject;
class TProtectedSection;

// Posted to the notification window with the server's picture settings:
// wParam = brightness * 256 + contrast, lParam = saturation * 256 + hue.
constexpr plat::UINT kVideoParamsMessage = 0x04CA;
// Posted instead when the settings could not be decoded; wParam says why, lParam is 0.
constexpr plat::UINT kVideoParamsFailedMessage = 0x04CB;
constexpr plat::WPARAM kVideoParamsReadError = 502;    // the answer holds too few bytes
constexpr plat::WPARAM kVideoParamsOtherError = 9999;  // anything else went wrong

class TCommunicator {
 public:
  TCommunicator();
  virtual ~TCommunicator() = default;
  TCommunicator(const TCommunicator&) = delete;
  TCommunicator& operator=(const TCommunicator&) = delete;

  // Builds and sends the open request for this view.
  virtual void SendOpenCommand() = 0;
  // Raises unless code is the answer the open request expects.
  virtual void CheckConnectResponse(uint32_t code) = 0;
  // Raise unless the current Package is a play package (the first one of a connection, and
  // every later one, with their own exception classes).
  virtual void CheckFileHead() = 0;
  virtual void CheckFramePackage() = 0;
  // Picture settings of the open answer: four words at payload[offset..]. Families without
  // picture settings ignore them.
  virtual void ParseVideoParams(const uint8_t* payload, size_t size, size_t offset);
  // Bytes and packages per whole second of the current statistics period; 0 in its first
  // second.
  virtual float GetBitrate() = 0;
  virtual float GetFrameRate() = 0;
  // CheckFileHead on the first package after HeadChecked was cleared, CheckFramePackage after.
  virtual void CheckPackage() = 0;
  // The whole open handshake on the connected Client; returns when the server accepted the
  // view, raises a member of the exception family otherwise.
  virtual void GetPlayRight() = 0;
  // Reads the next package from Client; the caller owns it, Package points at it.
  virtual std::unique_ptr<TAbstractPackage> ReadPackage() = 0;
  // Counts the current Package into the statistics.
  virtual void UpdateStatics() = 0;
  // Zeroes the counters and starts a new statistics period now.
  virtual void ResetStatics();
  // Whether a package of this code goes on to the play queue.
  virtual bool IsMediaPackage(uint32_t code);
  // Where a replay continues after a reconnection.
  virtual void SetCurrentPlayTime(int32_t first, int32_t second) = 0;

  // Set by the play model before the connection thread starts; none of them owned.
  plat::HWND WindowHandle = 0;                    // notification window (0: post nothing)
  TProtectedSection* ProtectedSection = nullptr;  // its lock serialises the open request
  TKvIPObject* Client = nullptr;                  // the connection thread's stream connection
  uint8_t ConnectionType = 0;                     // 1: through the stream-media relay
  std::string ServerAddress;                      // the recorder's address, a dotted quad
  std::string ClientNetID;                        // the client's identity, a dotted quad
  std::string Token;                              // raw token bytes of the login answer
  int32_t ChannelNo = 0;
  std::string LoginUser;  // carried for other families; the preview requests send neither
  std::string Password;
  bool WriteSysLog = false;  // carried; the diagnostic log is written regardless

  // The package most recently read; it belongs to whoever ReadPackage returned it to and is
  // valid only while that owner keeps it.
  TAbstractPackage* Package = nullptr;
  // Cleared by the connection thread at each disconnect so the next connection's first
  // package is tested as the head again.
  bool HeadChecked = false;

  // Statistics of the current period. TotalBytes is 64-bit so an hour-long view at a few
  // megabits per second does not wrap it.
  std::atomic<TDateTime> StartTime{0};
  std::atomic<int64_t> TotalBytes{0};
  std::atomic<int32_t> PackageCount{0};

  // Time source of the statistics; tests replace it to step through a period.
  TDateTime (*Clock)() = &Now;

 protected:
  // Client, or EViewerException "no stream connection" when none was given.
  TKvIPObject& StreamConnection() const;
  // Runs action holding the ProtectedSection lock (without a section, just runs it).
  void WithSectionLock(const std::function<void()>& action);
};

// What every connection of the device family shares: the handshake and its status table,
// the package checks, the statistics, and dropping the server's packages without media.
class TOstraNvCommunicator : public TCommunicator {
 public:
  float GetBitrate() override;
  float GetFrameRate() override;
  void CheckPackage() override;
  void GetPlayRight() override;
  void UpdateStatics() override;
  bool IsMediaPackage(uint32_t code) override;

 private:
  // amount per whole second elapsed since StartTime; 0 before the first whole second.
  float PerSecond(int64_t amount) const;
};

}  // namespace viewer
