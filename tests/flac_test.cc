// The FLAC decoder over streams built in code (flac_builder.h): every subframe kind, block size
// and sample rate code, the stereo decorrelations, the 16-bit reduction and the mono mix, every
// refusal, a cut at every length; MD5 against RFC 1321's digests; the example streams of
// RFC 9639, byte for byte.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>

#include "fake_platform.h"
#include "flac/flac_decoder.h"
#include "flac_builder.h"

namespace brumlet::flac {
namespace {

using namespace brumlet::testing;

struct Decoded {
  Status status;
  StreamInfo info;
  std::vector<std::int32_t> samples;
};

const Faults kNoFaults;

MemFile FileOf(const Bytes& bytes, const Faults& faults = kNoFaults) {
  auto node = std::make_shared<MemNode>();
  node->bytes = bytes;
  return MemFile(node, faults);
}

Decoded Decode(const Bytes& bytes, const Faults& faults = kNoFaults) {
  MemFile file = FileOf(bytes, faults);
  Decoder decoder(file, Site::kSampleRead);
  Decoded d;
  d.status = decoder.Open();
  d.info = decoder.info();
  std::vector<std::int32_t> block(decoder.max_block_samples());
  while (const std::size_t frames = decoder.DecodeFrame(block)) {
    d.samples.insert(d.samples.end(), block.begin(), block.begin() + frames * d.info.channels);
  }
  if (d.status.ok()) d.status = decoder.status();
  return d;
}

Bytes FromHex(const std::string& hex) {
  Bytes bytes;
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
    bytes.push_back(static_cast<std::uint8_t>(std::stoi(hex.substr(i, 2), nullptr, 16)));
  }
  return bytes;
}

std::vector<std::int32_t> Interleaved(const StreamDef& def) {
  std::vector<std::int32_t> out;
  for (const FrameDef& f : def.frames) {
    for (std::size_t i = 0; i < f.channels[0].size(); ++i) {
      for (const Samples& c : f.channels) out.push_back(static_cast<std::int32_t>(c[i]));
    }
  }
  return out;
}

TEST(Md5, GivesTheDigestsOfRfc1321InAnyPieces) {
  const std::pair<std::string, std::string> cases[] = {
      {"", "d41d8cd98f00b204e9800998ecf8427e"},
      {"a", "0cc175b9c0f1b6a831c399e269772661"},
      {"abc", "900150983cd24fb0d6963f7d28e17f72"},
      {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
      {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
      {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789",
       "d174ab98d277d9f5a5611c2c9f419d9f"},
      {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
       "57edf4a22be3c955ac49da2e2107b67a"}};
  for (const auto& [message, digest] : cases) {
    for (std::size_t piece : {1, 7, 63, 100}) {
      Md5 md5;
      for (std::size_t at = 0; at < message.size(); at += piece) {
        md5.Update(reinterpret_cast<const Byte*>(message.data()) + at,
                   std::min(piece, message.size() - at));
      }
      std::string hex;
      for (Byte b : md5.Finish())
        hex += "0123456789abcdef"[b >> 4], hex += "0123456789abcdef"[b & 15];
      EXPECT_EQ(hex, digest) << '"' << message << "\" in pieces of " << piece;
    }
  }
}

// Two examples of RFC 9639, Appendix D: verbatim samples with wasted bits, and linear prediction
// with an escaped partition.
TEST(FlacDecoder, DecodesTheExampleStreamsOfRfc9639) {
  const Decoded one =
      Decode(FromHex("664c6143800000221000100000000f00000f0ac442f00000"
                     "00013e84b41807dc690307586a3dad1a2e0ffff869180000"
                     "bf0358fd03128baa9a"));
  EXPECT_TRUE(one.status.ok()) << one.status.Reason();
  EXPECT_EQ(one.samples, (std::vector<std::int32_t>{25588, 10416}));

  const Decoded three =
      Decode(FromHex("664c6143800000221000100000001f00001f07d000700000"
                     "0018f8f9e396f5cbcfc6dc807f9977906b32fff868020017"
                     "e944004f6f313d1047d227cb6d090831452bdc2822228057"
                     "a3"));
  EXPECT_TRUE(three.status.ok()) << three.status.Reason();
  ASSERT_EQ(three.samples.size(), 24u);
  EXPECT_EQ(
      std::vector(three.samples.begin(), three.samples.begin() + 15),
      (std::vector<std::int32_t>{0, 79, 111, 78, 8, -61, -90, -68, -13, 42, 67, 53, 13, -27, -46}));
}

TEST(FlacDecoder, DecodesEverySubframeKindAndChannelLayout) {
  const Samples tone = Wave(4096, 16), quiet = Wave(4096, 16, 0.05, 7);
  const Samples ramp = [] {
    Samples v;
    for (std::int64_t i = 0; i < 512; ++i) v.push_back(3 * i - 700);
    return v;
  }();
  SubframeDef escaped = Fixed(2, 3), zero_width = Fixed(2, 2), rice5 = Fixed(0, 1),
              wasted = Fixed(1);
  escaped.escape_bits = 13;
  zero_width.escape_bits = 0;
  rice5.rice5 = true;
  wasted.wasted = 8;
  SubframeDef unary = Fixed(1);  // Rice parameter 0: the folded residual in unary, past 64 bits
  unary.rice = 0;
  SubframeDef wasted_verbatim;
  wasted_verbatim.wasted = 8;
  Samples shifted = tone, full_left = Wave(4096, 32), full_right;
  for (std::int64_t& v : shifted) v *= 256;
  for (std::int64_t v : full_left) full_right.push_back(-v + 12345);
  std::vector<Samples> eight;
  std::vector<SubframeDef> eight_kinds;
  for (int c = 0; c < 8; ++c) {
    eight.push_back(Wave(300, 12, 0.01 * (c + 1), c));
    eight_kinds.push_back(c % 2 == 0 ? Fixed(c % 5) : SubframeDef{});
  }
  const SubframeDef good2 = Lpc({2048, -1024}, 13, 10);  // 2 x s[i-1] - s[i-2]
  std::vector<int> many(32);
  for (int j = 0; j < 32; ++j) many[j] = (j % 2 == 0 ? 1 : -1) * (16000 >> (j / 4));

  const std::pair<std::string, StreamDef> cases[] = {
      {"constant", Stream({Frame({Samples(300, -1234)}, {Kind(SubframeDef::kConstant)}, 16)})},
      {"verbatim, 8 bits", Stream({Frame({Wave(40, 8)}, {{}}, 8)})},
      {"fixed, orders 0 to 4",
       Stream({Frame({tone}, {Fixed(0)}, 16), Frame({tone}, {Fixed(1, 4)}, 16),
               Frame({tone}, {Fixed(2, 8)}, 16), Frame({tone}, {Fixed(3)}, 16),
               Frame({tone}, {Fixed(4, 8)}, 16)})},
      {"linear, 32-bit sums",
       Stream({Frame({tone}, {Lpc({1200, -300, 250, 7, -90, 3, 1, -1}, 12, 10)}, 16)})},
      {"linear, 39-bit sums",
       Stream({Frame({Wave(4096, 24)}, {Lpc({1900, -1800, 1700, 100, -50, 20, -10, 5}, 12, 11)},
                     24)})},
      {"linear, order 32, 64-bit sums", Stream({Frame({Wave(4096, 24)}, {Lpc(many, 15, 14)}, 24)})},
      {"linear, 32-bit audio", Stream({Frame({full_left}, {good2}, 32)})},
      {"wasted bits", Stream({Frame({shifted, shifted}, {wasted, wasted_verbatim}, 24)})},
      {"escaped partitions",
       Stream({Frame({tone}, {escaped}, 16), Frame({ramp}, {zero_width}, 16)})},
      {"Rice codes longer than the bit cache", Stream({Frame({Wave(300, 12)}, {unary}, 12)})},
      {"5-bit Rice parameters", Stream({Frame({Wave(4096, 24, 3.0)}, {rice5}, 24)})},
      {"left-side", Stream({Frame({tone, quiet}, {Fixed(2), Fixed(1)}, 16, 8)})},
      {"side-right", Stream({Frame({tone, quiet}, {Fixed(2), Fixed(1)}, 16, 9)})},
      {"mid-side", Stream({Frame({tone, quiet}, {Fixed(2), good2}, 16, 10)})},
      {"33-bit side channels", Stream({Frame({full_left, full_right}, {good2, Fixed(1)}, 32, 8),
                                       Frame({full_left, full_right}, {good2, good2}, 32, 9),
                                       Frame({full_left, full_right}, {good2, good2}, 32, 10)})},
      {"8 channels, 12 bits", Stream({Frame(eight, eight_kinds, 12)})},
      {"4 bits, length and MD5 not known", [] {
         StreamDef d = Stream({Frame({Samples{7, -8, 0, 3}}, {{}}, 4)});
         d.total = 0;
         d.md5 = false;
         return d;
       }()},
      {"20 bits", Stream({Frame({Wave(1000, 20)}, {Fixed(2)}, 20)})},
      {"a frame over several buffer loads",
       Stream({Frame({Wave(65535, 24), Wave(65535, 24, 0.02)}, {}, 24)})},
  };
  for (const auto& [name, def] : cases) {
    const Decoded d = Decode(Flac(def));
    EXPECT_TRUE(d.status.ok()) << name << ": " << d.status.Reason();
    EXPECT_EQ(d.samples, Interleaved(def)) << name;
  }
}

TEST(FlacDecoder, ReadsEveryBlockSizeAndSampleRateCode) {
  // Block sizes of each code (with 8- and 16-bit sizes last), each with a rate of each code: the
  // 11 in the table, kHz, Hz and tens of Hz, and one only STREAMINFO holds.
  const std::uint32_t sizes[] = {192,  576,  1152, 2304,  4608,  256, 512, 1024,
                                 2048, 4096, 8192, 16384, 32768, 17,  300};
  const std::uint32_t rates[] = {88200, 176400, 192000, 8000, 16000, 22050,  24000, 32000,
                                 44100, 48000,  96000,  7000, 11025, 100000, 100001};
  for (std::size_t i = 0; i < std::size(sizes); ++i) {
    FrameDef frame = Frame({Wave(sizes[i], 8)}, {Fixed(1)}, 8);
    frame.rate = rates[i];
    const StreamDef def = Stream({frame});
    const Decoded d = Decode(Flac(def));
    EXPECT_TRUE(d.status.ok()) << sizes[i] << " at " << rates[i] << ": " << d.status.Reason();
    EXPECT_EQ(d.samples, Interleaved(def)) << sizes[i];
  }
}

TEST(FlacDecoder, ReadsVariableBlockSizesAndMetadataBetweenTags) {
  StreamDef def =
      Stream({Frame({Wave(65535, 16)}, {Fixed(2)}, 16), Frame({Wave(1000, 16)}, {Fixed(2)}, 16),
              Frame({Wave(16, 16)}, {{}}, 16)});
  for (FrameDef& f : def.frames) f.variable = true;  // coded numbers 0, 65535 and 66535
  def.blocks = {MetadataBlock(1, Bytes(1000, 0)), MetadataBlock(3, Bytes(18, 0)),
                MetadataBlock(4, Bytes(40, 'x')), MetadataBlock(6, Bytes(70000, 0x89))};
  const Bytes id3v2 = Concat({Bytes{'I', 'D', '3', 4, 0, 0x10, 0, 0, 1, 2}, Bytes(130 + 10, 0)});
  const Bytes id3v1 = Concat({Bytes{'T', 'A', 'G'}, Bytes(125, ' ')});
  const Decoded d = Decode(Concat({id3v2, Flac(def), id3v1}));
  EXPECT_TRUE(d.status.ok()) << d.status.Reason();
  EXPECT_EQ(d.samples, Interleaved(def));
}

// The 16-bit samples the converter takes: the top 16 bits of wider samples, narrower ones shifted
// up; and ReadMono16's mix of both channels' 16-bit samples.
TEST(FlacDecoder, MakesSamplesSixteenBitAndMixesStereo) {
  const struct {
    int bits;
    Samples in;
    std::vector<std::int16_t> out;
  } cases[] = {
      {4, {7, -8, 1}, {28672, -32768, 4096}},
      {8, {127, -128, -1}, {32512, -32768, -256}},
      {12, {2047, -2048, 5}, {32752, -32768, 80}},
      {16, {32767, -32768, -2}, {32767, -32768, -2}},
      {24, {0x7FFFFF, -0x800000, -1, 0x12345}, {32767, -32768, -1, 0x123}},
      {32, {0x7FFFFFFF, -0x7FFFFFFF - 1, 0xFFFF, -0x10001}, {32767, -32768, 0, -2}},
  };
  for (const auto& c : cases) {
    MemFile file = FileOf(Flac(Stream({Frame({c.in}, {{}}, c.bits)})));
    Decoder decoder(file, Site::kSampleRead);
    ASSERT_TRUE(decoder.Open().ok());
    std::vector<std::int16_t> out(decoder.max_block_samples());
    out.resize(decoder.DecodeFrame(out));
    EXPECT_EQ(out, c.out) << c.bits << " bits";
  }

  MemFile stereo = FileOf(
      Flac(Stream({Frame({{0x7FFFFF, 0x100, -0x300}, {-0x800000, 0x300, -0x80}}, {}, 24, 10)})));
  const Mono16 mixed = ReadMono16(stereo, 3, Site::kSampleRead);
  EXPECT_TRUE(mixed.status.ok()) << mixed.status.Reason();
  EXPECT_EQ(mixed.frames, (std::vector<std::int16_t>{-1, 2, -2}));  // (32767 - 32768) >> 1, ...
  MemFile too_long = FileOf(Flac(Stream({Frame({Wave(20, 16)}, {}, 16)})));
  EXPECT_EQ(ReadMono16(too_long, 19, Site::kSampleRead).status.fault, Fault::kTooLong);
  MemFile three = FileOf(Flac(Stream({Frame({Wave(20, 16), Wave(20, 16), Wave(20, 16)}, {}, 16)})));
  EXPECT_EQ(ReadMono16(three, 100, Site::kSampleRead).status.fault, Fault::kChannels);
}

// Each case changes a valid stream of two frames, or its bytes; the fault and the frame it names.
#define STREAM(statement) [](StreamDef& d) { statement; }
#define FRAME1(statement)      \
  [](StreamDef& d) {           \
    FrameDef& f = d.frames[1]; \
    statement;                 \
  }
#define SUB1(statement)                        \
  [](StreamDef& d) {                           \
    SubframeDef& s = d.frames[1].subframes[0]; \
    statement;                                 \
  }
#define BYTES(statement) {}, [](Bytes& b) { statement; }
#define ONLY(...) [](StreamDef& d) { d = Stream({__VA_ARGS__}); }

TEST(FlacDecoder, RefusesDamagedAndForbiddenStreams) {
  const StreamDef base =
      Stream({Frame({Wave(4096, 16)}, {Fixed(2)}, 16), Frame({Wave(4096, 16)}, {Fixed(2)}, 16)});
  const struct {
    Fault fault;
    std::uint64_t frame;
    std::function<void(StreamDef&)> change;
    std::function<void(Bytes&)> damage = {};
  } cases[] = {
      {Fault::kNoSignature, 0, BYTES(b[0] = 'F')},
      {Fault::kNoStreamInfo, 0, BYTES(b[4] = 1)},
      {Fault::kStreamInfoSize, 0, BYTES(b[7] = 33)},
      {Fault::kSecondStreamInfo, 0, STREAM(d.blocks = {MetadataBlock(0, Bytes(34, 0))})},
      {Fault::kForbiddenBlockType, 0, STREAM(d.blocks = {MetadataBlock(127, {})})},
      {Fault::kBlockSizes, 0, STREAM(d.min_block = 15)},
      {Fault::kBlockSizes, 0, STREAM(d.min_block = 8192)},
      {Fault::kSampleRate, 0, STREAM(d.rate = 0)},
      {Fault::kBitDepth, 0, STREAM(d.bits = 3)},
      {Fault::kNoSync, 2, BYTES(b.push_back(0))},
      {Fault::kNoSync, 2, BYTES(b = Concat({b, Bytes{'T', 'A', 'G', 0}}))},
      {Fault::kReservedValue, 1, FRAME1(f.block_code = 0)},
      {Fault::kReservedValue, 1, FRAME1(f.rate_code = 15)},
      {Fault::kReservedValue, 1, FRAME1(f.channel_code = 11)},
      {Fault::kReservedValue, 1, FRAME1(f.bits_code = 3)},
      {Fault::kReservedValue, 1, FRAME1(f.reserved_bit = true)},
      {Fault::kReservedValue, 1, FRAME1(f.number = std::int64_t{1} << 31)},  // 7 bytes
      {Fault::kHeaderCrc, 0, BYTES(b[42 + 5] ^= 1)},
      {Fault::kFrameCrc, 1, BYTES(b.back() ^= 1)},
      {Fault::kStreamChange, 1, FRAME1(f.channels.push_back(f.channels[0]))},
      {Fault::kStreamChange, 1, FRAME1(f.bits = 24)},
      {Fault::kStreamChange, 1, FRAME1(f.rate = 48000)},
      {Fault::kStreamChange, 1, FRAME1(f.variable = true)},
      {Fault::kFrameNumber, 1, FRAME1(f.number = 5)},
      {Fault::kBlockSize, 0, STREAM(d.max_block = 4095)},
      {Fault::kBlockSize, 1, STREAM(d.min_block = 4096; d.frames[0].channels[0].resize(4000))},
      {Fault::kSubframeType, 1, SUB1(s.type = 2)},
      {Fault::kSubframeType, 1, SUB1(s.type = 13)},
      {Fault::kWastedBits, 1, SUB1(s.wasted = 16)},
      {Fault::kLpcParameters, 1, SUB1(s = Lpc({1}, 16, 0))},  // precision code 15
      {Fault::kLpcParameters, 1, SUB1(s = Lpc({1}, 8, -1))},
      {Fault::kResidualMethod, 1, SUB1(s.method = 2)},
      {Fault::kPartitionOrder, 1, SUB1(s.partition_order = 12)},  // 1 sample a partition
      {Fault::kPartitionOrder, 1, FRAME1(f.channels[0].pop_back(); f.subframes[0] = Fixed(2, 1))},
      {Fault::kResidualRange, 0, ONLY(Frame({{-0x7FFFFFFF - 1, 0x7FFFFFFF}}, {Fixed(1)}, 32))},
      {Fault::kSampleRange, 0, ONLY(Frame({{127, 137}}, {Fixed(1)}, 8))},
      {Fault::kSampleRange, 0, ONLY(Frame({{127}, {327}}, {}, 8, 8))},  // right from left-side
      {Fault::kPadding, 0,
       STREAM(d = Stream({Frame({{1, 2, 3}}, {{}}, 12)}); d.frames[0].padding = 1)},
      {Fault::kSampleCount, 0, STREAM(d.total = 8191)},
      {Fault::kMd5, 0, BYTES(b[8 + 18] ^= 1)},
  };
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    StreamDef def = base;
    if (cases[i].change) cases[i].change(def);
    Bytes bytes = Flac(def);
    if (cases[i].damage) cases[i].damage(bytes);
    const Status status = Decode(bytes).status;
    EXPECT_EQ(status.fault, cases[i].fault) << "case " << i << ": " << status.Reason();
    EXPECT_EQ(IsFrameFault(status.fault) ? status.frame : 0, cases[i].frame) << "case " << i;
  }
  Bytes bytes = Flac(base);
  bytes.back() ^= 1;
  EXPECT_EQ(Decode(bytes).status.Reason(), "frame 1: CRC-16 mismatch");
}

TEST(FlacDecoder, RefusesAStreamCutAtEveryLength) {
  StreamDef def =
      Stream({Frame({Wave(200, 16), Wave(200, 16, 0.1)}, {Fixed(2, 1), Lpc({3, -2}, 4, 1)}, 16, 10),
              Frame({Samples(100, 77), Wave(100, 16, 0.1)},
                    {Kind(SubframeDef::kConstant), Fixed(1)}, 16)});
  def.blocks = {MetadataBlock(1, Bytes(20, 0))};
  const Bytes whole = Flac(def);
  ASSERT_TRUE(Decode(whole).status.ok());
  for (std::size_t size = 0; size < whole.size(); ++size) {
    EXPECT_FALSE(Decode(Bytes(whole.begin(), whole.begin() + size)).status.ok()) << size;
  }
}

// Near the end of the file the cache is topped up a byte at a time, zeros past the end: a Rice code
// may then end on the cache's last bit (found by the fuzzer: a shift by 64 bits).
TEST(FlacBitReader, ARiceCodeMayEndOnTheCachesLastBitAtTheEndOfTheFile) {
  // A byte, 55 zeros, a one and 8 low bits, of which the file holds none.
  MemFile file = FileOf({0xAA, 0, 0, 0, 0, 0, 0, 0x01});
  BitReader reader(file, Site::kSampleRead);
  EXPECT_EQ(reader.ReadBits(8), 0xAAu);
  std::int32_t residual;
  reader.ReadRice(&residual, 1, 8);
  EXPECT_TRUE(reader.overrun());
}

TEST(FlacDecoder, PassesAFailedReadThrough) {
  const Bytes bytes = Flac(Stream({Frame({Wave(100, 16)}, {}, 16)}));
  EXPECT_THROW(Decode(bytes, {{Site::kSampleRead, EIO}}), RunFailure);
}

}  // namespace
}  // namespace brumlet::flac
