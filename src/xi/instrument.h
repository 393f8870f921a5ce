// An XI instrument as a plain description: what every mode produces (the plain conversion of a
// WAV, a kit or a multisample of WAVs, a SoundFont preset), and what one writer turns into the
// file. The description holds values in the units musicians and readers think in (frames,
// keys, 0..64 volumes); the writer alone knows the bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <variant>
#include <vector>

#include "xi/envelope.h"
#include "xi/frame_source.h"
#include "xi/keys.h"
#include "xi/sample_reader.h"

namespace brumlet {

/// 16-bit little-endian mono frames at a place in a file (a SoundFont's sample data); with a
/// second range, the two are mixed into one sample, (L + R) >> 1, as a stereo WAV is mixed.
struct Pcm16Source {
  std::int64_t offset = 0;              ///< of the first frame
  std::int64_t mixed_with_offset = -1;  ///< of the other side's first frame; -1 for none
  std::uint32_t mixed_frames = 0;       ///< the other side's frames; past them it is silence
  bool operator==(const Pcm16Source&) const = default;
};

/// Where a sample's data comes from: nowhere (a slot that only carries a name), a bank's frames,
/// a reader's blocks (a WAV's data), or frames made as they are written. Readers and frame
/// sources are owned by the caller of the writer.
using SampleData = std::variant<std::monostate, Pcm16Source, SampleReader*, FrameSource*>;

/// What a sample takes of a two-channel reader: both channels mixed, or one of them. A left
/// sample must be followed by the right one of the same reader: the reader is read once for both.
enum class Channels : std::uint8_t { kMixed, kLeft, kRight };

struct SampleSource {
  std::size_t file = 0;  ///< for a Pcm16Source: which of the open files handed to the writer
  SampleData data;
  Channels channels = Channels::kMixed;
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
  /// A byte behind the last frame of 16-bit data that the stored length counts: the plain
  /// conversion keeps a data chunk's odd length as it is (the instrument modes drop the byte).
  bool odd_byte = false;
  /// A byte of data behind the sample that its stored length does not count: a stereo WAV of an
  /// odd length leaves it to its right channel, whose data fills the file to the chunk's length.
  bool spare_byte = false;
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

/// The length the sample's header gives it, in bytes.
std::uint32_t StoredLength(const InstrumentSample& sample);

/// The bytes the writer makes of `instrument`: the instrument header, a sample header for each
/// sample, and each sample's data.
std::uint64_t WrittenBytes(const Instrument& instrument);

/// Why `instrument` cannot be written (no samples, more than 16, a key that plays a sample past
/// the last one, a left channel without its right one); empty when it can.
std::string InstrumentFault(const Instrument& instrument);

}  // namespace brumlet
