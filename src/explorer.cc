#include "explorer.h"

#include <cctype>

#include "platform/win32_paths.h"

namespace brumlet {
namespace {

constexpr std::string_view kBankExtension = ".sf2";

bool IsBank(std::string_view name) {
  if (name.size() < kBankExtension.size()) return false;
  const std::string_view tail = name.substr(name.size() - kBankExtension.size());
  for (std::size_t i = 0; i < tail.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(tail[i])) != kBankExtension[i]) return false;
  }
  return true;
}

PlannedRun PlanOne(const std::string& path) {
  const std::string folder(FolderOfPath(path));
  const std::string name = path.substr(folder.size());
  if (IsBank(name)) {
    // The bank's outputs go one folder down, named as the bank without its extension (a bank
    // named just ".sf2" would give the bank's own name, which is then refused as taken).
    std::string stem = name.substr(0, name.size() - kBankExtension.size());
    if (stem.empty()) stem = name;
    return {{"--sf2", "..\\" + name}, folder + stem, true};
  }
  // The bare name, so that the report shows it as typed in its folder; a name that starts with
  // "-" gets a ".\" in front, so that a file called "--help" is not taken for the option.
  return {{name.starts_with('-') ? ".\\" + name : name}, folder, false};
}

}  // namespace

std::optional<std::vector<PlannedRun>> PlanDroppedFiles(const std::vector<std::string>& args,
                                                        Platform& platform) {
  std::vector<PlannedRun> runs;
  for (const std::string& arg : args) {
    if (arg.empty()) continue;
    if (!platform.IsExistingFile(arg)) return std::nullopt;
    runs.push_back(PlanOne(arg));
  }
  if (runs.empty()) return std::nullopt;
  return runs;
}

}  // namespace brumlet
