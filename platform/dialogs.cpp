#include "platform/dialogs.h"

#include <cstdio>
#include <mutex>
#include <utility>

namespace plat {

namespace {

std::mutex g_mutex;
TSaveFileDialogHandler g_save_dialog;
TMessageBoxHandler g_message_box;

}  // namespace

void SetSaveFileDialogHandler(TSaveFileDialogHandler handler) {
  std::lock_guard<std::mutex> lock(g_mutex);
  g_save_dialog = std::move(handler);
}

void SetMessageBoxHandler(TMessageBoxHandler handler) {
  std::lock_guard<std::mutex> lock(g_mutex);
  g_message_box = std::move(handler);
}

bool GetSaveFileName(HWND owner, TSaveDialogRequest& request) {
  TSaveFileDialogHandler handler;
  {
    std::lock_guard<std::mutex> lock(g_mutex);
    handler = g_save_dialog;
  }
  if (handler) return handler(owner, request);
  std::fprintf(stderr, "save-file dialog cancelled (no host): %s\n", request.file_name.c_str());
  return false;
}

int MessageBox(HWND owner, const std::string& text, const std::string& caption, UINT type) {
  TMessageBoxHandler handler;
  {
    std::lock_guard<std::mutex> lock(g_mutex);
    handler = g_message_box;
  }
  if (handler) return handler(owner, text, caption, type);
  std::fprintf(stderr, "message box (no host): %s: %s\n", caption.c_str(), text.c_str());
  return IDCANCEL;
}

}  // namespace plat
