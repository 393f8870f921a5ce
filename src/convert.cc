#include "convert.h"

#include <algorithm>
#include <vector>

#include "messages.h"
#include "platform/wildcard.h"
#include "wav/scan_wav.h"
#include "xi/instrument_writer.h"

namespace brumlet {
namespace {

void CloseIfOpen(std::unique_ptr<File>& file, Site site) {
  if (!file) return;
  file->Close(site);
  file.reset();
}

void ConvertOne(const Match& match, Vars& vars, RunOutputs& written, Platform& platform) {
  vars.SourceName = match.name;
  vars.SourceFile = platform.OpenRead(match.path, Site::kSourceOpen);
  vars.OutputName = DeriveOutputName(vars.SourceName);
  // A source named "xi", "a.xi" matched by "*", or a name file "drum.xi" beside "drum.wav".
  std::vector<const File*> inputs{vars.SourceFile.get()};
  if (vars.name_file) inputs.push_back(vars.name_file->file());
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

  // The pitch first: a rate without one ends the run before any prompt.
  WavData data(*vars.SourceFile, info, vars.adpcm);
  std::vector<InstrumentSample> sounding = WavSamples(info, vars.stereo, data);
  const SourceFacts facts{vars.SourceName, info.Title, info.DataLength,
                          static_cast<std::uint32_t>(info.LoopType)};
  const Names names = vars.name_file ? vars.name_file->Read(facts) : DefaultLabels(facts);
  if (names.count) vars.SampleCount = *names.count;
  WriteInstrument(DescribeConversion(std::move(sounding), names, vars.SampleCount), {},
                  vars.OutputFile.file(), vars.header, vars.buffers);

  // The source first, then the output.
  CloseIfOpen(vars.SourceFile, Site::kSourceClose);
  vars.OutputFile.Close();
}

// Where the search minds case (POSIX, and the page's file system), a pattern that finds nothing
// may find files ignoring it: the hint names the pattern that does, and its first match. (Where
// the search ignores case, as on Windows, the pattern that found nothing finds nothing so either.)
std::string EitherCaseHint(const std::string& pattern, Platform& platform) {
  const std::string either = EitherCasePattern(pattern);
  if (either == pattern) return {};
  const std::vector<Match> found = platform.Search(either);
  if (found.empty()) return {};
  return CaseHint(DisplayText(either), DisplayText(found.front().name));
}

}  // namespace

Conversion::Conversion(std::string pattern, std::optional<std::string> name_file,
                       StereoHandling stereo, RunOutputs& written)
    : pattern_(std::move(pattern)), name_file_(std::move(name_file)), written_(written) {
  vars_.stereo = stereo;
}

// Converts every match of the pattern, each into an instrument of its own, naming them from the
// name file when one is given.
int Conversion::Run(Platform& platform) {
  const DisplayText name_file_shown(name_file_.value_or(""));
  if (name_file_) {
    if (!platform.IsExistingFile(*name_file_)) throw NameFileNotFound(name_file_shown);
    vars_.name_file.emplace(*name_file_, platform);
  }

  const std::vector<Match> matches = platform.Search(pattern_);
  if (matches.empty()) {
    throw NothingMatches(DisplayText(pattern_), EitherCaseHint(pattern_, platform));
  }
  platform.console().Write(
      ProcessingLine(DisplayText(pattern_), name_file_ ? &name_file_shown : nullptr));

  for (const Match& match : matches) ConvertOne(match, vars_, written_, platform);

  if (vars_.name_file) vars_.name_file->Close();
  return exit_code::kSuccess;
}

void Conversion::AbortCurrentFile(Platform& platform) {
  if (vars_.name_file) vars_.name_file->Close();
  CloseIfOpen(vars_.SourceFile, Site::kSourceClose);
  vars_.OutputFile.Abandon(platform);
}

Instrument DescribeConversion(std::vector<InstrumentSample> sounding, const Names& names,
                              int sample_count) {
  Instrument instrument;
  instrument.name = names.instrument;
  instrument.envelope = PluckedEnvelope();
  if (sounding.size() == 2) {
    std::fill(instrument.keys.begin() + xi::kFirstRightChannelKey, instrument.keys.end(), 1);
  }
  // Slots past the samples with sound carry only their names.
  const std::size_t slots = std::clamp<std::size_t>(static_cast<std::size_t>(sample_count),
                                                    sounding.size(), Names::kSlots);
  instrument.samples = std::move(sounding);
  instrument.samples.resize(slots);
  for (std::size_t slot = 0; slot < slots; ++slot) {
    instrument.samples[slot].name = names.samples[slot];
  }
  return instrument;
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
