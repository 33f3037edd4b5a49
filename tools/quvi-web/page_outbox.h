// What waits to be written to one page's WebSocket: text messages in order, and per control
// at most one picture (a newer one replaces it: latest wins). The user-interface thread adds
// texts, the picture thread adds pictures, the network thread takes them; a wake-up callback
// tells the network side there is something. Texts are bounded too: a page that reads nothing
// for long is closed rather than let grow the server's memory. Thread-safe; shared by the
// page's session and its message handler.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <string>

namespace quvi_web {

class TPageOutbox {
 public:
  static constexpr size_t kDefaultTextLimit = size_t{8} << 20;

  explicit TPageOutbox(size_t text_limit = kDefaultTextLimit) : text_limit_(text_limit) {}

  // Called (outside the lock) whenever something was added; set before use.
  void SetWake(std::function<void()> wake);
  // Queues a text message; beyond the limit the outbox closes itself (Overflowed()).
  void SendText(std::string text);
  // Whether the control's previous picture still waits.
  bool PictureWaiting(uint32_t control) const;
  void PutPicture(uint32_t control, std::string bytes);
  // Forgets the control's waiting picture (the control is gone).
  void DropPicture(uint32_t control);

  struct TMessage {
    bool Binary = false;
    std::string Bytes;
  };
  // The next message: texts first, then the pictures of the controls in turn.
  bool Take(TMessage* message);
  // Nothing more goes in after this; what waits is dropped.
  void Close();
  bool Closed() const;
  bool Overflowed() const;

 private:
  mutable std::mutex mutex_;
  std::function<void()> wake_;
  std::deque<std::string> texts_;
  size_t text_bytes_ = 0;
  size_t text_limit_;
  std::map<uint32_t, std::string> pictures_;
  uint32_t next_picture_control_ = 0;  // where the turn of pictures goes on
  bool closed_ = false;
  bool overflowed_ = false;
};

}  // namespace quvi_web
