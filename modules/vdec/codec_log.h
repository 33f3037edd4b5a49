// The codec library's messages: taken from its process-wide log hook and handed to the
// callback the library's user sets, warnings and errors only, one line each. Any thread.
#pragma once

#include "modules/vdec/vdec.h"

namespace vdec {

// Installs the hook (once) and sets the callback; nullptr drops every message.
void SetCodecLogCallBack(VDEC_LogCallBack callback);
// Installs the hook (once) without changing the callback; ports call it when taken.
void InstallCodecLog();

}  // namespace vdec
