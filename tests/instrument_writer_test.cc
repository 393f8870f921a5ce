// The one writer of instrument descriptions: what a description that the WAV modes never make
// (its own envelope and vibrato, per-sample volume and panning, a SoundFont-like sample range)
// becomes, byte for byte; and the descriptions it refuses.
#include "xi/instrument_writer.h"

#include <gtest/gtest.h>

#include "fake_platform.h"
#include "output_file.h"
#include "riff_builder.h"
#include "wav/wav_data.h"
#include "xi_expect.h"

namespace brumlet {
namespace {

using namespace brumlet::testing;

TEST(InstrumentWriter, StoresItsOwnEnvelopeVibratoVolumesAndPanning) {
  Instrument instrument;
  instrument.name = "Pad";
  instrument.envelope.points[0] = {0, 64};
  instrument.envelope.points[1] = {10, 32};
  instrument.envelope.points[2] = {300, 0};
  instrument.envelope.count = 3;
  instrument.envelope.sustain = 1;
  instrument.envelope.loop_start = 0;
  instrument.envelope.loop_end = 1;
  instrument.envelope.flags = 7;
  instrument.envelope.fade_out = 0x123;
  instrument.vibrato = {1, 2, 3, 4};
  for (std::size_t key = 48; key < 96; ++key) instrument.keys[key] = 1;
  FakePlatform p;
  p.AddFile("wav", {0, 0, 0x80, 0x81, 0x7F});
  p.AddFile("bank", Concat({Bytes(6, 0), Samples16({100, -4, 300, -7})}));
  std::vector<std::unique_ptr<File>> open;
  open.push_back(p.OpenRead("wav", Site::kSourceOpen));
  open.push_back(p.OpenRead("bank", Site::kSourceOpen));
  WavInfo wav;
  wav.DataOffset = 2;
  wav.DataLength = 3;
  AdpcmBuffers adpcm;
  WavData wav_data(*open[0], wav, adpcm);
  InstrumentSample eight{.name = "a",
                         .relative_note = -12,
                         .finetune = 5,
                         .frames = 3,
                         .loop = SampleLoop::kForward,
                         .loop_start = 1,
                         .loop_length = 2,
                         .volume = 40,
                         .panning = 200,
                         .source = {0, &wav_data}};
  // Two frames at offset 6 mixed with two at 10: (100 + 300) >> 1, (-4 + -7) >> 1.
  InstrumentSample mixed{.name = "b",
                         .relative_note = 7,
                         .sixteen_bit = true,
                         .frames = 2,
                         .volume = 10,
                         .panning = 0,
                         .source = {1, Pcm16Source{6, 10, 2}}};
  instrument.samples = {eight, mixed};

  std::vector<File*> files{open[0].get(), open[1].get()};
  std::unique_ptr<File> out = p.Create("out.xi", Site::kOutputCreate);
  XiHeaderBlock image;
  EncoderBuffers buffers;
  WriteInstrument(instrument, files, *out, image, buffers);

  Bytes expected = ExpectedInstrumentHeader(false, "Pad", 2);
  for (int key = 48; key < 96; ++key) expected[66 + key] = 1;
  const std::pair<int, int> points[] = {{0, 64}, {10, 32}, {300, 0}};
  for (int i = 0; i < 12; ++i) {
    const auto [tick, value] = i < 3 ? points[i] : std::pair<int, int>{0, 0};
    for (int b = 0; b < 2; ++b) {
      expected[162 + 4 * i + b] = static_cast<std::uint8_t>(tick >> (8 * b));
      expected[164 + 4 * i + b] = static_cast<std::uint8_t>(value >> (8 * b));
    }
  }
  const std::pair<int, int> fields[] = {{258, 3}, {260, 1},    {261, 0},   {262, 1},
                                        {266, 7}, {268, 1},    {269, 2},   {270, 3},
                                        {271, 4}, {272, 0x23}, {273, 0x01}};
  for (const auto& [offset, value] : fields) expected[offset] = static_cast<std::uint8_t>(value);
  Bytes a = Named(ExpectedSampleHeader(3, 1, 2, 5, 1, 200, -12), "a");
  a[12] = 40;
  Bytes b = Named(ExpectedSampleHeader(4, 0, 0, 0, 16, 0, 7), "b");
  b[12] = 10;
  expected = Concat({expected, a, b,
                     // 8-bit deltas from 127 of 0x80, 0x81, 0x7F taken as signed (u ^ 0x7F)...
                     Bytes{0xFF, 0xFF, 0x02},
                     // ...and 16-bit ones from -1 of 200 and -6.
                     Samples16({-1 - 200, 200 - -6})});
  EXPECT_EQ(p.Contents("out.xi"), expected);
}

TEST(InstrumentWriter, RefusesWhatAnXiCannotHold) {
  Instrument too_many;
  too_many.samples.resize(17);
  Instrument past_the_end;
  past_the_end.samples.resize(2);
  past_the_end.keys[95] = 2;
  Instrument left_alone;  // a left channel is read together with the right one behind it
  left_alone.samples.resize(2);
  left_alone.samples[0].source.channels = Channels::kLeft;
  for (const Instrument& instrument : {too_many, past_the_end, left_alone, Instrument{}}) {
    FakePlatform p;
    std::unique_ptr<File> out = p.Create("out.xi", Site::kOutputCreate);
    XiHeaderBlock image;
    EncoderBuffers buffers;
    EXPECT_THROW(WriteInstrument(instrument, {}, *out, image, buffers), Rejection);
    EXPECT_TRUE(p.Contents("out.xi").empty());
  }
  EXPECT_EQ(InstrumentFault(past_the_end), "key 95 plays sample 2, past the last one");
  EXPECT_EQ(InstrumentFault(left_alone), "sample 0 takes one channel without the other");
}

// What a rejection leaves of an output: nothing once it is abandoned; a finished one stays, and
// so does one a failed write left (the failure report explains it).
TEST(ScopedOutput, AbandonDeletesTheUnfinishedOutputAndCloseKeepsIt) {
  FakePlatform p;
  ScopedOutput output;
  output.Abandon(p);  // none open: nothing happens
  output.Create("a.xi", {}, p);
  output.file().Write(reinterpret_cast<const Byte*>("abc"), 3, Site::kHeaderWrite);
  output.Abandon(p);
  EXPECT_FALSE(p.Has("a.xi"));
  output.Create("b.xi", {}, p);
  output.Close();
  output.Abandon(p);
  EXPECT_TRUE(p.Has("b.xi"));
}

}  // namespace
}  // namespace brumlet
