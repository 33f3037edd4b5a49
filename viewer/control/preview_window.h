// The preview windows: the play window of a live view with the camera's PTZ and picture
// settings (TAbstractPreviewWindow, kept in the preview model), and this device family's
// window (TOstraNvPreviewWindow) that makes the family's model, steers the camera by pointing
// at the window's edges with the direction cursors, sends PTZ through the PTZ proxy thread
// when asked to, and hands the control surface's handlers to the model.
// Threads: made, used and destroyed on the host's user-interface thread; the status handler
// runs on the connection thread, the data and player-created handlers on the play and window
// threads as the model calls them. Each window owns its model (and through it the proxy thread).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>

#include "viewer/control/play_window.h"

namespace viewer {

// Messages of the family's window that nothing inside the control sends.
constexpr plat::UINT kPlayStoppedMessage = 0x0402;

class TAbstractPreviewWindow : public TAbstractPlayWindow {
 public:
  // ---- PTZ and picture settings of the preview model (0 / nothing without one) ----
  int32_t PTZCommandID();
  void SetPTZCommandID(int32_t value);
  int32_t PTZControlEnabled();
  void SetPTZControlEnabled(int32_t value);
  int32_t PTZPresetIndex();
  void SetPTZPresetIndex(int32_t value);
  int32_t PTZSpeed();
  void SetPTZSpeed(int32_t value);
  // 0..127; another value leaves the setting and makes the status 501 (kept while a view
  // runs); a change is sent to the camera while a view runs.
  int32_t Brightness();
  void SetBrightness(int32_t value);
  int32_t Contrast();
  void SetContrast(int32_t value);
  int32_t Saturation();
  void SetSaturation(int32_t value);
  int32_t Hue();
  void SetHue(int32_t value);
  // The model's PTZ dispatch (server, proxy or nothing by PTZConnectionType); 0 without a
  // preview model.
  int32_t SendPTZControlCommand();

  TAbstractPreviewModel* PreviewModel();

 protected:
  using TAbstractPlayWindow::TAbstractPlayWindow;
  // The picture settings the server reports (0x4CA) and the command status (0x4CB).
  intptr_t WndProc(plat::UINT message, plat::WPARAM wParam, plat::LPARAM lParam) override;
};

class TOstraNvPreviewWindow : public TAbstractPreviewWindow {
 public:
  using TStatusHandler = TAbstractPlayModel::TStatusListener;

  explicit TOstraNvPreviewWindow(plat::HWND parent);
  ~TOstraNvPreviewWindow() override;

  // A TOstraNvPreviewModel whose PTZ proxy commands go to a TSendPTZCommandThread.
  std::unique_ptr<TAbstractPlayModel> CreatePlayModel() override;
  // The play window's stop, then a repaint.
  void StopPlay() override;

  // Cursor PTZ control: pointing at the middle of an edge shows its direction cursor, a press
  // of the left button there starts the movement (PTZ with 1) and the release stops it (0).
  bool CursorCtrl() const { return cursor_ctrl_; }
  void SetCursorCtrl(bool value);
  // The direction (1..8) pressed last.
  int32_t CursorDirection() const { return cursor_direction_; }
  // Chooses the second PTZ command table for the cursor control.
  bool QuviMode() const { return quvi_mode_; }
  void SetQuviMode(bool value) { quvi_mode_ = value; }

  // ---- Handlers of the control surface, kept across every start ----
  // Each package that reaches the player (and the stream head); play thread.
  void SetOnReceiveData(TOstraNvPreviewPlayer::TReceiveDataHandler handler);
  // The new player of every start, right after the view's threads started; window thread.
  void SetOnPlayerCreated(TAbstractPreviewModel::TPlayerCreatedHandler handler);
  // Each connection status code the connection thread posts; connection thread.
  void SetStatusHandler(TStatusHandler handler);
  const TStatusHandler& StatusHandler() const { return status_handler_; }

 protected:
  intptr_t WndProc(plat::UINT message, plat::WPARAM wParam, plat::LPARAM lParam) override;
  void MouseMove(plat::TShiftState shift, int32_t x, int32_t y) override;
  void MouseDown(plat::TMouseButton button, plat::TShiftState shift, int32_t x, int32_t y) override;
  void MouseUp(plat::TMouseButton button, plat::TShiftState shift, int32_t x, int32_t y) override;
  void MouseLeave() override;

 private:
  // The command of the direction with the start (1) or stop (0) value; failures swallowed.
  void SendCursorPtz(int32_t direction, int32_t enabled);

  bool cursor_ctrl_ = false;
  int32_t cursor_direction_ = 0;
  bool quvi_mode_ = false;
  TStatusHandler status_handler_;
};

}  // namespace viewer
