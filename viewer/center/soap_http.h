// One SOAP call over HTTP: posts an envelope and brings back the answer's status, content
// type and body. The connect, send and receive time-outs all have the value given: connecting
// may take that long, and so may any wait for the next bytes in either direction. Blocks the
// calling thread; each call has its own connection, so calls on several threads share
// nothing.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "viewer/center/soap_answer.h"

namespace viewer {

// Throws ECenterCallError: "Timeout ..." when a time-out expires, "cancelled" when cancel
// became true (it is looked at several times a second), or the transport's failure.
TSoapReply PostSoap(const std::string& url, const std::string& envelope, int32_t timeout_ms,
                    const std::atomic<bool>* cancel = nullptr);

}  // namespace viewer
