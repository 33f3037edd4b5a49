// The failure of one call to the center service: the transport's, an HTTP error status or a
// SOAP fault, with the text the service answered. The client turns it into a status value.
// Thrown and caught on the calling thread; a value type.
#pragma once

#include <string>

#include "viewer/protocol/exceptions.h"

namespace viewer {

class ECenterCallError : public EViewerException {
 public:
  // http_error: the service answered with an HTTP error status; response_text is then what
  // it sent with it.
  explicit ECenterCallError(std::string message, bool http_error = false,
                            std::string response_text = "")
      : EViewerException(std::move(message)),
        http_error_(http_error),
        response_text_(std::move(response_text)) {}
  bool HttpError() const { return http_error_; }
  const std::string& ResponseText() const { return response_text_; }

 private:
  bool http_error_;
  std::string response_text_;
};

}  // namespace viewer
