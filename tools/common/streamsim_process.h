// streamsim run as a child process (the demo, the live-path benchmark and the fault soak use
// the real program, so its work is not counted as theirs): started with the given arguments
// and "--port" (0 unless a port is given, e.g. to restart a server where its clients look for
// it), its port read from the first line it prints, ended with SIGTERM when the object goes.
// One thread; owns the child.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace quvi_tools {

class TStreamSimProcess {
 public:
  // exe: the streamsim program; Port() is 0 when it did not start.
  TStreamSimProcess(const std::string& exe, const std::vector<std::string>& args, int port = 0);
  ~TStreamSimProcess();
  TStreamSimProcess(const TStreamSimProcess&) = delete;
  TStreamSimProcess& operator=(const TStreamSimProcess&) = delete;

  int Port() const { return port_; }
  // Ends the child at once with SIGKILL, as a crash would, and reaps it.
  void Kill();

  // The child's process id (its CPU time can be read from /proc); -1 when not started.
  pid_t Pid() const { return pid_; }

 private:
  pid_t pid_ = -1;
  int port_ = 0;
};

}  // namespace quvi_tools
