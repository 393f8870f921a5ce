#include "brumlet.h"

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

int Run(const std::vector<std::string>& arguments, Platform& platform, Vars& vars) {
  Console& console = platform.console();
  vars.console_bytes.Attach(&console);
  console.Write(kBanner);

  std::vector<std::string> args;
  for (const std::string& arg : arguments) {
    if (!arg.empty()) args.push_back(arg);
  }
  // The conventional options count only alone, so that any other argument starting with "-" is
  // still a pattern (and "./--help" names a file called --help). The modes count only first.
  const std::string_view first = args.empty() ? std::string_view() : args[0];
  if (args.size() == 1 && (first == "--help" || first == "-h")) {
    console.Write(kUsage);
    console.Write(platform.HasManualPage() ? kManualPointer : kReadmePointer);
    return exit_code::kSuccess;
  }
  if (args.size() == 1 && first == "--version") return exit_code::kSuccess;
  if (first == "--mono" && (args.size() == 2 || args.size() == 3)) {
    vars.stereo = StereoHandling::kMix;
    return ConvertAll(args[1], args.size() == 3 ? &args[2] : nullptr, platform, vars);
  }
  if ((first == "--kit" || first == "--multi") && args.size() == 3) {
    const InstrumentKind kind = first == "--kit" ? InstrumentKind::kKit : InstrumentKind::kMulti;
    return BuildInstrument(kind, args[1], args[2], platform, vars);
  }
  const bool mode = first == "--mono" || first == "--kit" || first == "--multi";
  if (mode || args.empty() || args.size() > 2) {
    console.Write(kUsage);
    if (!mode && args.size() > 2 && platform.ShellExpandsWildcards()) {
      console.Write(kManyArgumentsHint);
    }
    return exit_code::kSuccess;
  }
  return ConvertAll(args[0], args.size() == 2 ? &args[1] : nullptr, platform, vars);
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
