// The device adapter: the play model's way to the server's account functions (log in, log out,
// the client's identity as the relay sees it) over the model's command connection, and thin
// calls into the player API for sound, volume, smoothness, window and snapshot.
// TAbstractAdapter fixes the operations in the family's slot order; TOstraNvAdapter implements
// them for this device family. Called on the window thread only. No operation raises: the
// exchanges leave a reason in the thread's last-error value (platform/last_error.h, codes in
// adapter_answers.h) and report false or an empty text. The adapter owns nothing; the model
// owns it and the command connection.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/messages.h"

namespace viewer {

class TAdapterModel;

class TAbstractAdapter {
 public:
  virtual ~TAbstractAdapter() = default;

  // The client's address as the stream-media relay sees it; empty when the query failed.
  virtual void GetClientNetID(std::string& result) = 0;
  virtual bool Login() = 0;
  virtual bool Logout() = 0;
  // A snapshot of the playing view into a file named after the channel and the time.
  virtual bool CaptureBMP() = 0;
  // A snapshot into file_name; an empty name is replaced by the built one, which the caller
  // gets back.
  virtual bool CaptureBMPToFile(std::string& file_name) = 0;
  virtual void Unused5() = 0;
  virtual void Unused6() {}
  virtual bool OpenSound(int32_t port) = 0;
  virtual bool StopSound(int32_t port) = 0;
  virtual int32_t GetVolume(int32_t port) = 0;
  virtual bool SetVolume(int32_t port, uint16_t volume) = 0;
  virtual bool ThrowBFrame(int32_t port, int32_t level) = 0;
  // Moves the port's picture to another window.
  virtual bool PlayInWindow(int32_t port, plat::HWND window) = 0;
  virtual int32_t Reserved13() { return 0; }
  virtual int32_t Reserved14() { return 0; }
  virtual int32_t Reserved15() { return 0; }
};

class TOstraNvAdapter : public TAbstractAdapter {
 public:
  explicit TOstraNvAdapter(TAdapterModel& model) : Model(&model) {}

  void GetClientNetID(std::string& result) override;
  bool Login() override;
  bool Logout() override;
  bool CaptureBMP() override;
  bool CaptureBMPToFile(std::string& file_name) override;
  void Unused5() override {}
  bool OpenSound(int32_t port) override;
  bool StopSound(int32_t port) override;
  int32_t GetVolume(int32_t port) override;
  bool SetVolume(int32_t port, uint16_t volume) override;
  bool ThrowBFrame(int32_t port, int32_t level) override;
  bool PlayInWindow(int32_t port, plat::HWND window) override;

  TAdapterModel* const Model;  // the owning play model; not owned

 private:
  // Closes the command connection if it is connected; errors are ignored.
  void DropCommandConnection();
  // Configures the command connection from the model and connects it; whether the connect
  // succeeded shows in the send that follows.
  void ConnectCommandConnection();
  // Sends the request in one piece and reads the answer; 0 or the last-error code.
  uint32_t Exchange(const std::vector<uint8_t>& request, std::vector<uint8_t>& answer);
};

}  // namespace viewer
