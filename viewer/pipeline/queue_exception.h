// QueueException: raised by PutOrRaise when an entry could not be queued; the message says
// why ("ObjectQueue Insert Error,Buffer Closed", ...). Thrown on the writer's thread.
#pragma once

#include <stdexcept>

namespace viewer {

// Stands on std::runtime_error until the viewer control's exception family has its base
// class; it belongs to that family.
class QueueException : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

}  // namespace viewer
