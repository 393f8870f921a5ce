#include "brumlet.h"

#include "failure.h"
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

// Replacing the output must never destroy an input of this run: a source named "xi", "a.xi"
// matched by "*", or a name file "drum.xi" beside "drum.wav".
void RefuseToOverwriteInput(const Vars& vars, Platform& platform) {
  const std::optional<FileId> output = platform.IdOf(vars.OutputName);
  if (!output) return;
  if (*output == vars.SourceFile->Id() || (vars.NameFileGiven && *output == vars.name_file->Id())) {
    throw IoFailure(IoError::AccessDenied(), Site::kOutputCreate);
  }
}

void ConvertOne(const Match& match, Vars& vars, Platform& platform) {
  vars.SourceName = match.name;
  vars.SourceFile = platform.OpenRead(match.path, Site::kSourceOpen);
  vars.OutputName = DeriveOutputName(vars.SourceName);
  RefuseToOverwriteInput(vars, platform);
  vars.OutputFile = platform.Create(vars.OutputName, Site::kOutputCreate);

  ScanWav(*vars.SourceFile, vars.SourceName, vars.wav_info, vars.smpl_image);
  const WavInfo& info = vars.wav_info;
  platform.console().Write(ReportLine(vars.SourceName, info));

  BuildHeaderImage(info, vars.header);
  if (vars.NameFileGiven) {
    ApplyNameFile(vars, platform);
  } else {
    ApplyDefaultLabels(vars);
  }
  vars.header_length =
      WriteHeaderImage(vars.SampleCount, info.Stereo, vars.header, *vars.OutputFile);

  EncodeJob job{*vars.SourceFile,       *vars.OutputFile,   info.DataOffset,
                SampleDataLength(info), vars.header_length, vars.buffers};
  EncodeSampleData(job, info);

  CloseCurrentFiles(vars);
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
  // still a pattern (and "./--help" names a file called --help).
  if (args.size() == 1 && (args[0] == "--help" || args[0] == "-h")) {
    console.Write(kUsage);
    console.Write(platform.HasManualPage() ? kManualPointer : kReadmePointer);
    return exit_code::kSuccess;
  }
  if (args.size() == 1 && args[0] == "--version") return exit_code::kSuccess;
  if (args.empty() || args.size() > 2) {
    console.Write(kUsage);
    if (args.size() > 2 && platform.ShellExpandsWildcards()) console.Write(kManyArgumentsHint);
    return exit_code::kSuccess;
  }
  const std::string& pattern = args[0];
  if (args.size() == 2) {
    vars.name_file_path = args[1];
    if (!platform.IsExistingFile(vars.name_file_path)) throw NameFileNotFound(vars.name_file_path);
    OpenNameFile(vars, platform, Site::kNameFileOpen);
    vars.NameFileGiven = true;
  }

  const std::vector<Match> matches = platform.Search(pattern);
  if (matches.empty()) throw NothingMatches(pattern);
  console.Write(ProcessingLine(pattern, vars.NameFileGiven ? &vars.name_file_path : nullptr));

  for (const Match& match : matches) ConvertOne(match, vars, platform);

  if (vars.NameFileGiven) vars.name_file->Close(Site::kNameFileClose);
  return exit_code::kSuccess;
}

}  // namespace

std::string DeriveOutputName(std::string_view source_name) {
  const std::size_t dot = source_name.find('.');
  std::string name(dot == std::string_view::npos ? std::string_view()
                                                 : source_name.substr(0, dot + 1));
  return name + "xi";
}

std::string ReportLine(const std::string& source_name, const WavInfo& info) {
  std::string line = source_name;
  line += "  ->  ";
  line += DeriveOutputName(source_name);
  line += "  (";
  line += std::to_string(info.BitsPerSample);
  line += " bit, ";
  line += info.Stereo ? "stereo, " : "mono, ";
  line += std::to_string(info.SampleRate);
  line += " Hz, ";
  line += LoopText(info.LoopType);
  line += '\n';
  return line;
}

void AbortCurrentFile(Vars& vars, Platform& platform) {
  CloseIfOpen(vars.name_file, Site::kNameFileClose);
  CloseCurrentFiles(vars);
  platform.Remove(vars.OutputName);
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
