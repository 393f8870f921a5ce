#include "xi/instrument_writer.h"

#include <algorithm>
#include <variant>
#include <vector>

#include "messages.h"
#include "xi/sampleinit.h"

namespace brumlet {
namespace {

// Sample type: bits 0-1 the loop kind, bit 4 16-bit data.
constexpr std::uint8_t kSixteenBitType = 16;

std::uint32_t Width(const InstrumentSample& sample) { return sample.sixteen_bit ? 2 : 1; }

void StoreSampleHeader(const InstrumentSample& sample, XiSampleHeader header) {
  const std::uint32_t width = Width(sample);
  const bool loops = sample.loop != SampleLoop::kNone;
  // Products wrap at 32 bits, as the stored fields do.
  const std::uint32_t loop_start = loops ? sample.loop_start * width : 0;
  const std::uint32_t loop_length = loops ? sample.loop_length * width : 0;
  const auto type = static_cast<std::uint8_t>(static_cast<std::uint8_t>(sample.loop) |
                                              (sample.sixteen_bit ? kSixteenBitType : 0));
  InitSampleHeader(header, static_cast<std::int32_t>(sample.frames * width),
                   static_cast<std::int32_t>(loop_start), static_cast<std::int32_t>(loop_length),
                   sample.volume, sample.finetune, type, sample.panning, sample.relative_note);
  SetSampleName(header, sample.name);
}

// A run of samples whose frames lie in one file as 16-bit frames: encoded through one writer, so
// that a bank's many short samples take few writes.
void EncodePcm16Run(std::span<const InstrumentSample> run, File& source, File& output,
                    std::int64_t start, EncoderBuffers& buffers) {
  std::vector<Pcm16Sample> samples;
  for (const InstrumentSample& sample : run) {
    const auto& data = std::get<Pcm16Source>(sample.source.data);
    samples.push_back({{data.offset, sample.frames}, {data.mixed_with_offset, data.mixed_frames}});
  }
  EncodePcm16(source, output, samples, start, buffers);
}

}  // namespace

void WriteInstrument(const Instrument& instrument, std::span<File* const> sources, File& output,
                     XiHeaderBlock& image, EncoderBuffers& buffers) {
  if (const std::string fault = InstrumentFault(instrument); !fault.empty()) {
    throw InstrumentNotWritable(DisplayText(instrument.name), fault);
  }
  InitHeaderImage(image);
  std::copy(instrument.keys.begin(), instrument.keys.end(),
            image.bytes.begin() + xi::kKeyMapOffset);
  SetInstrumentName(image, instrument.name);
  StoreEnvelope(image, instrument.envelope, instrument.vibrato);
  int slot = 0;
  for (const InstrumentSample& sample : instrument.samples) {
    StoreSampleHeader(sample, SampleHeaderAt(image, slot++));
  }
  std::int64_t start =
      WriteHeaderImage(static_cast<std::uint8_t>(instrument.samples.size()), false, image, output);
  const std::vector<InstrumentSample>& samples = instrument.samples;
  for (std::size_t i = 0; i < samples.size();) {
    const InstrumentSample& sample = samples[i];
    File& source = *sources[sample.source.file];
    if (FrameSource* const* made = std::get_if<FrameSource*>(&sample.source.data)) {
      EncodeFrames(**made, sample.frames, output, start, buffers);
      start += 2 * static_cast<std::int64_t>(sample.frames);
      ++i;
      continue;
    }
    if (const auto* wav = std::get_if<WavDataSource>(&sample.source.data)) {
      const auto length = static_cast<std::int32_t>(sample.frames * Width(sample));
      EncodeJob job{source, output, wav->info.DataOffset, length, start, buffers};
      EncodeSampleData(job, wav->info, wav->stereo);
      start += length;
      ++i;
      continue;
    }
    // The longest run of 16-bit frame ranges in the same file from here.
    std::size_t end = i + 1;
    while (end < samples.size() && samples[end].source.file == sample.source.file &&
           std::holds_alternative<Pcm16Source>(samples[end].source.data)) {
      ++end;
    }
    const std::span<const InstrumentSample> run(samples.data() + i, end - i);
    EncodePcm16Run(run, source, output, start, buffers);
    for (const InstrumentSample& s : run) start += 2 * static_cast<std::int64_t>(s.frames);
    i = end;
  }
}

}  // namespace brumlet
