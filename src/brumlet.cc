#include "brumlet.h"

#include <algorithm>
#include <iterator>

#include "failure.h"
#include "instruments.h"
#include "messages.h"
#include "naming/name_file.h"
#include "wav/scan_wav.h"
#include "xi/xi_header.h"
#include "xi/xiwrite.h"

namespace brumlet {
namespace {

std::string_view LoopText(LoopKind loop) {
  switch (loop) {
    case LoopKind::Forward:
      return "--> loop)";
    case LoopKind::PingPong:
      return "<--> loop)";
    case LoopKind::NoLoop:
      return "no loop)";
  }
  return "";  // other smpl loop types have no word
}

void CloseIfOpen(std::unique_ptr<File>& file, Site site) {
  if (!file) return;
  file->Close(site);
  file.reset();
}

// The source first, then the output, as both the end of a conversion and its clean-up do it.
void CloseCurrentFiles(Vars& vars) {
  CloseIfOpen(vars.SourceFile, Site::kSourceClose);
  CloseIfOpen(vars.OutputFile, Site::kOutputClose);
}

void ConvertOne(const Match& match, Vars& vars, Platform& platform) {
  const StereoHandling stereo = vars.stereo;
  vars.SourceName = match.name;
  vars.SourceFile = platform.OpenRead(match.path, Site::kSourceOpen);
  vars.OutputName = DeriveOutputName(vars.SourceName);
  // A source named "xi", "a.xi" matched by "*", or a name file "drum.xi" beside "drum.wav".
  std::vector<const File*> inputs{vars.SourceFile.get()};
  if (vars.NameFileGiven) inputs.push_back(vars.name_file.get());
  RefuseToReplaceAnInput(vars.OutputName, inputs, platform);
  vars.OutputFile = platform.Create(vars.OutputName, Site::kOutputCreate);

  ScanWav(*vars.SourceFile, vars.SourceName, vars.wav_info, vars.smpl_image);
  const WavInfo& info = vars.wav_info;
  platform.console().Write(ReportLine(vars.SourceName, info));

  BuildHeaderImage(info, vars.header, stereo);
  if (vars.NameFileGiven) {
    ApplyNameFile(vars, platform);
  } else {
    ApplyDefaultLabels(vars);
  }
  vars.header_length =
      WriteHeaderImage(vars.SampleCount, TwoSamples(info, stereo), vars.header, *vars.OutputFile);

  EncodeJob job{*vars.SourceFile,   *vars.OutputFile,
                info.DataOffset,    SampleDataLength(info, stereo),
                vars.header_length, vars.buffers};
  EncodeSampleData(job, info, stereo);

  CloseCurrentFiles(vars);
}

// Converts every match of `pattern`, each into an instrument of its own, naming them from the
// name file when one is given.
int ConvertAll(const std::string& pattern, const std::string* name_file, Platform& platform,
               Vars& vars) {
  if (name_file != nullptr) {
    vars.name_file_path = *name_file;
    if (!platform.IsExistingFile(vars.name_file_path)) throw NameFileNotFound(vars.name_file_path);
    OpenNameFile(vars, platform, Site::kNameFileOpen);
    vars.NameFileGiven = true;
  }

  const std::vector<Match> matches = platform.Search(pattern);
  if (matches.empty()) throw NothingMatches(pattern);
  platform.console().Write(
      ProcessingLine(pattern, vars.NameFileGiven ? &vars.name_file_path : nullptr));

  for (const Match& match : matches) ConvertOne(match, vars, platform);

  if (vars.NameFileGiven) vars.name_file->Close(Site::kNameFileClose);
  return exit_code::kSuccess;
}

// Every option the program has; the modes count only as the first argument, the others only as
// the one and only argument.
constexpr std::string_view kOptions[] = {"--mono", "--kit", "--multi", "--help", "-h", "--version"};

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

int Dispatch(const std::vector<std::string>& args, Platform& platform, Vars& vars) {
  Console& console = platform.console();
  // The conventional options count only alone, so that any other argument starting with "-" is
  // still a pattern (and "./--help" names a file called --help). The modes count only first.
  const std::string_view first = args.empty() ? std::string_view() : args[0];
  if (args.size() == 1 && (first == "--help" || first == "-h")) {
    console.Write(kUsage);
    console.Write(platform.HasManualPage() ? kManualPointer : kReadmePointer);
    return exit_code::kSuccess;
  }
  if (args.size() == 1 && first == "--version") return exit_code::kSuccess;
  if (first == "--mono") {
    if (args.size() != 2 && args.size() != 3) return WrongUse(first, args.size(), platform);
    vars.stereo = StereoHandling::kMix;
    return ConvertAll(args[1], args.size() == 3 ? &args[2] : nullptr, platform, vars);
  }
  if (first == "--kit" || first == "--multi") {
    if (args.size() != 3) return WrongUse(first, args.size(), platform);
    const InstrumentKind kind = first == "--kit" ? InstrumentKind::kKit : InstrumentKind::kMulti;
    return BuildInstrument(kind, args[1], args[2], platform, vars);
  }
  if (args.empty() || args.size() > 2) {
    // The plain conversion's own usage cases end with exit code 0.
    console.Write(kUsage);
    if (args.size() > 2 && platform.ShellExpandsWildcards()) console.Write(kManyArgumentsHint);
    if (IsUnknownOption(args)) console.Write(kUnknownOptionHint);
    return exit_code::kSuccess;
  }
  return ConvertAll(args[0], args.size() == 2 ? &args[1] : nullptr, platform, vars);
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

int Run(const std::vector<std::string>& arguments, Platform& platform, Vars& vars) {
  vars.console_bytes.Attach(&platform.console());
  platform.console().Write(kBanner);
  std::vector<std::string> args;
  for (const std::string& arg : arguments) {
    if (!arg.empty()) args.push_back(arg);
  }
  try {
    return Dispatch(args, platform, vars);
  } catch (const Rejection& rejection) {
    const std::string hint = MissingInputHint(args, rejection.exit_code(), platform);
    if (hint.empty()) throw;
    throw rejection.WithHint(hint);
  }
}

}  // namespace

void RefuseToReplaceAnInput(const std::string& output_path, std::span<const File* const> inputs,
                            Platform& platform) {
  const std::optional<FileId> output = platform.IdOf(output_path);
  if (!output) return;
  for (const File* input : inputs) {
    if (*output == input->Id()) throw IoFailure(IoError::AccessDenied(), Site::kOutputCreate);
  }
}

std::string DeriveOutputName(std::string_view source_name) {
  const std::size_t dot = source_name.find('.');
  std::string name(dot == std::string_view::npos ? std::string_view()
                                                 : source_name.substr(0, dot + 1));
  return name + "xi";
}

std::string ReportFormat(const WavInfo& info) {
  return Text({"(", std::to_string(info.BitsPerSample), " bit, ",
               info.Stereo ? "stereo, " : "mono, ", std::to_string(info.SampleRate), " Hz, ",
               LoopText(info.LoopType)});
}

std::string ReportLine(const std::string& source_name, const WavInfo& info) {
  return Text(
      {source_name, "  ->  ", DeriveOutputName(source_name), "  ", ReportFormat(info), "\n"});
}

void AbortCurrentFile(Vars& vars, Platform& platform) {
  CloseIfOpen(vars.name_file, Site::kNameFileClose);
  CloseCurrentFiles(vars);
  // An instrument of many sources checks them all before it creates its output.
  if (!vars.OutputName.empty()) platform.Remove(vars.OutputName);
}

int RunBrumlet(const std::vector<std::string>& args, std::string_view module, Platform& platform) {
  Vars vars;
  try {
    try {
      return Run(args, platform, vars);
    } catch (const Rejection& rejection) {
      platform.console().Write(rejection.what());
      if (!rejection.hint().empty()) platform.console().Write(rejection.hint());
      if (rejection.abort_current_file()) AbortCurrentFile(vars, platform);
      return rejection.exit_code();
    }
  } catch (const RunFailure& failure) {
    try {
      // The bare line feed inside the report is the same on every system.
      platform.console().WriteRaw(FailureReportHead(failure, module) + '\n');
      platform.console().Write(FailureReportText(failure) + '\n');
    } catch (const RunFailure&) {
      // The console itself is gone; the exit code still tells.
    }
    return exit_code::kRunFailure;
  }
}

}  // namespace brumlet
