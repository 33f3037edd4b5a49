// The main of a fuzz target outside the fuzz build: feeds every file of the directories (and
// every file) named on the command line to the target's entry point, one call each, in name
// order, as libFuzzer does when it is given files. A missing argument or nothing to replay
// fails the run, so a target cannot quietly lose its corpus. Single thread.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <system_error>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);
extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) __attribute__((weak));

namespace {

namespace fs = std::filesystem;

// The files an argument names: itself, or the visible regular files of a directory.
bool CollectInputs(const fs::path& path, std::vector<fs::path>& inputs) {
  std::error_code error;
  if (fs::is_regular_file(path, error)) {
    inputs.push_back(path);
    return true;
  }
  if (!fs::is_directory(path, error)) {
    std::fprintf(stderr, "replay: %s is neither a file nor a directory\n", path.c_str());
    return false;
  }
  std::vector<fs::path> found;
  for (const fs::directory_entry& entry : fs::directory_iterator(path, error)) {
    if (entry.is_regular_file() && entry.path().filename().string()[0] != '.')
      found.push_back(entry.path());
  }
  if (error) {
    std::fprintf(stderr, "replay: cannot list %s: %s\n", path.c_str(), error.message().c_str());
    return false;
  }
  std::sort(found.begin(), found.end());
  inputs.insert(inputs.end(), found.begin(), found.end());
  return true;
}

bool Replay(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  const std::vector<char> bytes{std::istreambuf_iterator<char>(in),
                                std::istreambuf_iterator<char>()};
  if (in.bad()) {
    std::fprintf(stderr, "replay: cannot read %s\n", path.c_str());
    return false;
  }
  // An exactly sized copy, so a read past the input is caught by the sanitizers.
  const std::unique_ptr<uint8_t[]> data(new uint8_t[bytes.size()]);
  std::copy(bytes.begin(), bytes.end(), data.get());
  std::fprintf(stderr, "replay: %s (%zu bytes)\n", path.c_str(), bytes.size());
  LLVMFuzzerTestOneInput(data.get(), bytes.size());
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s <corpus directory or input file>...\n", argv[0]);
    return 2;
  }
  std::vector<fs::path> inputs;
  bool ok = true;
  for (int i = 1; i < argc; ++i) ok = CollectInputs(argv[i], inputs) && ok;
  if (!ok) return 1;
  if (inputs.empty()) {
    std::fprintf(stderr, "replay: no inputs found; every fuzz target needs a seed corpus\n");
    return 1;
  }
  if (LLVMFuzzerInitialize != nullptr) LLVMFuzzerInitialize(&argc, &argv);
  for (const fs::path& input : inputs) {
    if (!Replay(input)) return 1;
  }
  std::printf("replayed %zu inputs\n", inputs.size());
  return 0;
}
