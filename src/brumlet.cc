#include "brumlet.h"

#include <algorithm>
#include <iterator>
#include <memory>
#include <optional>

#include "convert.h"
#include "failure.h"
#include "instruments.h"
#include "messages.h"
#include "output_file.h"
#include "sfz_conversion.h"
#include "soundfont.h"

namespace brumlet {
namespace {

// The modes count only as the first argument, the conventional options only as the one and
// only argument.
constexpr std::string_view kModes[] = {"--mono", "--kit", "--multi", "--sf2", "--sfz"};
constexpr std::string_view kConventional[] = {"--help", "-h", "--version"};

bool IsMode(std::string_view arg) {
  return std::find(std::begin(kModes), std::end(kModes), arg) != std::end(kModes);
}

bool IsOption(std::string_view arg) {
  return IsMode(arg) || std::find(std::begin(kConventional), std::end(kConventional), arg) !=
                            std::end(kConventional);
}

// An argument that looks like an option but is none (`--Kit`): it is taken as a pattern, and
// every message that ends the run for want of inputs says what the options are.
bool IsUnknownOption(const std::vector<std::string>& args) {
  return !args.empty() && args[0].starts_with("--") && !IsOption(args[0]);
}

// A mode named after the first argument (`brumlet '*.wav' --kit drums.xi`), where it is taken as
// a pattern, a name file or an output.
std::optional<std::string_view> MisplacedMode(const std::vector<std::string>& args) {
  for (std::size_t i = 1; i < args.size(); ++i) {
    if (IsMode(args[i])) return args[i];
  }
  return std::nullopt;
}

// The one hint after a mode's wrong use (`mode` empty for the plain conversion) or the .xi error
// of --kit and --multi: an unknown option, else a misplaced mode, else `quoting`, the hint to
// quote the pattern (empty where none applies), which only the shell's own expansion calls for.
std::string ArgumentsHint(std::string_view mode, const std::vector<std::string>& args,
                          std::string quoting, Platform& platform) {
  const bool quoted = platform.ShellExpandsWildcards();
  if (IsUnknownOption(args)) return std::string(kUnknownOptionHint);
  if (const auto misplaced = MisplacedMode(args)) return OptionsComeFirstHint(*misplaced, quoted);
  if (quoting.empty()) return {};
  // The shell expanded `--kit *.wav` into `--kit kick.wav pluck.wav` only where the output
  // argument is an existing file; otherwise it is the output that is misnamed.
  if ((mode == "--kit" || mode == "--multi") && !(quoted && platform.IsExistingFile(args[1]))) {
    return FirstArgumentHint(mode, quoted);
  }
  return quoted ? quoting : "";
}

// A mode given the wrong number of arguments (`mode` empty for the plain conversion, which takes
// one or two; --sfz takes one, the others at most three): the usage text and what was most likely
// meant.
int WrongUse(std::string_view mode, const std::vector<std::string>& args, Platform& platform) {
  platform.console().Write(kUsage);
  std::string quoting;
  if (mode.empty()) quoting = kManyArgumentsHint;
  if (!mode.empty() && args.size() > (mode == "--sfz" ? 2u : 3u)) {
    quoting = TooManyArgumentsHint(mode);
  }
  platform.console().Write(ArgumentsHint(mode, args, quoting, platform));
  return exit_code::kWrongUse;
}

// The mode the arguments call for, or nothing where the command line is answered by itself
// (`--help`, the usage text); `code` is then its exit code.
std::unique_ptr<Mode> PickMode(const std::vector<std::string>& args, RunOutputs& written,
                               Platform& platform, int& code) {
  Console& console = platform.console();
  // The conventional options count only alone, so that any other argument starting with "-" is
  // still a pattern (and "./--help" names a file called --help). The modes count only first.
  const std::string_view first = args.empty() ? std::string_view() : args[0];
  code = exit_code::kSuccess;
  if (args.empty() || (args.size() == 1 && (first == "--help" || first == "-h"))) {
    console.Write(kUsage);
    if (!args.empty()) console.Write(platform.HasManualPage() ? kManualPointer : kReadmePointer);
    return nullptr;
  }
  if (args.size() == 1 && first == "--version") return nullptr;
  // The optional last argument: a name file, or the presets of a bank.
  auto optional_argument = [&args](std::size_t at) {
    return args.size() > at ? std::optional<std::string>(args[at]) : std::nullopt;
  };
  if (first == "--mono") {
    if (args.size() == 2 || args.size() == 3) {
      return std::make_unique<Conversion>(args[1], optional_argument(2), StereoHandling::kMix,
                                          written);
    }
  } else if (first == "--kit" || first == "--multi") {
    if (args.size() == 3) {
      if (!EndsInXi(args[1])) {
        throw OutputNotXi(DisplayText(args[1]),
                          ArgumentsHint(first, args, QuotePatternHint(first), platform));
      }
      return std::make_unique<InstrumentBuild>(
          first == "--kit" ? InstrumentKind::kKit : InstrumentKind::kMulti, args[1], args[2]);
    }
  } else if (first == "--sf2") {
    const bool verbose_list = args.size() == 4 && args[2] == "--list" && args[3] == "-v";
    if (args.size() == 2 || args.size() == 3 || verbose_list) {
      return std::make_unique<BankConversion>(args[1], optional_argument(2), verbose_list);
    }
  } else if (first == "--sfz") {
    if (args.size() == 2) return std::make_unique<SfzConversion>(args[1], written);
  } else if (args.size() <= 2) {
    return std::make_unique<Conversion>(args[0], optional_argument(1), StereoHandling::kSplit,
                                        written);
  }
  code = WrongUse(IsMode(first) ? first : std::string_view(), args, platform);
  return nullptr;
}

// What the user most likely meant when a run found none of its inputs: an option misspelt, a
// mode given after the first argument, or an option given where the name file goes (`brumlet
// '*.wav' --help`).
std::string MissingInputHint(const std::vector<std::string>& args, int code, Platform& platform) {
  if (code != exit_code::kNoMatch && code != exit_code::kNoNameFile) return {};
  const bool quoted = platform.ShellExpandsWildcards();
  if (IsUnknownOption(args)) return std::string(kUnknownOptionHint);
  if (const auto misplaced = MisplacedMode(args)) return OptionsComeFirstHint(*misplaced, quoted);
  if (code == exit_code::kNoNameFile && args.size() == 2 && args[1] != "-h" && IsOption(args[1])) {
    return OptionsComeFirstHint(args[1], quoted);
  }
  return {};
}

}  // namespace

int RunBrumlet(const std::vector<std::string>& arguments, std::string_view module,
               Platform& platform) {
  RunOutputs written;
  return RunBrumlet(arguments, module, platform, written);
}

int RunBrumlet(const std::vector<std::string>& arguments, std::string_view module,
               Platform& platform, RunOutputs& written) {
  std::unique_ptr<Mode> mode;
  try {
    try {
      platform.console().Write(kBanner);
      std::vector<std::string> args;
      for (const std::string& arg : arguments) {
        if (!arg.empty()) args.push_back(arg);
      }
      int code = exit_code::kSuccess;
      mode = PickMode(args, written, platform, code);
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
