#include "instruments.h"

#include <algorithm>
#include <optional>

#include "failure.h"
#include "messages.h"
#include "naming/note_name.h"
#include "output_file.h"
#include "wav/scan_wav.h"
#include "wav/wav_data.h"
#include "xi/instrument.h"
#include "xi/instrument_writer.h"
#include "xi/keys.h"

namespace brumlet {
namespace {

// The instrument is named after its file, without the ".xi" that every XI file name ends in.
std::string_view InstrumentName(std::string_view output_name) {
  if (EndsInXi(output_name)) output_name.remove_suffix(3);
  return output_name;
}

// What the scan found of one source, and the key it is played on at its own rate.
struct ScannedSource {
  WavInfo info;
  std::string name;  ///< its title, or else its file name
  int root_key = kMiddleC;
};

// A multisample's root keys: the note name in each file name, else the smpl chunk's unity note.
void FindRootKeys(const std::vector<Match>& matches, std::vector<ScannedSource>& sources) {
  for (std::size_t i = 0; i < sources.size(); ++i) {
    std::optional<std::int64_t> root = RootKeyInName(matches[i].name);
    if (!root && sources[i].info.UnityNote) root = *sources[i].info.UnityNote;
    if (!root) throw NoRootKey(DisplayText(matches[i].name));
    if (*root >= xi::kKeyCount) throw RootKeyTooHigh(DisplayText(matches[i].name), *root);
    sources[i].root_key = static_cast<int>(*root);
    for (std::size_t j = 0; j < i; ++j) {
      if (sources[j].root_key == sources[i].root_key) {
        throw SameRootKey(DisplayText(matches[j].name), DisplayText(matches[i].name),
                          TrackerNoteName(sources[i].root_key));
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

// One sample as the WAV's own conversion would make it, a stereo WAV mixed into one, played at
// its own rate on its root key. A 16-bit sample keeps whole values only, so that every later
// sample's data starts on a value of its own. Throws RunFailure for a rate that has no pitch.
InstrumentSample SampleOf(const ScannedSource& source, WavData& data) {
  InstrumentSample sample = WavSamples(source.info, StereoHandling::kMix, data).front();
  sample.name = source.name;
  sample.root_key = source.root_key;
  // A sample plays at its own rate on key 60; k keys lower it must sound k semitones higher.
  sample.relative_note = static_cast<std::int8_t>(
      static_cast<std::uint8_t>(sample.relative_note + (kMiddleC - source.root_key)));
  sample.odd_byte = false;
  return sample;
}

}  // namespace

InstrumentBuild::InstrumentBuild(InstrumentKind kind, std::string output_path, std::string pattern)
    : kind_(kind), output_path_(std::move(output_path)), pattern_(std::move(pattern)) {}

int InstrumentBuild::Run(Platform& platform) {
  const std::vector<Match> matches = platform.Search(pattern_);
  if (matches.empty()) throw NothingMatches(DisplayText(pattern_));
  if (matches.size() > xi::kSampleSlots)
    throw TooManySamples(DisplayText(pattern_), matches.size());
  Console& console = platform.console();
  console.Write(InstrumentProcessingLine(DisplayText(pattern_),
                                         kind_ == InstrumentKind::kKit ? "kit" : "multisample",
                                         DisplayText(output_path_)));

  // Every source is scanned, and kept open for its data, before anything is written; a source
  // that is not a WAV, or has no data, ends the run as it does for a conversion of its own.
  std::vector<ScannedSource> scanned(matches.size());
  SmplImage smpl;
  for (std::size_t i = 0; i < matches.size(); ++i) {
    scanning_ = platform.OpenRead(matches[i].path, Site::kSourceOpen);
    ScanWav(*scanning_, DisplayText(matches[i].name), scanned[i].info, smpl);
    scanned[i].name = scanned[i].info.Title.empty() ? matches[i].name : scanned[i].info.Title;
    sources_.push_back(std::move(scanning_));
  }

  Instrument instrument;
  instrument.name = InstrumentName(platform.BareName(output_path_));
  instrument.envelope = PluckedEnvelope();
  if (kind_ == InstrumentKind::kKit) {
    for (std::size_t i = 0; i < scanned.size(); ++i) {
      scanned[i].root_key = kMiddleC + static_cast<int>(i);
    }
    instrument.keys = KitKeyMap(static_cast<int>(scanned.size()));
  } else {
    FindRootKeys(matches, scanned);
    std::vector<int> roots;
    for (const ScannedSource& source : scanned) roots.push_back(source.root_key);
    instrument.keys = MultiKeyMap(roots);
  }
  for (std::size_t i = 0; i < scanned.size(); ++i) {
    console.Write(Text({DisplayText(matches[i].name), "  ->  ",
                        SlotText(static_cast<int>(i), instrument.keys, scanned[i].root_key), "  ",
                        ReportFormat(scanned[i].info), "\n"}));
  }
  std::vector<WavData> data;
  data.reserve(scanned.size());  // the samples point to them
  for (std::size_t i = 0; i < scanned.size(); ++i) {
    data.emplace_back(*sources_[i], scanned[i].info, adpcm_);
    instrument.samples.push_back(SampleOf(scanned[i], data.back()));
  }

  // A description the XI cannot hold is refused before the output is created or replaced.
  if (const std::string fault = InstrumentFault(instrument); !fault.empty()) {
    throw InstrumentNotWritable(DisplayText(instrument.name), fault);
  }
  RefuseToReplaceAForeignFile(output_path_, platform);
  std::vector<const File*> inputs;
  for (const std::unique_ptr<File>& source : sources_) inputs.push_back(source.get());
  output_.Create(output_path_, inputs, platform);
  WriteInstrument(instrument, {}, output_.file(), image_, buffers_);
  for (std::unique_ptr<File>& source : sources_) {
    source->Close(Site::kSourceClose);
    source.reset();
  }
  output_.Close();
  return exit_code::kSuccess;
}

void InstrumentBuild::AbortCurrentFile(Platform& platform) {
  if (scanning_) {
    scanning_->Close(Site::kSourceClose);
    scanning_.reset();
  }
  output_.Abandon(platform);
}

}  // namespace brumlet
