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

void StoreSampleHeader(const InstrumentSample& sample, XiSampleHeader header) {
  const std::uint32_t width = sample.sixteen_bit ? 2 : 1;
  const bool loops = sample.loop != SampleLoop::kNone;
  // Products wrap at 32 bits, as the stored fields do.
  const std::uint32_t loop_start = loops ? sample.loop_start * width : 0;
  const std::uint32_t loop_length = loops ? sample.loop_length * width : 0;
  const auto type = static_cast<std::uint8_t>(static_cast<std::uint8_t>(sample.loop) |
                                              (sample.sixteen_bit ? kSixteenBitType : 0));
  InitSampleHeader(header, static_cast<std::int32_t>(StoredLength(sample)),
                   static_cast<std::int32_t>(loop_start), static_cast<std::int32_t>(loop_length),
                   sample.volume, sample.finetune, type, sample.panning, sample.relative_note);
  SetSampleName(header, sample.name);
}

// The bytes of data a sample takes in the file.
std::int64_t AreaLength(const InstrumentSample& sample) {
  return std::int64_t{StoredLength(sample)} + (sample.spare_byte ? 1 : 0);
}

// Frames made on demand, as the writer reads blocks: `frames` of them, through `scratch`.
class MadeFrames final : public SampleReader {
 public:
  MadeFrames(FrameSource& source, std::uint32_t frames, std::int16_t* scratch)
      : source_(source), left_(frames), scratch_(scratch) {}

  SampleFormat format() const override { return {SampleEncoding::kSigned16, 1}; }
  std::size_t Read(std::span<Byte> buffer) override {
    const std::size_t n = std::min<std::size_t>(buffer.size() / 2, left_);
    source_.Read(std::span<std::int16_t>(scratch_, n));
    for (std::size_t i = 0; i < n; ++i) {
      StoreU16(&buffer[2 * i], static_cast<std::uint16_t>(scratch_[i]));
    }
    left_ -= static_cast<std::uint32_t>(n);
    return 2 * n;
  }

 private:
  FrameSource& source_;
  std::uint32_t left_;
  std::int16_t* scratch_;
};

// A bank's frames, read range by range, mixed with the other side's where there is one (whose
// missing frames are silence), read into `side`.
class BankRange final : public SampleReader {
 public:
  BankRange(File& file, const Pcm16Source& source, std::uint32_t frames, Byte* side)
      : file_(file), source_(source), frames_(frames), side_(side) {}

  SampleFormat format() const override { return {SampleEncoding::kSigned16, 1}; }
  std::size_t Read(std::span<Byte> buffer) override {
    const std::size_t n = std::min<std::size_t>(buffer.size() / 2, frames_ - done_);
    if (n == 0) return 0;
    file_.Seek(source_.offset + 2 * std::int64_t{done_}, Site::kSourceSeek);
    file_.ReadExact(buffer.data(), 2 * n, Site::kSampleRead);
    if (source_.mixed_with_offset >= 0) {
      const std::size_t there =
          std::min<std::size_t>(n, source_.mixed_frames > done_ ? source_.mixed_frames - done_ : 0);
      if (there > 0) {
        file_.Seek(source_.mixed_with_offset + 2 * std::int64_t{done_}, Site::kSourceSeek);
        file_.ReadExact(side_, 2 * there, Site::kSampleRead);
      }
      std::fill(side_ + 2 * there, side_ + 2 * n, Byte{0});
      for (std::size_t i = 0; i < n; ++i) {
        StoreU16(&buffer[2 * i], static_cast<std::uint16_t>(
                                     MixStereo(LoadI16(&buffer[2 * i]), LoadI16(side_ + 2 * i))));
      }
    }
    done_ += static_cast<std::uint32_t>(n);
    return 2 * n;
  }

 private:
  File& file_;
  Pcm16Source source_;
  std::uint32_t frames_;
  Byte* side_;
  std::uint32_t done_ = 0;
};

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
  const std::vector<InstrumentSample>& samples = instrument.samples;
  for (std::size_t slot = 0; slot < samples.size(); ++slot) {
    StoreSampleHeader(samples[slot], SampleHeaderAt(image, static_cast<int>(slot)));
  }
  std::int64_t start = WriteHeaderImage(static_cast<int>(samples.size()), image, output);
  for (std::size_t i = 0; i < samples.size();) {
    const InstrumentSample& sample = samples[i];
    const SampleData& data = sample.source.data;
    const SampleArea area{start, AreaLength(sample)};
    start += area.length;
    ++i;
    if (SampleReader* const* reader = std::get_if<SampleReader*>(&data)) {
      if (sample.source.channels == Channels::kLeft) {  // its right sample follows
        const SampleArea right{start, AreaLength(samples[i])};
        EncodeStereoPair(**reader, area, right, output, buffers);
        start += right.length;
        ++i;
      } else {
        EncodeSample(**reader, area, output, buffers);
      }
    } else if (FrameSource* const* made = std::get_if<FrameSource*>(&data)) {
      MadeFrames frames(**made, sample.frames, buffers.frames.get());
      EncodeSample(frames, area, output, buffers);
    } else if (const auto* range = std::get_if<Pcm16Source>(&data)) {
      // The longest run of ranges of the same file from here, through one writer.
      File& file = *sources[sample.source.file];
      std::vector<BankRange> ranges{{file, *range, sample.frames, buffers.right.get()}};
      for (; i < samples.size() && samples[i].source.file == sample.source.file &&
             std::holds_alternative<Pcm16Source>(samples[i].source.data);
           ++i) {
        ranges.emplace_back(file, std::get<Pcm16Source>(samples[i].source.data), samples[i].frames,
                            buffers.right.get());
        start += AreaLength(samples[i]);
      }
      std::vector<SampleReader*> readers;
      for (BankRange& r : ranges) readers.push_back(&r);
      EncodeRun(readers, {area.start, start - area.start}, output, buffers);
    }
  }
  // The file ends where the last sample's data does: cut there, or extended with zeros where a
  // reader ended early (a data chunk that declares more than its file holds).
  output.Seek(start, Site::kOutputSeek);
  output.Truncate(Site::kOutputTruncate);
}

}  // namespace brumlet
