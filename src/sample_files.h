// The samples an SFZ's regions play: WAV and FLAC files found beside it, and the waveforms SFZ
// names instead of a file (*sine, *silence). A sample's head is read to plan with (its rate,
// length, loop and unity note); its frames only when the plan keeps it, decoded whole into
// 16-bit mono frames (stereo mixed as --mono mixes it), and kept while there is room, since a
// file's several regions and a kit's keys read it again and again.
#pragma once

#include <cstdint>
#include <list>
#include <optional>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "sampler/key_render_source.h"
#include "sfz/zones.h"
#include "wav/wav_data.h"

namespace brumlet {

/// The longest sample read: 64 Mi frames (25 minutes at 44.1 kHz), far beyond a real region's.
inline constexpr std::int64_t kMostSampleFrames = std::int64_t{1} << 26;

class SampleFiles final : public sampler::FrameReader {
 public:
  explicit SampleFiles(Platform& platform) : platform_(platform) {}

  /// Forgets every sample: the next SFZ's are numbered from 0.
  void Clear();

  /// The index of the sample file at `path` (as found on the platform), added on first use.
  std::uint32_t AddFile(const std::string& path);
  /// The index of a sine of one 256-frame cycle that sounds `key` (a MIDI note) at its rate.
  std::uint32_t AddSine(int key);
  /// The index of a short silence.
  std::uint32_t AddSilence();

  std::size_t size() const { return samples_.size(); }
  /// The sample's name as an XI stores it: the file's name without its folder and extension.
  const std::string& name(std::uint32_t sample) const { return samples_[sample].name; }
  /// The sample's facts, its head read on first use; nothing when the file cannot be read as a
  /// sample, `problem` then saying why ("is not a WAV or FLAC file", "frame 3: CRC-16 mismatch").
  std::optional<sfz::SampleFacts> Facts(std::uint32_t sample, std::string& problem);
  /// Decodes the sample (keeping its frames while there is room) and says what is wrong with its
  /// data, empty when nothing is: a FLAC stream is checked whole, frame by frame and against its
  /// MD5, only when it is decoded.
  std::string Check(std::uint32_t sample);
  /// Bytes of the files whose heads were read, for the output's budget.
  std::uint64_t bytes_opened() const { return bytes_opened_; }

  /// The frames of `range` (frames past the sample's end are silence). Throws RunFailure where a
  /// read fails, and Rejection where a file no longer decodes as its head said.
  void Read(const sampler::FrameRange& range, std::span<std::int16_t> out) override;

 private:
  enum class Kind { kWav, kFlac, kSine, kSilence };
  struct Entry {
    Kind kind = Kind::kWav;
    std::string path;
    std::string name;
    int key = 60;
    bool opened = false;
    std::optional<sfz::SampleFacts> facts;
    std::string problem;
  };
  struct Decoded {
    std::uint32_t sample = 0;
    std::vector<std::int16_t> frames;
  };

  std::uint32_t Add(Entry entry);
  void Open(Entry& entry);
  const std::vector<std::int16_t>& FramesOf(std::uint32_t sample);
  const std::vector<std::int16_t>* Kept(std::uint32_t sample);
  const std::vector<std::int16_t>& Keep(std::uint32_t sample, std::vector<std::int16_t> frames);
  std::vector<std::int16_t> Decode(const Entry& entry, std::string& problem);

  Platform& platform_;
  std::vector<Entry> samples_;
  std::uint64_t bytes_opened_ = 0;
  std::list<Decoded> decoded_;  ///< the most recently read first
  WavInfo wav_info_;
  SmplImage smpl_;
  AdpcmBuffers adpcm_;
  std::vector<Byte> block_;
};

}  // namespace brumlet
