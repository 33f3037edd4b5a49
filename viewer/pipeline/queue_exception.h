// QueueException: raised by PutOrRaise when an entry could not be queued; the message says
// why ("ObjectQueue Insert Error,Buffer Closed", ...). A member of the viewer control's
// exception family, so the connection thread handles it like its other failures.
// Thrown on the writer's thread; a value type.
#pragma once

#include "viewer/protocol/exceptions.h"

namespace viewer {

class QueueException : public EViewerException {
 public:
  using EViewerException::EViewerException;
};

}  // namespace viewer
