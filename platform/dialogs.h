// The desktop's save-file dialog and message box, which a host shows for the control: the host
// installs a callback for each; without one (headless) the dialog is cancelled and the message
// box answers IDCANCEL, and both write their text to standard error so it is not lost.
// Any thread may call; the callbacks run on the calling thread.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "platform/messages.h"
#include "platform/platform_api.h"

namespace plat {

struct TSaveDialogRequest {
  std::string file_name;    // preset name; the chosen one on return
  std::string filter;       // "Description|pattern|…"
  std::string initial_dir;  // empty: no preset folder
  std::string title;
};

// True with request.file_name set to the chosen name; false when the user cancelled.
using TSaveFileDialogHandler = std::function<bool(HWND owner, TSaveDialogRequest& request)>;
// Returns the button pressed (IDOK, IDCANCEL, …).
using TMessageBoxHandler =
    std::function<int(HWND owner, const std::string& text, const std::string& caption, UINT type)>;

constexpr int IDOK = 1;
constexpr int IDCANCEL = 2;
constexpr UINT MB_OK = 0x0;
constexpr UINT MB_ICONERROR = 0x10;

// Installs the host's callbacks (an empty function restores the headless default).
QUVI_PLATFORM_API void SetSaveFileDialogHandler(TSaveFileDialogHandler handler);
QUVI_PLATFORM_API void SetMessageBoxHandler(TMessageBoxHandler handler);

QUVI_PLATFORM_API bool GetSaveFileName(HWND owner, TSaveDialogRequest& request);
QUVI_PLATFORM_API int MessageBox(HWND owner, const std::string& text, const std::string& caption,
                                 UINT type);

}  // namespace plat
