// Arbitrary WebSocket text messages from a page into the web host's message handler, without
// a network, against the control library with the stand-in window (through the real host
// interface). The input is a sequence of messages separated by newlines; a few known
// request (create) is sent first when the leading byte is odd, and "@C" in a message stands
// for the number of the page's newest control, so the fuzzer reaches the ops on a live
// control although the server numbers controls across all pages. Every message must end in replies
// that are JSON objects; nothing may crash or leak.
#include <stdlib.h>

#include <nlohmann/json.hpp>
#include <string>
#include <string_view>

#include "tools/quvi-web/message_handler.h"
#include "viewer/control/quvi_host.h"

namespace {

struct TSetup {
  TSetup() {
    char dir[] = "/tmp/fuzz_web_messages_XXXXXX";
    if (::mkdtemp(dir) == nullptr) abort();
    ::setenv("QUVI_REGISTRY_FILE", (std::string(dir) + "/registry.ini").c_str(), 1);
    if (DllRegisterServer() != QUVI_S_OK) abort();
    settings.MaxControls = 3;
    settings.OutDir = std::string(dir);
    settings.Defaults = {{"HostIP", "127.0.0.1"}};
  }
  quvi_web::THostSettings settings;
  quvi_web::TDownloads downloads;
};

void Check(quvi_web::TPageOutbox& outbox) {
  quvi_web::TPageOutbox::TMessage m;
  while (outbox.Take(&m)) {
    const nlohmann::json reply = nlohmann::json::parse(m.Bytes, nullptr, false);
    if (!reply.is_object()) abort();
    if (reply.contains("ok") && reply["ok"] == false && !reply["error"].is_string()) abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static TSetup setup;
  auto outbox = std::make_shared<quvi_web::TPageOutbox>();
  {
    quvi_web::TMessageHandler handler(setup.settings, outbox, nullptr, &setup.downloads);
    std::string_view input(reinterpret_cast<const char*>(data), size);
    std::string newest = "0";
    const auto take_replies = [&] {
      quvi_web::TPageOutbox::TMessage m;
      while (outbox->Take(&m)) {
        const nlohmann::json reply = nlohmann::json::parse(m.Bytes, nullptr, false);
        if (!reply.is_object()) abort();
        if (reply.contains("ok") && reply["ok"] == false && !reply["error"].is_string()) abort();
        if (reply.contains("control") && reply.contains("ok")) {
          newest = std::to_string(reply["control"].get<uint32_t>());
        }
      }
    };
    if (!input.empty() && (input.front() & 1)) {
      handler.Handle(R"({"op":"create","width":64,"height":48})");
      take_replies();
    }
    while (!input.empty()) {
      const size_t end = input.find('\n');
      std::string message(input.substr(0, end));
      for (size_t at = message.find("@C"); at != std::string::npos; at = message.find("@C", at))
        message.replace(at, 2, newest);
      handler.Handle(message);
      take_replies();
      QuviPumpMessages(0);  // events of what the messages started
      handler.Flush(1e15);
      Check(*outbox);
      if (end == std::string_view::npos) break;
      input.remove_prefix(end + 1);
    }
  }
  Check(*outbox);
  return 0;
}
