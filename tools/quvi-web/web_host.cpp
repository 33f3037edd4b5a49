#include "tools/quvi-web/web_host.h"

#include "tools/quvi-web/picture_encoder.h"

namespace quvi_web {

TWebHost::TWebHost(const TServerConfig& server, const THostSettings& settings)
    : settings_(settings), pictures_(std::make_unique<TPictureFeed>()) {
  ui_ = std::make_unique<TUiThread>([this] {
    const double now = NowMs();
    for (auto& [page, handler] : pages_) handler->Flush(now);
  });
  server_ = std::make_unique<TWebServer>(server, *this);
}

TWebHost::~TWebHost() {
  // The network stops first; then the controls go on their own thread (and with them every
  // picture source, so no picture wakes a socket any more); then the sockets.
  server_->Stop();
  ui_->Run([this] { pages_.clear(); });
  server_.reset();
  ui_.reset();
  pictures_.reset();
}

uint64_t TWebHost::OpenPage(std::shared_ptr<TPageOutbox> outbox) {
  const uint64_t page = next_page_++;
  ui_->Post([this, page, outbox] {
    pages_[page] =
        std::make_unique<TMessageHandler>(settings_, outbox, pictures_.get(), &downloads_);
  });
  return page;
}

void TWebHost::PageMessage(uint64_t page, std::string text, std::function<void()> handled) {
  ui_->Post([this, page, text = std::move(text), handled = std::move(handled)] {
    auto it = pages_.find(page);
    if (it != pages_.end()) it->second->Handle(text);
    handled();
  });
}

void TWebHost::ClosePage(uint64_t page) {
  ui_->Post([this, page] { pages_.erase(page); });
}

bool TWebHost::IsDownload(const std::string& name) {
  return downloads_.Contains(name);
}

std::string TWebHost::OversizedReply(size_t size) {
  return TMessageHandler::OversizedReply(size, settings_.MaxMessageBytes);
}

}  // namespace quvi_web
