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
    // The bank's outputs go one folder down, named as the bank without its extension. A stem of
    // nothing or only dots ("...sf2", ".sf2") would name the folder above, this one or the bank
    // itself: such a folder is called "bank", and the bank is named by its full path, which
    // reads plainly in the report rather than as "..\\..sf2".
    const std::string stem = name.substr(0, name.size() - kBankExtension.size());
    if (stem.find_first_not_of('.') == std::string::npos) {
      return {{"--sf2", path}, folder + "bank", true};
    }
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
