// An XI instrument as a plain description: what every mode that builds an instrument of its own
// (a kit or a multisample of WAVs, a SoundFont preset) produces, and what one writer turns into
// the file. The description holds values in the units musicians and readers think in (frames,
// keys, 0..64 volumes); the writer alone knows the bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <variant>
#include <vector>

#include "wav/wav_info.h"
#include "xi/envelope.h"
#include "xi/frame_source.h"
#include "xi/keys.h"
#include "xi/sample_layout.h"

namespace brumlet {

/// A WAV's data chunk, read and encoded as that WAV's own conversion would encode it.
struct WavDataSource {
  WavInfo info;
  StereoHandling stereo = StereoHandling::kMix;
};

/// 16-bit little-endian mono frames at a place in a file (a SoundFont's sample data); with a
/// second range, the two are mixed into one sample, (L + R) >> 1, as a stereo WAV is mixed.
struct Pcm16Source {
  std::int64_t offset = 0;              ///< of the first frame
  std::int64_t mixed_with_offset = -1;  ///< of the other side's first frame; -1 for none
  std::uint32_t mixed_frames = 0;       ///< the other side's frames; past them it is silence
};

/// Where a sample's frames come from, and so how they become XI sample data: a WAV's data, a
/// bank's frames, or frames made as they are written (owned by the caller of the writer).
using SampleData = std::variant<WavDataSource, Pcm16Source, FrameSource*>;

struct SampleSource {
  std::size_t file = 0;  ///< which of the open files handed to the writer
  SampleData data;
};

/// How a sample loops: the XI's loop kinds.
enum class SampleLoop : std::uint8_t { kNone = 0, kForward = 1, kPingPong = 2 };

struct InstrumentSample {
  std::string name;         ///< up to 22 bytes are stored
  int root_key = kMiddleC;  ///< the key on which it plays at its own rate; shown, not stored
  /// Its tuning: together, relative_note x 128 + finetune in 1/128 semitones above the rate
  /// the tracker plays a sample at on C-4.
  std::int8_t relative_note = 0;
  std::int8_t finetune = 0;
  bool sixteen_bit = false;
  std::uint32_t frames = 0;  ///< the stored sample's length
  SampleLoop loop = SampleLoop::kNone;
  /// Loop start and length in frames. Taken as they come, and multiplied into bytes with 32-bit
  /// wrap-around: a WAV's loop points are not checked, and a reader must not see the product
  /// change with the machine.
  std::uint32_t loop_start = 0;
  std::uint32_t loop_length = 0;
  std::uint8_t volume = xi::kFullVolume;  ///< 0..64
  std::uint8_t panning = xi::kCentrePanning;
  SampleSource source;
};

struct Instrument {
  std::string name;  ///< up to 22 bytes are stored
  xi::VolumeEnvelope envelope;
  xi::AutoVibrato vibrato;
  KeyMap keys{};                          ///< for each key, the sample it plays
  std::vector<InstrumentSample> samples;  ///< 1 to 16
};

/// The bytes the writer makes of `instrument`: the instrument header, a sample header for each
/// sample, and each sample's data.
std::uint64_t WrittenBytes(const Instrument& instrument);

/// Why `instrument` cannot be written (no samples, more than 16, a key that plays a sample past
/// the last one); empty when it can.
std::string InstrumentFault(const Instrument& instrument);

}  // namespace brumlet
