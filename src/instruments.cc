#include "instruments.h"

#include <algorithm>
#include <array>

#include "brumlet.h"
#include "failure.h"
#include "messages.h"
#include "wav/scan_wav.h"
#include "xi/instrument.h"
#include "xi/keys.h"
#include "xi/xiwrite.h"

namespace brumlet {
namespace {

constexpr std::size_t kMaxSamples = xi::kSampleSlots;

bool EndsInXi(std::string_view name) {
  if (name.size() < 3) return false;
  const std::string_view tail = name.substr(name.size() - 3);
  return tail[0] == '.' && (tail[1] == 'x' || tail[1] == 'X') && (tail[2] == 'i' || tail[2] == 'I');
}

// The instrument is named after its file, without the ".xi" that every XI file name ends in.
std::string_view InstrumentName(std::string_view output_name) {
  if (EndsInXi(output_name)) output_name.remove_suffix(3);
  return output_name;
}

// An unquoted pattern (`brumlet --kit *.wav`) makes its first match the output: a recording
// would be replaced by an instrument. So an existing regular file is replaced only when it
// already is an XI instrument; what else has the name is left to the create, which refuses it.
void RefuseToReplaceAForeignFile(const std::string& output_path, Platform& platform) {
  const std::unique_ptr<File> existing = platform.OpenIfPlainFile(output_path, Site::kOutputCheck);
  if (!existing) return;
  std::array<Byte, xi::kMagic.size()> start{};
  const std::size_t got = existing->Read(start.data(), start.size(), Site::kOutputCheck);
  existing->Close(Site::kOutputCheck);
  if (got != start.size() || !std::equal(start.begin(), start.end(), xi::kMagic.begin())) {
    throw OutputNotAnInstrument(output_path);
  }
}

// Opens and scans every source, keeping each open for its data; a source that is not a WAV, or
// has no data, ends the run as it does for a conversion of its own.
void ScanSources(const std::vector<Match>& matches, Vars& vars, Platform& platform) {
  for (const Match& match : matches) {
    vars.SourceName = match.name;
    vars.SourceFile = platform.OpenRead(match.path, Site::kSourceOpen);
    InstrumentSample sample;
    ScanWav(*vars.SourceFile, vars.SourceName, sample.info, vars.smpl_image);
    sample.name = sample.info.Title.empty() ? match.name : sample.info.Title;
    vars.instrument_samples.push_back(std::move(sample));
    vars.instrument_sources.push_back(std::move(vars.SourceFile));
  }
}

// A multisample's root keys: the note name in each file name, else the smpl chunk's unity note.
void FindRootKeys(const std::vector<Match>& matches, Vars& vars) {
  std::vector<InstrumentSample>& samples = vars.instrument_samples;
  for (std::size_t i = 0; i < samples.size(); ++i) {
    std::optional<std::int64_t> root = RootKeyInName(matches[i].name);
    if (!root && samples[i].info.UnityNote) root = *samples[i].info.UnityNote;
    if (!root) throw NoRootKey(matches[i].name);
    if (*root >= xi::kKeyCount) throw RootKeyTooHigh(matches[i].name, *root);
    samples[i].root_key = static_cast<int>(*root);
    for (std::size_t j = 0; j < i; ++j) {
      if (samples[j].root_key == samples[i].root_key) {
        throw SameRootKey(matches[j].name, matches[i].name, TrackerNoteName(samples[i].root_key));
      }
    }
  }
}

// "slot 2, keys C-5..B-7, root C-5": the slot, the keys that play it and its root key.
std::string SlotText(int slot, const KeyMap& keys, int root_key) {
  const auto first = std::find(keys.begin(), keys.end(), slot) - keys.begin();
  const auto last = keys.rend() - std::find(keys.rbegin(), keys.rend(), slot) - 1;
  const std::string range = first == last ? Text({"key ", TrackerNoteName(static_cast<int>(first))})
                                          : Text({"keys ", TrackerNoteName(static_cast<int>(first)),
                                                  "..", TrackerNoteName(static_cast<int>(last))});
  return Text({"slot ", std::to_string(slot), ", ", range, ", root ", TrackerNoteName(root_key)});
}

}  // namespace

int BuildInstrument(InstrumentKind kind, const std::string& output_path, const std::string& pattern,
                    Platform& platform, Vars& vars) {
  const std::string_view mode = kind == InstrumentKind::kKit ? "--kit" : "--multi";
  if (!EndsInXi(output_path)) {
    throw OutputNotXi(output_path, mode, platform.ShellExpandsWildcards());
  }
  const std::vector<Match> matches = platform.Search(pattern);
  if (matches.empty()) throw NothingMatches(pattern);
  if (matches.size() > kMaxSamples) throw TooManySamples(pattern, matches.size());
  Console& console = platform.console();
  console.Write(InstrumentProcessingLine(
      pattern, kind == InstrumentKind::kKit ? "kit" : "multisample", output_path));

  ScanSources(matches, vars, platform);
  std::vector<InstrumentSample>& samples = vars.instrument_samples;
  KeyMap keys;
  if (kind == InstrumentKind::kKit) {
    for (std::size_t i = 0; i < samples.size(); ++i) {
      samples[i].root_key = kMiddleC + static_cast<int>(i);
    }
    keys = KitKeyMap(static_cast<int>(samples.size()));
  } else {
    FindRootKeys(matches, vars);
    std::vector<int> roots;
    for (const InstrumentSample& sample : samples) roots.push_back(sample.root_key);
    keys = MultiKeyMap(roots);
  }
  for (std::size_t i = 0; i < samples.size(); ++i) {
    console.Write(
        Text({matches[i].name, "  ->  ", SlotText(static_cast<int>(i), keys, samples[i].root_key),
              "  ", ReportFormat(samples[i].info), "\n"}));
  }

  BuildInstrumentImage(samples, keys, InstrumentName(platform.BareName(output_path)), vars.header);
  std::vector<const File*> sources;
  for (const std::unique_ptr<File>& source : vars.instrument_sources)
    sources.push_back(source.get());
  RefuseToReplaceAForeignFile(output_path, platform);
  RefuseToReplaceAnInput(output_path, sources, platform);
  vars.OutputName = output_path;
  vars.OutputFile = platform.Create(output_path, Site::kOutputCreate);
  WriteHeaderImage(static_cast<std::uint8_t>(samples.size()), false, vars.header, *vars.OutputFile);
  const std::vector<std::int64_t> starts = SampleDataStarts(samples);
  for (std::size_t i = 0; i < samples.size(); ++i) {
    const WavInfo& info = samples[i].info;
    EncodeJob job{*vars.instrument_sources[i],
                  *vars.OutputFile,
                  info.DataOffset,
                  InstrumentSampleLength(info),
                  starts[i],
                  vars.buffers};
    EncodeSampleData(job, info, StereoHandling::kMix);
  }
  for (std::unique_ptr<File>& source : vars.instrument_sources) {
    source->Close(Site::kSourceClose);
    source.reset();
  }
  vars.OutputFile->Close(Site::kOutputClose);
  vars.OutputFile.reset();
  return exit_code::kSuccess;
}

}  // namespace brumlet
