#include "viewer/control/preview_window.h"

#include "viewer/control/ptz_cursor.h"
#include "viewer/control/send_ptz_command_thread.h"
#include "viewer/pipeline/connection_thread.h"
#include "viewer/protocol/communicator.h"
#include "viewer/viewer_log.h"

namespace viewer {

// ---- TAbstractPreviewWindow ----

TAbstractPreviewModel* TAbstractPreviewWindow::PreviewModel() {
  return dynamic_cast<TAbstractPreviewModel*>(PlayModel());
}

#define VIEWER_PREVIEW_PROPERTY(Name)                                           \
  int32_t TAbstractPreviewWindow::Name() {                                      \
    TAbstractPreviewModel* model = PreviewModel();                              \
    return model ? model->Name() : 0;                                           \
  }                                                                             \
  void TAbstractPreviewWindow::Set##Name(int32_t value) {                       \
    if (TAbstractPreviewModel* model = PreviewModel()) model->Set##Name(value); \
  }
VIEWER_PREVIEW_PROPERTY(PTZCommandID)
VIEWER_PREVIEW_PROPERTY(PTZControlEnabled)
VIEWER_PREVIEW_PROPERTY(PTZPresetIndex)
VIEWER_PREVIEW_PROPERTY(PTZSpeed)
VIEWER_PREVIEW_PROPERTY(Brightness)
VIEWER_PREVIEW_PROPERTY(Contrast)
VIEWER_PREVIEW_PROPERTY(Saturation)
VIEWER_PREVIEW_PROPERTY(Hue)
#undef VIEWER_PREVIEW_PROPERTY

int32_t TAbstractPreviewWindow::SendPTZControlCommand() {
  TAbstractPreviewModel* model = PreviewModel();
  return model ? model->SendPTZControlCommand() : 0;
}

intptr_t TAbstractPreviewWindow::WndProc(plat::UINT message, plat::WPARAM wParam,
                                         plat::LPARAM lParam) {
  switch (message) {
    case kVideoParamsMessage:
      try {
        if (TAbstractPreviewModel* model = PreviewModel()) {
          const auto params = static_cast<uint32_t>(lParam);
          model->StoreVideoParams((wParam >> 8) & 0xFF, wParam & 0xFF, (params >> 8) & 0xFF,
                                  params & 0xFF);
        }
      } catch (...) {
        // Only stored; nothing to report.
      }
      return 0;
    case kVideoParamsFailedMessage:
      PlayModel()->SetStatus(static_cast<int32_t>(wParam));
      return 0;
    default:
      return TAbstractPlayWindow::WndProc(message, wParam, lParam);
  }
}

// ---- TOstraNvPreviewWindow ----

TOstraNvPreviewWindow::TOstraNvPreviewWindow(plat::HWND parent) : TAbstractPreviewWindow(parent) {
  InitPlayModel();
  RegisterDirectionCursors();
}

TOstraNvPreviewWindow::~TOstraNvPreviewWindow() = default;

std::unique_ptr<TAbstractPlayModel> TOstraNvPreviewWindow::CreatePlayModel() {
  auto model = std::make_unique<TOstraNvPreviewModel>();
  model->SetPtzProxyFactory([](const TPtzProxyTarget& target) -> std::unique_ptr<TPtzProxyLink> {
    auto thread = std::make_unique<TSendPTZCommandThread>(target);
    if (!thread->Start()) return nullptr;
    return thread;
  });
  return model;
}

void TOstraNvPreviewWindow::StopPlay() {
  TAbstractPreviewWindow::StopPlay();
  Repaint();
}

void TOstraNvPreviewWindow::SetCursorCtrl(bool value) {
  cursor_ctrl_ = value;
  WriteLog("set can ctrl by cursor to " + std::to_string(value ? 1 : 0));
}

void TOstraNvPreviewWindow::SetOnReceiveData(TOstraNvPreviewPlayer::TReceiveDataHandler handler) {
  if (TAbstractPreviewModel* model = PreviewModel()) model->OnReceiveData = std::move(handler);
}

void TOstraNvPreviewWindow::SetOnPlayerCreated(
    TAbstractPreviewModel::TPlayerCreatedHandler handler) {
  if (TAbstractPreviewModel* model = PreviewModel()) model->OnPlayerCreated = std::move(handler);
}

void TOstraNvPreviewWindow::SetStatusHandler(TStatusHandler handler) {
  status_handler_ = handler;
  PlayModel()->OnStatus = std::move(handler);
}

intptr_t TOstraNvPreviewWindow::WndProc(plat::UINT message, plat::WPARAM wParam,
                                        plat::LPARAM lParam) {
  switch (message) {
    case kPlayStoppedMessage:
      WriteLog("recv play stop msg");
      StopPlay();
      return 0;
    case kConnectAttemptFailedMessage:
      return 0;
    default:
      return TAbstractPreviewWindow::WndProc(message, wParam, lParam);
  }
}

void TOstraNvPreviewWindow::MouseMove(plat::TShiftState shift, int32_t x, int32_t y) {
  // Points on or beyond the right and bottom edges are outside the client area.
  if (cursor_ctrl_ && (shift & (plat::ssLeft | plat::ssRight)) == 0 && x >= 0 && y >= 0 &&
      x < Width() && y < Height()) {
    plat::SetScreenCursor(DirectionCursorAt(Width(), Height(), x, y));
  }
  TAbstractPreviewWindow::MouseMove(shift, x, y);
}

void TOstraNvPreviewWindow::MouseDown(plat::TMouseButton button, plat::TShiftState shift, int32_t x,
                                      int32_t y) {
  const plat::TCursor cursor = plat::GetScreenCursor();
  if (cursor_ctrl_ && button == plat::mbLeft && cursor > 0) {
    plat::SetScreenCursor(cursor + 1);
    cursor_direction_ = DirectionOfCursor(cursor + 1);
    SendCursorPtz(cursor_direction_, 1);
  }
  TAbstractPreviewWindow::MouseDown(button, shift, x, y);
}

void TOstraNvPreviewWindow::MouseUp(plat::TMouseButton button, plat::TShiftState shift, int32_t x,
                                    int32_t y) {
  if (cursor_ctrl_ && plat::GetScreenCursor() > 0) SendCursorPtz(cursor_direction_, 0);
  TAbstractPreviewWindow::MouseUp(button, shift, x, y);
}

void TOstraNvPreviewWindow::MouseLeave() {
  plat::SetScreenCursor(plat::crDefault);
  TAbstractPreviewWindow::MouseLeave();
}

void TOstraNvPreviewWindow::SendCursorPtz(int32_t direction, int32_t enabled) {
  try {
    TAbstractPreviewModel* model = PreviewModel();
    if (model == nullptr) return;
    model->SetPTZCommandID(PtzCommandOfDirection(direction, quvi_mode_));
    model->SetPTZControlEnabled(enabled);
    model->SendPTZControlCommand();
  } catch (...) {
    // Steering by cursor reports nothing; the model's status tells the server path's result.
  }
}

}  // namespace viewer
