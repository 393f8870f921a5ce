// Fuzzes the instrument modes over an in-memory platform: --kit and --multi over up to three
// WAVs, --mono over each of them, --sf2 over a bank, and --sfz over an SFZ text with a WAV and a
// FLAC sample beside it. The first byte picks the mode; the rest is cut at kSplit into up to
// three files. Whatever the bytes, the run ends with one of the
// documented exit codes, and every XI it leaves holds exactly the sample data its header declares.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "brumlet.h"
#include "fake_platform.h"
#include "xi_reader.h"

namespace {

using namespace brumlet;

// Between two files of the input; also in the dictionary, so that the fuzzer can add and remove
// files.
constexpr std::string_view kSplit = "#FILE#";
constexpr std::size_t kMaxFiles = 3;

// The names carry root keys, which --multi reads from them.
constexpr const char* kNames[kMaxFiles] = {"a C-4.wav", "b E-4.wav", "c G-5.wav"};
// --sfz: the text, and the samples it may name.
constexpr const char* kSfzNames[kMaxFiles] = {"i.sfz", "s.wav", "t.flac"};

std::vector<testing::Bytes> Split(const std::uint8_t* data, std::size_t size) {
  const std::string_view all(reinterpret_cast<const char*>(data), size);
  std::vector<testing::Bytes> files;
  std::size_t at = 0;
  while (files.size() + 1 < kMaxFiles) {
    const std::size_t cut = all.find(kSplit, at);
    if (cut == std::string_view::npos) break;
    files.emplace_back(data + at, data + cut);
    at = cut + kSplit.size();
  }
  files.emplace_back(data + at, data + size);
  return files;
}

bool Documented(int code) {
  switch (code) {
    case 0:
    case 1:
    case 245:
    case 247:
    case 248:
    case 253:
    case 254:  // no preset matches the choice
      return true;
    default:
      return false;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  testing::FakePlatform platform;
  // A data chunk may claim 2 GiB that the file does not hold; outputs stop at a size limit
  // ("Disk full") instead of filling the memory.
  platform.file_size_limit = 1 << 20;
  platform.disk_room = 4 << 20;  // a run that writes more ends as with a full disk
  const std::vector<testing::Bytes> files = Split(data + 1, size - 1);
  std::vector<std::string> args;
  switch (data[0] % 5) {
    case 0:
    case 1:
      args = {data[0] % 5 == 0 ? "--kit" : "--multi", "out.xi", "*.wav"};
      break;
    case 2:
      args = {"--mono", "*.wav"};
      break;
    case 4:
      args = {"--sfz", "*.sfz"};
      break;
    default:
      args = {"--sf2", "b.sf2"};
      if (files.size() > 1) args.push_back(std::string(files[1].begin(), files[1].end()));
      break;
  }
  if (args[0] == "--sf2") {
    platform.AddFile("b.sf2", files[0]);
  } else if (args[0] == "--sfz") {
    for (std::size_t i = 0; i < files.size(); ++i) platform.AddFile(kSfzNames[i], files[i]);
  } else {
    for (std::size_t i = 0; i < files.size(); ++i) platform.AddFile(kNames[i], files[i]);
  }
  const int code = RunBrumlet(args, "brumlet", platform);
  if (!Documented(code)) std::abort();
  if (code == 1) return 0;  // a failed write may leave its output as far as it got
  for (const auto& [path, node] : platform.files) {
    if (!path.ends_with(".xi")) continue;
    const measure::XiFile xi =
        measure::ParseXi(std::string(node->bytes.begin(), node->bytes.end()));
    if (!xi.complete) std::abort();
  }
  return 0;
}
