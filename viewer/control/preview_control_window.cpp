#include "viewer/control/preview_control_window.h"

#include <cmath>

namespace viewer {

TPreviewControlWindow::TPreviewControlWindow(plat::HWND parent, int32_t width, int32_t height)
    : window_(std::make_unique<TOstraNvPreviewWindow>(parent)) {
  window_->SetBounds(0, 0, width, height);
}

TPreviewControlWindow::~TPreviewControlWindow() = default;

void TPreviewControlWindow::SetOnClick(TNotify handler) {
  window_->OnClick = [handler = std::move(handler)](plat::TCustomPanel&) {
    if (handler) handler();
  };
}

void TPreviewControlWindow::SetOnDblClick(TNotify handler) {
  window_->OnDblClick = [handler = std::move(handler)](plat::TCustomPanel&) {
    if (handler) handler();
  };
}

void TPreviewControlWindow::SetOnConnected(TNotify handler) {
  window_->SetOnConnected([handler = std::move(handler)](TPipelineModel&) {
    if (handler) handler();
  });
}

void TPreviewControlWindow::SetOnDisConnected(TNotify handler) {
  window_->SetOnDisConnected([handler = std::move(handler)](TPipelineModel&) {
    if (handler) handler();
  });
}

void TPreviewControlWindow::SetDataHandler(TDataHandler handler) {
  window_->SetOnReceiveData(std::move(handler));
}

void TPreviewControlWindow::SetPlayerCreatedHandler(TPlayerCreatedHandler handler) {
  window_->SetOnPlayerCreated([handler = std::move(handler)](TAbstractPlayModel&, TPlayer& player) {
    if (handler) handler(player);
  });
}

void TPreviewControlWindow::SetStatusHandler(TStatusHandler handler) {
  window_->SetStatusHandler(std::move(handler));
}

void TPreviewControlWindow::SetOnVideoInfoChanged(TVideoInfoHandler handler) {
  window_->SetOnVideoInfoChanged(std::move(handler));
}

void TPreviewControlWindow::SetAlignment(int32_t v) {
  window_->SetAlignment(static_cast<plat::TAlignment>(v));
}

void TPreviewControlWindow::SetBorderStyle(int32_t v) {
  window_->SetBorderStyle(static_cast<plat::TBorderStyle>(v));
}

plat::TFontDesc TPreviewControlWindow::Font() {
  const plat::TFontSpec& font_spec = window_->Font();
  plat::TFontDesc desc;
  if (!font_spec.name.empty()) desc.Name = font_spec.name;
  desc.Size = font_spec.size;
  desc.Bold = font_spec.bold;
  desc.Weight = font_spec.bold ? 700 : 400;
  return desc;
}

void TPreviewControlWindow::SetFont(const plat::TFontDesc& v) {
  plat::TFontSpec font_spec = window_->Font();
  font_spec.name = v.Name;
  font_spec.size = static_cast<int32_t>(std::lround(v.Size));
  font_spec.bold = v.Bold || v.Weight >= 700;
  window_->SetFont(font_spec);
}

}  // namespace viewer
