#include "convert.h"

#include <vector>

#include "messages.h"
#include "naming/name_file.h"
#include "output_file.h"
#include "platform/wildcard.h"
#include "wav/scan_wav.h"
#include "xi/xi_header.h"
#include "xi/xiwrite.h"

namespace brumlet {
namespace {

void CloseIfOpen(std::unique_ptr<File>& file, Site site) {
  if (!file) return;
  file->Close(site);
  file.reset();
}

void ConvertOne(const Match& match, Vars& vars, RunOutputs& written, Platform& platform) {
  const StereoHandling stereo = vars.stereo;
  vars.SourceName = match.name;
  vars.SourceFile = platform.OpenRead(match.path, Site::kSourceOpen);
  vars.OutputName = DeriveOutputName(vars.SourceName);
  // A source named "xi", "a.xi" matched by "*", or a name file "drum.xi" beside "drum.wav".
  std::vector<const File*> inputs{vars.SourceFile.get()};
  if (vars.NameFileGiven) inputs.push_back(vars.name_file.get());
  // Names meet in one output by their part before the first dot, or by case where the system
  // ignores it: an output this run wrote is never replaced by it.
  vars.OutputFile.Create(vars.OutputName, inputs, platform, [&](const FileId& existing) {
    if (const std::string* earlier = written.SourceOf(existing)) {
      throw SameOutput(DisplayText(vars.SourceName), DisplayText(*earlier),
                       DisplayText(vars.OutputName));
    }
  });
  written.Add(vars.OutputFile.file().Id(), vars.SourceName);

  ScanWav(*vars.SourceFile, DisplayText(vars.SourceName), vars.wav_info, vars.smpl_image);
  const WavInfo& info = vars.wav_info;
  platform.console().Write(ReportLine(vars.SourceName, info));

  BuildHeaderImage(info, vars.header, stereo);
  if (vars.NameFileGiven) {
    ApplyNameFile(vars, platform);
  } else {
    ApplyDefaultLabels(vars);
  }
  vars.header_length = WriteHeaderImage(vars.SampleCount, TwoSamples(info, stereo), vars.header,
                                        vars.OutputFile.file());

  EncodeJob job{*vars.SourceFile,   vars.OutputFile.file(),
                info.DataOffset,    SampleDataLength(info, stereo),
                vars.header_length, vars.buffers};
  EncodeSampleData(job, info, stereo);

  // The source first, then the output.
  CloseIfOpen(vars.SourceFile, Site::kSourceClose);
  vars.OutputFile.Close();
}

// Converts every match of `pattern`, each into an instrument of its own, naming them from the
// name file when one is given.
// Where the search minds case (POSIX), a pattern that finds nothing may find files ignoring
// it: the hint names the pattern that does, and its first match.
std::string EitherCaseHint(const std::string& pattern, Platform& platform) {
  if (!platform.ShellExpandsWildcards()) return {};
  const std::string either = EitherCasePattern(pattern);
  if (either == pattern) return {};
  const std::vector<Match> found = platform.Search(either);
  if (found.empty()) return {};
  return CaseHint(DisplayText(either), DisplayText(found.front().name));
}

int ConvertAll(const std::string& pattern, const std::string* name_file, Platform& platform,
               RunOutputs& written, Vars& vars) {
  if (name_file != nullptr) {
    vars.name_file_path = *name_file;
    if (!platform.IsExistingFile(vars.name_file_path)) {
      throw NameFileNotFound(DisplayText(vars.name_file_path));
    }
    OpenNameFile(vars, platform, Site::kNameFileOpen);
    vars.NameFileGiven = true;
  }

  const std::vector<Match> matches = platform.Search(pattern);
  if (matches.empty())
    throw NothingMatches(DisplayText(pattern), EitherCaseHint(pattern, platform));
  const DisplayText name_file_shown(vars.name_file_path);
  platform.console().Write(
      ProcessingLine(DisplayText(pattern), vars.NameFileGiven ? &name_file_shown : nullptr));

  for (const Match& match : matches) ConvertOne(match, vars, written, platform);

  if (vars.NameFileGiven) vars.name_file->Close(Site::kNameFileClose);
  return exit_code::kSuccess;
}

}  // namespace

Conversion::Conversion(std::string pattern, std::optional<std::string> name_file,
                       StereoHandling stereo, RunOutputs& written)
    : pattern_(std::move(pattern)), name_file_(std::move(name_file)), written_(written) {
  vars_.stereo = stereo;
}

int Conversion::Run(Platform& platform) {
  vars_.console_bytes.Attach(&platform.console());
  return ConvertAll(pattern_, name_file_ ? &*name_file_ : nullptr, platform, written_, vars_);
}

void Conversion::AbortCurrentFile(Platform& platform) {
  CloseIfOpen(vars_.name_file, Site::kNameFileClose);
  CloseIfOpen(vars_.SourceFile, Site::kSourceClose);
  vars_.OutputFile.Abandon(platform);
}

std::string DeriveOutputName(std::string_view source_name) {
  const std::size_t dot = source_name.find('.');
  std::string name(dot == std::string_view::npos ? std::string_view()
                                                 : source_name.substr(0, dot + 1));
  return name + "xi";
}

std::string ReportLine(const std::string& source_name, const WavInfo& info) {
  return Text({DisplayText(source_name), "  ->  ", DisplayText(DeriveOutputName(source_name)), "  ",
               ReportFormat(info), "\n"});
}

}  // namespace brumlet
