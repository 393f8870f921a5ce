#include "brumlet.h"

#include <algorithm>
#include <iterator>
#include <memory>
#include <optional>

#include "convert.h"
#include "failure.h"
#include "instruments.h"
#include "messages.h"
#include "soundfont.h"

namespace brumlet {
namespace {

// Every option the program has; the modes count only as the first argument, the others only as
// the one and only argument.
constexpr std::string_view kOptions[] = {"--mono", "--kit", "--multi",  "--sf2",
                                         "--help", "-h",    "--version"};

bool IsOption(std::string_view arg) {
  return std::find(std::begin(kOptions), std::end(kOptions), arg) != std::end(kOptions);
}

// An argument that looks like an option but is none (`--Kit`): it is taken as a pattern, and
// every message that ends the run for want of inputs says what the options are.
bool IsUnknownOption(const std::vector<std::string>& args) {
  return !args.empty() && args[0].starts_with("--") && !IsOption(args[0]);
}

// A mode given the wrong number of arguments: the usage text, and where the shell expands
// wildcards and there are too many (every mode takes at most three), the likely cause.
int WrongUse(std::string_view mode, std::size_t count, Platform& platform) {
  platform.console().Write(kUsage);
  if (count > 3 && platform.ShellExpandsWildcards()) {
    platform.console().Write(TooManyArgumentsHint(mode));
  }
  return exit_code::kWrongUse;
}

// The mode the arguments call for, or nothing where the command line is answered by itself
// (`--help`, the usage text); `code` is then its exit code.
std::unique_ptr<Mode> PickMode(const std::vector<std::string>& args, Platform& platform,
                               int& code) {
  Console& console = platform.console();
  // The conventional options count only alone, so that any other argument starting with "-" is
  // still a pattern (and "./--help" names a file called --help). The modes count only first.
  const std::string_view first = args.empty() ? std::string_view() : args[0];
  if (args.size() == 1 && (first == "--help" || first == "-h")) {
    console.Write(kUsage);
    console.Write(platform.HasManualPage() ? kManualPointer : kReadmePointer);
    code = exit_code::kSuccess;
    return nullptr;
  }
  if (args.size() == 1 && first == "--version") {
    code = exit_code::kSuccess;
    return nullptr;
  }
  // The optional last argument: a name file, or the presets of a bank.
  auto optional_argument = [&args](std::size_t at) {
    return args.size() > at ? std::optional<std::string>(args[at]) : std::nullopt;
  };
  if (first == "--mono") {
    if (args.size() == 2 || args.size() == 3) {
      return std::make_unique<Conversion>(args[1], optional_argument(2), StereoHandling::kMix);
    }
    code = WrongUse(first, args.size(), platform);
    return nullptr;
  }
  if (first == "--kit" || first == "--multi") {
    if (args.size() == 3) {
      return std::make_unique<InstrumentBuild>(
          first == "--kit" ? InstrumentKind::kKit : InstrumentKind::kMulti, args[1], args[2]);
    }
    code = WrongUse(first, args.size(), platform);
    return nullptr;
  }
  if (first == "--sf2") {
    const bool verbose_list = args.size() == 4 && args[2] == "--list" && args[3] == "-v";
    if (args.size() == 2 || args.size() == 3 || verbose_list) {
      return std::make_unique<BankConversion>(args[1], optional_argument(2), verbose_list);
    }
    code = WrongUse(first, args.size(), platform);
    return nullptr;
  }
  if (args.empty() || args.size() > 2) {
    // The plain conversion's own usage cases end with exit code 0.
    console.Write(kUsage);
    if (args.size() > 2 && platform.ShellExpandsWildcards()) console.Write(kManyArgumentsHint);
    if (IsUnknownOption(args)) console.Write(kUnknownOptionHint);
    code = exit_code::kSuccess;
    return nullptr;
  }
  return std::make_unique<Conversion>(args[0], optional_argument(1), StereoHandling::kSplit);
}

// What the user most likely meant when a run found none of its inputs: an option misspelt, or
// one given where the name file goes (`brumlet '*.wav' --mono`).
std::string MissingInputHint(const std::vector<std::string>& args, int code, Platform& platform) {
  if (code != exit_code::kNoMatch && code != exit_code::kNoNameFile) return {};
  if (IsUnknownOption(args)) return std::string(kUnknownOptionHint);
  if (code == exit_code::kNoNameFile && args.size() == 2 && args[1] != "-h" && IsOption(args[1])) {
    return OptionsComeFirstHint(args[1], platform.ShellExpandsWildcards());
  }
  return {};
}

}  // namespace

int RunBrumlet(const std::vector<std::string>& arguments, std::string_view module,
               Platform& platform) {
  std::unique_ptr<Mode> mode;
  try {
    try {
      platform.console().Write(kBanner);
      std::vector<std::string> args;
      for (const std::string& arg : arguments) {
        if (!arg.empty()) args.push_back(arg);
      }
      int code = exit_code::kSuccess;
      mode = PickMode(args, platform, code);
      if (!mode) return code;
      try {
        return mode->Run(platform);
      } catch (const Rejection& rejection) {
        const std::string hint = MissingInputHint(args, rejection.exit_code(), platform);
        if (hint.empty()) throw;
        throw rejection.WithHint(hint);
      }
    } catch (const Rejection& rejection) {
      platform.console().Write(rejection.what());
      if (!rejection.hint().empty()) platform.console().Write(rejection.hint());
      if (rejection.abort_current_file() && mode) mode->AbortCurrentFile(platform);
      return rejection.exit_code();
    }
  } catch (const RunFailure& failure) {
    PrintFailureReport(failure, module, platform.console());
    return exit_code::kRunFailure;
  }
}

void PrintFailureReport(const RunFailure& failure, std::string_view module, Console& console) {
  try {
    // The bare line feed inside the report is the same on every system.
    console.WriteRaw(FailureReportHead(failure, module) + '\n');
    console.Write(FailureReportText(failure) + '\n');
  } catch (const RunFailure&) {
    // The console itself is gone; the exit code still tells.
  }
}

}  // namespace brumlet
