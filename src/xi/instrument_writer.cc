#include "xi/instrument_writer.h"

#include <algorithm>
#include <type_traits>

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

void EncodeSample(const InstrumentSample& sample, File& source, File& output, std::int64_t start,
                  EncoderBuffers& buffers) {
  const auto length = static_cast<std::int32_t>(sample.frames * Width(sample));
  std::visit(
      [&](const auto& data) {
        using Data = std::decay_t<decltype(data)>;
        if constexpr (std::is_same_v<Data, WavDataSource>) {
          EncodeJob job{source, output, data.info.DataOffset, length, start, buffers};
          EncodeSampleData(job, data.info, data.stereo);
        } else {
          EncodePcm16(source, output, {data.offset, sample.frames},
                      {data.mixed_with_offset, data.mixed_frames}, start, buffers);
        }
      },
      sample.source.data);
}

}  // namespace

void WriteInstrument(const Instrument& instrument, std::span<File* const> sources, File& output,
                     XiHeaderBlock& image, EncoderBuffers& buffers) {
  if (const std::string fault = InstrumentFault(instrument); !fault.empty()) {
    throw InstrumentNotWritable(instrument.name, fault);
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
  for (const InstrumentSample& sample : instrument.samples) {
    EncodeSample(sample, *sources[sample.source.file], output, start, buffers);
    start += static_cast<std::int64_t>(sample.frames) * Width(sample);
  }
}

}  // namespace brumlet
