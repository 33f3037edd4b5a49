// The network side of the web host: listens for HTTP, serves the page's files and the
// downloads the host handed out, and turns each permitted WebSocket into a page whose text
// messages go to the host and whose outbox is written back (texts, then pictures). Every
// request passes the access gate first; refusals are one line of text. One network thread
// runs everything here (Run); Stop may come from any thread. Owns the sockets.
#pragma once

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "tools/quvi-web/access_policy.h"
#include "tools/quvi-web/page_outbox.h"

namespace quvi_web {

// What the network hands over to the host of the controls; called on the network thread.
class TPageHost {
 public:
  virtual ~TPageHost() = default;
  // A page connected; returns its number.
  virtual uint64_t OpenPage(std::shared_ptr<TPageOutbox> outbox) = 0;
  // A text message of the page, within the size limit; `handled` is called (on any thread)
  // once it has been dealt with, so a page that sends faster than the host handles is read
  // no further meanwhile.
  virtual void PageMessage(uint64_t page, std::string text, std::function<void()> handled) = 0;
  virtual void ClosePage(uint64_t page) = 0;
  // Whether the name (in the output folder) was handed out for download.
  virtual bool IsDownload(const std::string& name) = 0;
  // The reply to a text message over the size limit.
  virtual std::string OversizedReply(size_t size) = 0;
};

struct TServerConfig {
  std::string Bind = "127.0.0.1";
  uint16_t Port = 0;  // 0: any free port
  std::string Token;
  std::filesystem::path WebDir;
  std::filesystem::path OutDir;
  int32_t MaxConnections = 4;  // WebSockets at once
  size_t MaxMessageBytes = 64 * 1024;
  // A message beyond this closes the socket instead of being read.
  size_t HardMessageBytes = 1024 * 1024;
  // Plain HTTP connections at once (the page's files, downloads).
  int32_t MaxHttpConnections = 64;
};

class TWebServer {
 public:
  // Binds and listens; throws std::runtime_error when it cannot.
  TWebServer(const TServerConfig& config, TPageHost& host);
  ~TWebServer();
  TWebServer(const TWebServer&) = delete;
  TWebServer& operator=(const TWebServer&) = delete;

  uint16_t Port() const;
  // http://ADDRESS:PORT/?token=TOKEN
  std::string Url() const;
  // Serves until Stop.
  void Run();
  void Stop();
  // SIGINT and SIGTERM stop Run.
  void StopOnSignals();

  struct TShared;

 private:
  std::unique_ptr<TShared> shared_;
};

// The content type the page's files are served with, by extension.
std::string ContentTypeOf(const std::filesystem::path& path);
// The file of the web folder a request path names, or "" when it names none (a "..", a hidden
// name, a directory, a missing file).
std::filesystem::path WebFileOf(const std::filesystem::path& web_dir, std::string_view path);

}  // namespace quvi_web
