#include "tools/common/streamsim_process.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>

namespace quvi_tools {

TStreamSimProcess::TStreamSimProcess(const std::string& exe, const std::vector<std::string>& args,
                                     int port) {
  int out[2];
  if (::pipe2(out, O_CLOEXEC) != 0) return;
  std::vector<std::string> all = {"streamsim", "--port", std::to_string(port)};
  all.insert(all.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& a : all) argv.push_back(a.data());
  argv.push_back(nullptr);
  pid_ = ::fork();
  if (pid_ == 0) {
    ::dup2(out[1], 1);
    // Nothing of the parent's stays open in the server: a connection it inherited would
    // outlive the parent's close of it.
    ::close_range(3, ~0U, 0);
    ::execv(exe.c_str(), argv.data());
    ::_exit(127);
  }
  ::close(out[1]);
  // The port comes alone on the first line.
  std::string line;
  char c;
  while (::read(out[0], &c, 1) == 1 && c != '\n') line += c;
  ::close(out[0]);
  port_ = std::atoi(line.c_str());
}

TStreamSimProcess::~TStreamSimProcess() {
  if (pid_ > 0) {
    ::kill(pid_, SIGTERM);
    ::waitpid(pid_, nullptr, 0);
  }
}

void TStreamSimProcess::Kill() {
  if (pid_ <= 0) return;
  ::kill(pid_, SIGKILL);
  ::waitpid(pid_, nullptr, 0);
  pid_ = -1;
}

}  // namespace quvi_tools
