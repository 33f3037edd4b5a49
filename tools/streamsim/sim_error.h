// The simulator's failure type: a message meant for the person running the tool (a port in
// use, a missing or damaged record file, a bad option value).
#pragma once

#include <stdexcept>

namespace streamsim {

class TSimError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

}  // namespace streamsim
