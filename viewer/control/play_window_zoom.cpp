// Digital zoom of the play window: the player shows a part of the decoded picture, chosen by a
// mouse drag in zoom mode, by the host's rectangle, or by steps around a point.
#include <string>

#include "viewer/control/digital_zoom.h"
#include "viewer/control/play_window.h"
#include "viewer/player/player_binding.h"
#include "viewer/viewer_log.h"

namespace viewer {

namespace {

std::string RectText(const plat::RECT& r) {
  return "((" + std::to_string(r.left) + "," + std::to_string(r.top) + "),(" +
         std::to_string(r.right) + "," + std::to_string(r.bottom) + "))";
}

// The region as the player API takes it.
ZR_RECT ToPlayerRect(const plat::RECT& r) {
  return ZR_RECT{r.left, r.top, r.right, r.bottom};
}

}  // namespace

void TAbstractPlayWindow::SetDigitalZoomMode(bool value) {
  digital_zoom_mode_ = value;
  Log("set digital zoom mode to " + std::to_string(value ? 1 : 0));
  if (value) {
    SetCursor(plat::crCross);
  } else {
    SetCursor(plat::crDefault);
    UnZoom();
  }
}

void TAbstractPlayWindow::MouseDown(plat::TMouseButton button, plat::TShiftState shift, int32_t x,
                                    int32_t y) {
  if (digital_zoom_mode_ && button == plat::mbLeft) {
    drag_rect_ = plat::RECT{x, y, x, y};
    Log("do zoom, port = " + std::to_string(play_model_->PlayerPort()) + ", capture point(" +
        std::to_string(x) + "," + std::to_string(y) + ")");
  }
  plat::TCustomPanel::MouseDown(button, shift, x, y);
}

void TAbstractPlayWindow::MouseUp(plat::TMouseButton button, plat::TShiftState shift, int32_t x,
                                  int32_t y) {
  if (digital_zoom_mode_ && button == plat::mbLeft) {
    drag_rect_.right = x;
    drag_rect_.bottom = y;
    if (x < drag_rect_.left || y < drag_rect_.top) {
      UnZoom();
    } else {
      Zoom(drag_rect_.left, drag_rect_.top, drag_rect_.right, drag_rect_.bottom);
    }
  }
  plat::TCustomPanel::MouseUp(button, shift, x, y);
}

bool TAbstractPlayWindow::EnsurePictureSize() {
  if (picture_width_ != 0 && picture_height_ != 0) return true;
  // A port the player fetched for itself is where the picture is.
  const int32_t port = play_model_->PlayerPort();
  int32_t width = 0, height = 0;
  if (proxy::Zr_Play_GetPictureSize(port, &width, &height) == 0 || width <= 0 || height <= 0) {
    Log("do zoom failed, get pic size failed, port = " + std::to_string(port));
    return false;
  }
  picture_width_ = width;
  picture_height_ = height;
  zoom_rect_ = plat::RECT{0, 0, width, height};
  return true;
}

void TAbstractPlayWindow::ApplyZoomRegion() {
  zoom_window_ = PlayWnd();
  const ZR_RECT rect = ToPlayerRect(zoom_rect_);
  proxy::Zr_Play_SetDisplayRegion(play_model_->PlayerPort(), 0, &rect, zoom_window_, 1);
  zoom_active_ = true;
  SetCursor(plat::crHandPoint);
}

void TAbstractPlayWindow::Zoom(int32_t left, int32_t top, int32_t right, int32_t bottom) {
  if (!EnsurePictureSize()) return;
  const auto region =
      RefineZoomRegion(zoom_rect_, Width(), Height(), plat::RECT{left, top, right, bottom});
  if (!region) return;
  zoom_rect_ = *region;
  ApplyZoomRegion();
  Log("do zoom, port = " + std::to_string(play_model_->PlayerPort()) + ", wnd=0x" +
      Hex8(static_cast<uint32_t>(zoom_window_)) + ", rect=" + RectText(zoom_rect_));
}

void TAbstractPlayWindow::ZoomByPoint(int32_t x, int32_t y, int32_t flag) {
  if (!EnsurePictureSize()) return;
  const auto region = StepZoomRegion(zoom_rect_, picture_width_, picture_height_, Width(), Height(),
                                     x, y, flag != 0);
  if (!region) return;
  zoom_rect_ = *region;
  ApplyZoomRegion();
  Log("do zoom by point, port = " + std::to_string(play_model_->PlayerPort()) + ", wnd=0x" +
      Hex8(static_cast<uint32_t>(zoom_window_)) + ", zoom in flag=" + std::to_string(flag) +
      ", x=" + std::to_string(x) + ", y=" + std::to_string(y) + ", " +
      std::to_string(zoom_rect_.right - zoom_rect_.left) + " x " +
      std::to_string(zoom_rect_.bottom - zoom_rect_.top) + ", rect=" + RectText(zoom_rect_));
}

void TAbstractPlayWindow::UnZoom() {
  Log("close zoom mode-->");
  if (!zoom_active_) return;
  zoom_active_ = false;
  const ZR_RECT rect = ToPlayerRect(zoom_rect_);
  proxy::Zr_Play_SetDisplayRegion(play_model_->PlayerPort(), 0, &rect, zoom_window_, 0);
  // The next zoom reads the picture size again and starts from the whole picture.
  picture_width_ = 0;
  picture_height_ = 0;
  zoom_rect_.left = 0;
  zoom_rect_.right = 0;
  Log("close zoom mode");
  SetCursor(plat::crDefault);
}

}  // namespace viewer
