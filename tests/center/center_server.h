// Test support: the center service (tests/center/center_soap_server.js, node-soap serving
// the token, permission and action log WSDLs) started as a child process on a free port, and
// the calls it received, read from its standard output as they arrive. Header only, so tests
// in any folder use it. One thread per object.
#pragma once

#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

extern char** environ;

namespace center_test {

struct TRecordedCall {
  std::string Operation;
  std::map<std::string, std::string> Args;  // "_tokenKey", "_log.operated", ...
  std::string Raw;                          // the request envelope as received
};

// %XX sequences decoded.
inline std::string PercentDecode(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 2 < text.size()) {
      out += static_cast<char>(std::stoi(text.substr(i + 1, 2), nullptr, 16));
      i += 2;
    } else {
      out += text[i];
    }
  }
  return out;
}

class TCenterServer {
 public:
  // extra: more arguments for the server (--path, --service-ns, --array-ns).
  explicit TCenterServer(const std::vector<std::string>& extra = {}) {
    int in[2], out[2];
    if (pipe(in) != 0 || pipe(out) != 0) throw std::runtime_error("pipe failed");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in[0], 0);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_addclose(&actions, in[1]);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    std::vector<std::string> all{"node", CENTER_SERVER_JS};
    all.insert(all.end(), extra.begin(), extra.end());
    std::vector<char*> argv;
    for (std::string& a : all) argv.push_back(a.data());
    argv.push_back(nullptr);
    const int r = posix_spawnp(&pid_, "node", &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(in[0]);
    close(out[1]);
    stdin_ = in[1];  // the server ends when this closes, even if the test dies
    stdout_ = out[0];
    if (r != 0) throw std::runtime_error("cannot start node");
    const std::string first = ReadLine(60000);
    if (first.rfind("port ", 0) != 0) {
      throw std::runtime_error("center server did not start: \"" + first + "\"");
    }
    port_ = std::stoi(first.substr(5));
  }
  ~TCenterServer() {
    close(stdin_);
    if (pid_ > 0) {
      kill(pid_, SIGTERM);
      waitpid(pid_, nullptr, 0);
    }
    close(stdout_);
  }
  TCenterServer(const TCenterServer&) = delete;
  TCenterServer& operator=(const TCenterServer&) = delete;

  int Port() const { return port_; }

  // The next call the server received, waiting up to timeout_ms for it.
  std::optional<TRecordedCall> NextCall(int timeout_ms = 30000) {
    const std::string line = ReadLine(timeout_ms);
    if (line.rfind("CALL\t", 0) != 0) return std::nullopt;
    TRecordedCall call;
    size_t start = 5;
    bool first = true;
    while (start <= line.size()) {
      size_t end = line.find('\t', start);
      if (end == std::string::npos) end = line.size();
      const std::string field = line.substr(start, end - start);
      if (first) {
        call.Operation = field;
        first = false;
      } else {
        const size_t eq = field.find('=');
        const std::string name = field.substr(0, eq);
        const std::string value =
            eq == std::string::npos ? "" : PercentDecode(field.substr(eq + 1));
        if (name == "#raw") {
          call.Raw = value;
        } else {
          call.Args[name] = value;
        }
      }
      start = end + 1;
    }
    return call;
  }

 private:
  // One line of standard output; what was read so far when the time runs out.
  std::string ReadLine(int timeout_ms) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    while (true) {
      const size_t nl = pending_.find('\n');
      if (nl != std::string::npos) {
        std::string line = pending_.substr(0, nl);
        pending_.erase(0, nl + 1);
        return line;
      }
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
          deadline - std::chrono::steady_clock::now());
      pollfd p{stdout_, POLLIN, 0};
      if (left.count() <= 0 || poll(&p, 1, static_cast<int>(left.count())) != 1) {
        return std::exchange(pending_, "");
      }
      char buf[65536];
      const ssize_t n = read(stdout_, buf, sizeof buf);
      if (n <= 0) return std::exchange(pending_, "");
      pending_.append(buf, static_cast<size_t>(n));
    }
  }

  pid_t pid_ = -1;
  int stdin_ = -1;
  int stdout_ = -1;
  int port_ = 0;
  std::string pending_;
};

}  // namespace center_test
