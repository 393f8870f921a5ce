// What a scanned WAV becomes in an instrument description: its samples, and its data as the
// writer reads it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/platform.h"
#include "wav/wav_info.h"
#include "xi/instrument.h"
#include "xi/sample_reader.h"

namespace brumlet {

/// What becomes of a stereo source: a left and a right sample (the left on most keys, the right
/// on the top two octaves), or one sample mixed from both channels, (L + R) >> 1, which sounds
/// from both speakers on every key.
enum class StereoHandling { kSplit, kMix };

/// ADPCM blocks on their way to 16-bit frames: grown to the first ADPCM source's needs, and
/// shared by the readers of a run, which the writer reads one after the other.
struct AdpcmBuffers {
  std::vector<Byte> blocks;
  std::vector<std::int16_t> frames;
};

/// A WAV's data as the writer reads it: from the data chunk to the end of the file (bytes after
/// the chunk complete the frame it ends in; the writer drops what passes a sample's length), as
/// stored, or for ADPCM decoded block by block into 16-bit frames.
class WavData final : public SampleReader {
 public:
  /// `source`, `info` and `buffers` outlive the reader.
  WavData(File& source, const WavInfo& info, AdpcmBuffers& buffers);

  SampleFormat format() const override { return format_; }
  std::size_t Read(std::span<Byte> buffer) override;

 private:
  std::size_t ReadAdpcm(std::span<Byte> buffer);

  File& source_;
  const WavInfo& info_;
  AdpcmBuffers& buffers_;
  SampleFormat format_;
  bool started_ = false;
  std::size_t blocks_filled_ = 0, blocks_next_ = 0;  ///< ADPCM bytes read and decoded
  std::size_t frames_made_ = 0, frames_next_ = 0;    ///< frames of the block decoded, handed over
};

/// The samples a WAV becomes, each reading `data`, pitched to play at the source's own rate on
/// C-5, with its first loop: one centred sample (mono, or stereo mixed), or a left sample, panned
/// hard left, and a right one, panned hard right and tuned an octave lower, so that it too plays
/// at its own rate on the first key it owns (C-6). Lengths are the data chunk's as it declares
/// them, odd ones kept, for converted sources two bytes for every sample of each whole frame it
/// declares (for ADPCM, that it decodes to); a stereo split gives each half of that, rounded
/// down, and the right sample's data the rest. Throws RunFailure for a rate that has no pitch.
std::vector<InstrumentSample> WavSamples(const WavInfo& info, StereoHandling stereo,
                                         SampleReader& data);

}  // namespace brumlet
