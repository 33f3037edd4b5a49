// One page's requests and what they do: JSON text messages in, replies, events and control
// effects out, independent of the network (the fuzz target feeds it directly). It owns the
// page's controls, made and scripted through the host interface; events become JSON texts in
// the page's outbox; the picture feed watches each control's window.
// Threads: made, used and destroyed on the user-interface thread that pumps messages, the
// controls' thread. Owns the controls; shares the outbox with the page's session.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <nlohmann/json.hpp>
#include <string>
#include <string_view>
#include <vector>

#include "tools/quvi-web/page_outbox.h"
#include "tools/quvi-web/picture_feed.h"
#include "viewer/control/quvi_host.h"

namespace quvi_web {

// The class the server hosts.
inline constexpr const char* kControlClassId = "{0E1B418E-FC82-4B9A-B8E8-A17CDA2F03BA}";

// What every page is offered; fixed while the server runs.
struct THostSettings {
  int32_t MaxControls = 9;
  size_t MaxMessageBytes = 64 * 1024;
  nlohmann::json Defaults = nlohmann::json::object();  // property name → value
  std::vector<int32_t> Channels;
  std::filesystem::path OutDir;  // where snapshots and recordings go
};

// Files the server wrote for pages and may hand out for download, by their names in the
// output folder. Thread-safe (the user-interface thread adds, the network thread looks up).
class TDownloads {
 public:
  void Add(const std::string& name);
  bool Contains(const std::string& name) const;

 private:
  mutable std::mutex mutex_;
  std::vector<std::string> names_;
};

class TMessageHandler {
 public:
  // pictures may be null (no pictures: tests, the fuzz target).
  TMessageHandler(const THostSettings& settings, std::shared_ptr<TPageOutbox> outbox,
                  TPictureFeed* pictures, TDownloads* downloads);
  ~TMessageHandler();
  TMessageHandler(const TMessageHandler&) = delete;
  TMessageHandler& operator=(const TMessageHandler&) = delete;

  // One text message of the page.
  void Handle(std::string_view text);
  // Sends the data summaries that are due and the pointer's look over a control when it
  // changed; called often by the user-interface loop.
  void Flush(double now_ms);
  size_t ControlCount() const { return controls_.size(); }

  // The reply to a text message the network refused for its size.
  static std::string OversizedReply(size_t size, size_t limit);

 private:
  struct TControl;
  using json = nlohmann::json;

  void Dispatch(const std::string& op, const json& request, const json& id);
  void Create(const json& request, const json& id);
  void Release(TControl& control, const json& id);
  void Get(TControl& control, const json& request, const json& id);
  void Put(TControl& control, const json& request, const json& id);
  void Invoke(TControl& control, const json& request, const json& id);
  void Mouse(TControl& control, const json& request, const json& id);
  void Resize(TControl& control, const json& request, const json& id);
  void Snapshot(TControl& control, const json& id);
  void Record(TControl& control, const json& request, const json& id);

  void SendCursor();
  void OnEvent(TControl& control, int32_t dispid, const QuviVariant* args, uint32_t count);
  static void EventSink(void* user, int32_t dispid, const QuviVariant* args, uint32_t count);
  void Destroy(TControl& control);
  std::string NewFileName(const TControl& control, const char* kind, const char* extension);

  void Reply(const json& id, json fields);
  void Fail(const json& id, const std::string& error, int32_t code = 0);
  void Send(const json& message);

  const THostSettings& settings_;
  std::shared_ptr<TPageOutbox> outbox_;
  TPictureFeed* pictures_;
  TDownloads* downloads_;
  std::map<uint32_t, std::unique_ptr<TControl>> controls_;
  uint32_t pointer_control_ = 0;  // the control the last mouse input went to
};

}  // namespace quvi_web
