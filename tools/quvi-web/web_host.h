// The web host: the user-interface thread with the pages' message handlers (and so their
// controls), the picture thread, and the network server handing pages over to them. Made and
// run by main and by the tests; Run serves until Stop (any thread). Owns all of it.
#pragma once

#include <map>
#include <memory>
#include <string>

#include "tools/quvi-web/message_handler.h"
#include "tools/quvi-web/picture_feed.h"
#include "tools/quvi-web/ui_thread.h"
#include "tools/quvi-web/web_server.h"

namespace quvi_web {

class TWebHost : public TPageHost {
 public:
  // Throws std::runtime_error when the server cannot listen.
  TWebHost(const TServerConfig& server, const THostSettings& settings);
  ~TWebHost() override;

  uint16_t Port() const { return server_->Port(); }
  std::string Url() const { return server_->Url(); }
  void Run() { server_->Run(); }
  void Stop() { server_->Stop(); }
  void StopOnSignals() { server_->StopOnSignals(); }

  // TPageHost, on the network thread.
  uint64_t OpenPage(std::shared_ptr<TPageOutbox> outbox) override;
  void PageMessage(uint64_t page, std::string text, std::function<void()> handled) override;
  void ClosePage(uint64_t page) override;
  bool IsDownload(const std::string& name) override;
  std::string OversizedReply(size_t size) override;

 private:
  THostSettings settings_;
  TDownloads downloads_;
  std::unique_ptr<TPictureFeed> pictures_;
  std::map<uint64_t, std::unique_ptr<TMessageHandler>> pages_;  // user-interface thread only
  uint64_t next_page_ = 1;                                      // network thread only
  std::unique_ptr<TUiThread> ui_;
  std::unique_ptr<TWebServer> server_;
};

}  // namespace quvi_web
