// brumlet in a web page: the page (or Node) calls this main once per fresh instance of the
// program, with the command line as an array of strings and the files in the current folder.
#include <algorithm>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "launch.h"
#include "platform/wasm_platform.h"
#include "sf2/bank.h"
#include "sf2/preset_choice.h"

namespace {

// For the page's progress bar: the presets a bank run (`--sf2 BANK [PRESETS]`) converts, as the
// prefixes their files' names start with ("000-025"), in the order the run takes them: by their
// numbers, the bank's order among equals. Nothing for any other command line, for a listing, or
// for a bank that cannot be read, which the run itself then reports.
std::optional<std::vector<std::string>> BankRunPresets(const std::vector<std::string>& arguments,
                                                       brumlet::Platform& platform) {
  std::vector<std::string> args;  // the run drops empty arguments too
  std::copy_if(arguments.begin(), arguments.end(), std::back_inserter(args),
               [](const std::string& arg) { return !arg.empty(); });
  if ((args.size() != 2 && args.size() != 3) || args[0] != "--sf2") return std::nullopt;
  if (args.size() == 3 && args[2] == "--list") return std::nullopt;
  try {
    if (!platform.IsExistingFile(args[1])) return std::nullopt;
    const auto file = platform.OpenRead(args[1], brumlet::Site::kBankOpen);
    const brumlet::sf2::Bank bank = brumlet::sf2::ReadBank(*file, brumlet::DisplayText(args[1]));
    const brumlet::sf2::PresetChoice choice =
        args.size() == 3 ? brumlet::sf2::PresetChoice(args[2]) : brumlet::sf2::PresetChoice();
    std::vector<const brumlet::sf2::PresetHeader*> chosen;
    for (std::size_t i = 0; i < bank.PresetCount(); ++i) {
      const brumlet::sf2::PresetHeader& preset = bank.presets[i];
      if (choice.Matches(preset.bank, preset.program, preset.name)) chosen.push_back(&preset);
    }
    std::stable_sort(chosen.begin(), chosen.end(), [](const auto* a, const auto* b) {
      return a->bank != b->bank ? a->bank < b->bank : a->program < b->program;
    });
    std::vector<std::string> prefixes;
    for (const brumlet::sf2::PresetHeader* preset : chosen) {
      char prefix[16];
      std::snprintf(prefix, sizeof prefix, "%03d-%03d", preset->bank, preset->program);
      prefixes.emplace_back(prefix);
    }
    return prefixes;
  } catch (...) {
    return std::nullopt;
  }
}

}  // namespace

int main(int argc, char** argv) {
  // The runtime's own program name is a placeholder ("./this.program") or, under Node, the
  // loader script's path. The program has one name in a page, the one its Linux build has.
  constexpr std::string_view kModule = "brumlet";
  const std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + argc);

  brumlet::WasmPlatform platform;
  if (auto presets = BankRunPresets(args, platform)) platform.ExpectPresets(std::move(*presets));
  // Launch guards the run as on every system: an exception the program does not expect ends it
  // with the failure report and exit code 1, not by aborting the instance. A page is never an
  // Explorer launch.
  const int code = brumlet::Launch(args, kModule, platform);
  platform.HandOverFinished();
  return code;
}
