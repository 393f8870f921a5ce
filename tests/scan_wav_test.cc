#include "wav/scan_wav.h"

#include <gtest/gtest.h>

#include "fake_platform.h"
#include "messages.h"
#include "riff_builder.h"

namespace brumlet {
namespace {

using namespace brumlet::testing;

struct Scanned {
  WavInfo info;
  std::int64_t position = -1;  // where the scan left the file
};

// Scans `wav` as "x.wav"; `smpl` carries the run-wide smpl image between calls.
Scanned Scan(const Bytes& wav, SmplImage* smpl = nullptr) {
  SmplImage local;
  Faults none;
  auto node = std::make_shared<MemNode>();
  node->bytes = wav;
  MemFile file(node, none);
  Scanned result;
  ScanWav(file, DisplayText("x.wav"), result.info, smpl ? *smpl : local);
  result.position = file.Position(Site::kSourceSeek);
  return result;
}

// The exit code of a rejected scan, with its message checked against `message`.
int RejectionCode(const Bytes& wav, const std::string& message) {
  try {
    Scan(wav);
  } catch (const Rejection& rejection) {
    EXPECT_EQ(rejection.what(), message);
    EXPECT_TRUE(rejection.abort_current_file());
    return rejection.exit_code();
  }
  ADD_FAILURE() << "accepted";
  return 0;
}

// The failure text of a scan that failed as a file operation.
std::string FailureOf(const Bytes& wav) {
  try {
    Scan(wav);
  } catch (const RunFailure& failure) {
    return failure.what();
  }
  return "no failure";
}

const Bytes kMono8 = FmtData(1, 8000, 8);
const Bytes kMono16 = FmtData(1, 44100, 16);
const std::string kNotAWav = "\nx.wav: not a standard WAV!\n\n";
const std::string kNoData = "error: data chunk not found in x.wav\n";

Bytes WithId(Bytes wav, std::size_t offset, std::string_view id) {
  std::copy(id.begin(), id.end(), wav.begin() + static_cast<std::ptrdiff_t>(offset));
  return wav;
}

TEST(ScanWavHead, RejectsAnythingButRiffWaveWithFmtFirstAndAtMostTwoChannels) {
  const Bytes good = Wav(kMono8, {Chunk("data", {})});
  EXPECT_EQ(RejectionCode(WithId(good, 0, "RIFX"), kNotAWav), 253);
  EXPECT_EQ(RejectionCode(WithId(good, 0, "riff"), kNotAWav), 253);
  EXPECT_EQ(RejectionCode(WithId(good, 8, "wave"), kNotAWav), 253);
  EXPECT_EQ(RejectionCode(WithId(good, 12, std::string_view("fmt\0", 4)), kNotAWav), 253);
  EXPECT_EQ(RejectionCode(Wav(FmtData(3, 8000, 8), {Chunk("data", {})}), kNotAWav), 253);
  // A JUNK chunk in front of the fmt chunk: the fmt chunk must come first.
  Bytes junk_first = Chunk("RIFF", Concat({Bytes{'W', 'A', 'V', 'E'}, Chunk("JUNK", Repeat(4, 0)),
                                           Chunk("fmt ", kMono8), Chunk("data", {})}));
  EXPECT_EQ(RejectionCode(junk_first, kNotAWav), 253);
  try {
    Scan(junk_first);
  } catch (const Rejection& rejection) {
    EXPECT_EQ(rejection.hint(),
              "hint: x.wav has a JUNK chunk before its format chunk; brumlet reads WAVs that start "
              "with it: ffmpeg -i x.wav -c:a copy fixed.wav rewrites it (a sampler loop is lost)\n");
  }
  EXPECT_EQ(RejectionCode(WithId(junk_first, 20, "fmtX"), kNotAWav), 253);  // no fmt: no hint
}

// The format is tested before the chunk walk: none of these files has a data chunk.
TEST(ScanWavHead, RefusesWhatItCannotDecodeWithAHint) {
  auto fmt = [](std::uint16_t channels, std::uint16_t tag, std::uint16_t bits,
                std::uint16_t block_align, const Bytes& extra = {}) {
    Bytes data = FmtData(channels, 8000, bits, tag, extra);
    data[12] = static_cast<std::uint8_t>(block_align);
    data[13] = static_cast<std::uint8_t>(block_align >> 8);
    return data;
  };
  Bytes gsm(24, 0);
  gsm[8] = 0x31;
  auto cannot = [](const std::string& tag) {
    return kNotAWav + "hint: x.wav holds compressed audio (format " + tag +
           ") that brumlet cannot decode; convert it to PCM first\n";
  };
  auto damaged = [](const std::string& size) {
    return kNotAWav + "hint: x.wav: ADPCM blocks of " + size +
           " bytes cannot hold their header; the file is damaged\n";
  };
  const std::vector<std::pair<Bytes, std::string>> cases = {
      {fmt(2, 0x55, 0, 1), cannot("0x0055")},   {fmt(1, 0xFFFE, 16, 2, gsm), cannot("0x0031")},
      {fmt(1, 0x11, 3, 256), cannot("0x0011")}, {fmt(1, 0x11, 4, 0), damaged("0")},
      {fmt(2, 0x11, 4, 7), damaged("7")},       {fmt(1, 2, 4, 6), damaged("6")},
      {fmt(2, 2, 4, 13), damaged("13")}};
  for (const auto& [fmt_data, message] : cases)
    EXPECT_EQ(RejectionCode(Wav(fmt_data, {}), message), 253);
  // Twice the bytes of a 1 GiB mu-law data chunk do not fit an XI sample's 32-bit length.
  EXPECT_EQ(RejectionCode(Wav(FmtData(1, 8000, 8, 7), {Chunk("data", {}, 1 << 30)}),
                          kNotAWav + "hint: x.wav decodes to more than 2 GiB of samples, more "
                                     "than an XI file holds\n"),
            253);
}

TEST(ScanWavHead, TakesFormatFactsFromFixedOffsets) {
  const Scanned minimal = Scan(Wav(kMono8, {Chunk("data", {})}));
  EXPECT_EQ(minimal.info.DataOffset, 44);
  EXPECT_EQ(minimal.info.DataLength, 0);
  EXPECT_EQ(minimal.position, 44);
  EXPECT_FALSE(minimal.info.Stereo);
  EXPECT_FALSE(minimal.info.SixteenBit);
  EXPECT_EQ(minimal.info.SampleRate, 8000);
  EXPECT_EQ(minimal.info.BitsPerSample, 8);
  EXPECT_EQ(minimal.info.LoopType, LoopKind::NoLoop);
  EXPECT_EQ(minimal.info.Title, "");

  const Scanned stereo = Scan(Wav(FmtData(2, 44100, 16), {Chunk("data", Repeat(8, 0))}));
  EXPECT_TRUE(stereo.info.Stereo);
  EXPECT_TRUE(stereo.info.SixteenBit);

  // Channel count 0 passes as mono; 32-bit float passes as "8-bit" with its raw width.
  EXPECT_FALSE(Scan(Wav(FmtData(0, 8000, 8), {Chunk("data", {})})).info.Stereo);
  const Scanned float32 = Scan(Wav(FmtData(1, 48000, 32, 3), {Chunk("data", Repeat(8, 0))}));
  EXPECT_FALSE(float32.info.SixteenBit);
  EXPECT_EQ(float32.info.BitsPerSample, 32);
}

TEST(ScanWavHead, RecognisesTheFormatsConvertedToSixteenBit) {
  auto wide = [](const Bytes& fmt) {
    return Scan(Wav(fmt, {Chunk("data", {})})).info.Encoding;
  };
  EXPECT_EQ(wide(FmtData(1, 8000, 24)), SampleEncoding::kSigned24);
  EXPECT_EQ(wide(FmtData(2, 8000, 32)), SampleEncoding::kSigned32);
  EXPECT_EQ(wide(FmtData(1, 8000, 32, 3)), SampleEncoding::kFloat32);
  EXPECT_EQ(wide(FmtData(1, 8000, 64, 3)), SampleEncoding::kFloat64);
  EXPECT_EQ(wide(FmtData(1, 8000, 16)), SampleEncoding::kSigned16);
  EXPECT_EQ(wide(FmtData(1, 8000, 8)), SampleEncoding::kUnsigned8);
  EXPECT_EQ(wide(FmtData(1, 8000, 64, 1)), SampleEncoding::kUnsigned8);
  EXPECT_EQ(wide(FmtData(1, 8000, 16, 3)), SampleEncoding::kSigned16);
  // Extensible: the real tag is the subformat's first two bytes, 24 bytes into the fmt data.
  auto extensible = [](std::uint16_t bits, std::uint16_t subformat, std::size_t extra_size) {
    Bytes extra(extra_size, 0);
    if (extra_size >= 10) {
      extra[8] = static_cast<std::uint8_t>(subformat);
      extra[9] = static_cast<std::uint8_t>(subformat >> 8);
    }
    return FmtData(1, 8000, bits, 0xFFFE, extra);
  };
  EXPECT_EQ(wide(extensible(24, 1, 24)), SampleEncoding::kSigned24);
  EXPECT_EQ(wide(extensible(32, 3, 24)), SampleEncoding::kFloat32);
  EXPECT_EQ(wide(extensible(16, 1, 24)), SampleEncoding::kSigned16);
  EXPECT_EQ(wide(extensible(24, 0, 24)), SampleEncoding::kUnsigned8);
  EXPECT_EQ(wide(extensible(24, 1, 2)), SampleEncoding::kUnsigned8);  // no room for a subformat
  // The report still shows the raw width, and the 8-bit mono pad rule still applies to 24-bit.
  const Scanned padded = Scan(Wav(FmtData(1, 8000, 24), {Chunk("data", Repeat(9, 0)), Bytes{0},
                                                         Chunk("smpl", SmplData(1, {{1, 2, 3}}))}));
  EXPECT_EQ(padded.info.BitsPerSample, 24);
  EXPECT_FALSE(padded.info.SixteenBit);
  EXPECT_EQ(padded.info.LoopType, LoopKind::PingPong);
}

TEST(ScanWavHead, WalkStartsRightAfterTheFmtDataWhateverItsSize) {
  EXPECT_EQ(Scan(Wav(FmtData(1, 8000, 8, 1, Bytes{0, 0}), {Chunk("data", {})})).info.DataOffset,
            46);
  EXPECT_EQ(Scan(Wav(FmtData(1, 8000, 8, 1, Repeat(24, 0)), {Chunk("data", {})})).info.DataOffset,
            68);
  // A 14-byte fmt: the walk starts at 34, and the bits field is read from the next chunk's id.
  Bytes short_fmt = FmtData(1, 8000, 8);
  short_fmt.resize(14);
  const Scanned s = Scan(Wav(short_fmt, {Chunk("data", Repeat(2, 0x80))}));
  EXPECT_EQ(s.info.DataOffset, 42);
  EXPECT_EQ(s.info.BitsPerSample, 'd' | ('a' << 8));
}

TEST(ScanWavChunks, StepsOverTheRiffPadByteOnlyFor8BitMonoData) {
  const Bytes smpl = Chunk("smpl", SmplData(1, {{0, 10, 20}}));
  Scanned padded = Scan(Wav(kMono8, {Chunk("data", Repeat(1001, 0x80)), Bytes{0}, smpl}));
  EXPECT_EQ(padded.info.DataLength, 1001);
  EXPECT_EQ(padded.info.LoopType, LoopKind::Forward);
  EXPECT_EQ(padded.info.LoopStart, 10);

  Scanned even = Scan(Wav(kMono8, {Chunk("data", Repeat(1000, 0x80)), smpl}));
  EXPECT_EQ(even.info.DataLength, 1000);
  EXPECT_EQ(even.info.LoopEnd, 20);

  // Odd 16-bit data is not followed by a pad byte that the walk would skip.
  Scanned odd16 = Scan(Wav(kMono16, {Chunk("data", Repeat(1001, 0)), smpl}));
  EXPECT_EQ(odd16.info.LoopType, LoopKind::Forward);
}

TEST(ScanWavChunks, TakesTheFirstLoopOfASmplChunk) {
  auto loop_of = [](const Bytes& smpl_data) {
    return Scan(Wav(kMono8, {Chunk("smpl", smpl_data), Chunk("data", Repeat(4, 0x80))})).info;
  };
  WavInfo pingpong = loop_of(SmplData(1, {{1, 100, 1999}}));
  EXPECT_EQ(pingpong.LoopType, LoopKind::PingPong);
  EXPECT_EQ(pingpong.LoopStart, 100);
  EXPECT_EQ(pingpong.LoopEnd, 1999);

  EXPECT_EQ(loop_of(SmplData(0, {{0, 5, 9}})).LoopType, LoopKind::NoLoop);  // no loops counted
  EXPECT_EQ(static_cast<std::uint32_t>(loop_of(SmplData(1, {{2, 5, 9}})).LoopType), 2u);

  WavInfo header_only = loop_of(SmplData(1, {}));  // 36 bytes: the count says 1, no record
  EXPECT_EQ(header_only.LoopType, LoopKind::NoLoop);
  EXPECT_EQ(header_only.LoopStart, 0);
  EXPECT_EQ(header_only.LoopEnd, 0);

  WavInfo three = loop_of(SmplData(3, {{0, 1, 2}, {1, 3, 4}, {1, 5, 6}}, Repeat(7, 1)));
  EXPECT_EQ(three.LoopType, LoopKind::Forward);
  EXPECT_EQ(three.LoopEnd, 2);
}

TEST(ScanWavChunks, TheUnityNoteOfASmplChunkLongEnoughToHoldIt) {
  Bytes smpl = SmplData(0, {});
  smpl[12] = 72;
  const Bytes data = Chunk("data", {0x80});
  SmplImage image;  // carried from file to file, as in a run
  EXPECT_EQ(Scan(Wav(kMono8, {Chunk("smpl", smpl), data}), &image).info.UnityNote, 72u);
  // A smpl chunk that ends before it, or none at all: nothing, whatever the image still holds.
  const Bytes short_smpl(smpl.begin(), smpl.begin() + 12);
  EXPECT_EQ(Scan(Wav(kMono8, {Chunk("smpl", short_smpl), data}), &image).info.UnityNote,
            std::nullopt);
  EXPECT_EQ(Scan(Wav(kMono8, {data}), &image).info.UnityNote, std::nullopt);
}

TEST(ScanWavChunks, NoFactOfOneFileReachesTheNext) {
  SmplImage run_wide;
  Bytes title = Chunk("LIST", Concat({Bytes{'I', 'N', 'F', 'O'}, Chunk("INAM", {'A', 0})}));
  Scanned first = Scan(
      Wav(kMono8, {Chunk("smpl", SmplData(1, {{0, 1, 2}})), title, Chunk("data", Repeat(2, 0x80))}),
      &run_wide);
  EXPECT_EQ(first.info.LoopType, LoopKind::Forward);
  EXPECT_EQ(first.info.Title, "A");
  Scanned second = Scan(Wav(kMono8, {Chunk("data", Repeat(2, 0x80))}), &run_wide);
  EXPECT_EQ(second.info.LoopType, LoopKind::NoLoop);
  EXPECT_EQ(second.info.LoopStart, 0);
  EXPECT_EQ(second.info.Title, "");
}

TEST(ScanWavChunks, ShortSmplChunkKeepsWhatAnEarlierChunkLeftInTheImage) {
  SmplImage run_wide;
  Scan(Wav(kMono8, {Chunk("smpl", SmplData(1, {{0, 1, 2}})), Chunk("data", {})}), &run_wide);
  // 32 bytes reach the loop count but not the loop record: the loop stays at its presets.
  Bytes partial = SmplData(1, {});
  partial.resize(32);
  Scanned s = Scan(Wav(kMono8, {Chunk("smpl", partial), Chunk("data", {})}), &run_wide);
  EXPECT_EQ(s.info.LoopType, LoopKind::NoLoop);
  EXPECT_EQ(s.info.LoopStart, 0);
}

Bytes InfoList(std::initializer_list<Bytes> entries, std::string_view type = "INFO") {
  Bytes data(type.begin(), type.end());
  for (const Bytes& e : entries) data.insert(data.end(), e.begin(), e.end());
  return Chunk("LIST", data);
}

std::string TitleOf(std::initializer_list<Bytes> lists) {
  Bytes wav = Wav(kMono8, lists);
  Bytes data = Chunk("data", Repeat(2, 0x80));
  wav.insert(wav.end(), data.begin(), data.end());
  return Scan(wav).info.Title;
}

TEST(ScanWavList, TitleDropsTheTerminatorByTheEntrySize) {
  EXPECT_EQ(TitleOf({InfoList({Chunk("INAM", {'P', 'i', 'a', 'n', 'o', 0})})}), "Piano");
  EXPECT_EQ(TitleOf({InfoList({Chunk("INAM", {'P', 'a', 'd', 0, 0}), Bytes{0}})}), "Pad");
  EXPECT_EQ(TitleOf({InfoList({Chunk("INAM", {'B', 'e', 'l', 'l'})})}), "Bel");
  EXPECT_EQ(TitleOf({InfoList({Chunk("INAM", {0}), Bytes{0}})}), "");
  EXPECT_EQ(TitleOf({InfoList({Chunk("INAM", {}), Chunk("ISFT", {'x', 0})})}), "");
  EXPECT_EQ(TitleOf({InfoList({Chunk("INAM", {'a', 0, 'b', 0})})}), std::string("a\0b", 3));
}

TEST(ScanWavList, SkipsAZeroPadByteAfterAnEntry) {
  // Odd entry, zero pad, then the next entry read at its true start.
  EXPECT_EQ(TitleOf({InfoList({Chunk("ISFT", {'s', 'o', 'x', 0, 0}), Bytes{0},
                               Chunk("INAM", {'T', 'w', 'o', 0})})}),
            "Two");
  EXPECT_EQ(TitleOf({InfoList({Chunk("INAM", {'O', 'n', 'e', 0, 0}), Bytes{0},
                               Chunk("INAM", {'T', 'w', 'o', 0})})}),
            "Two");
}

TEST(ScanWavList, ListsOfAnyTypeAndPlaceCount) {
  EXPECT_EQ(TitleOf({InfoList({Chunk("labl", Repeat(8, 1))}, "adtl"),
                     InfoList({Chunk("INAM", {'S', 'e', 'c', 0})})}),
            "Sec");
  EXPECT_EQ(TitleOf({InfoList({Chunk("INAM", {'A', 'd', 0, 0})}, "adtl")}), "Ad");
  // A LIST that holds nothing but its type: its first entry header is read from what follows.
  EXPECT_EQ(Scan(Wav(kMono8, {InfoList({}), Chunk("data", Repeat(9, 0x80))})).info.DataLength, 9);
}

TEST(ScanWavList, AListThatEndsTheFileWithoutRoomForAnEntryEndsTheListWalk) {
  const Bytes data = Chunk("data", Repeat(2, 0x80));
  // What an editor that clears the tags leaves: nothing but the list type, or a short tail.
  for (std::size_t tail = 0; tail < 8; ++tail) {
    const Scanned s = Scan(Wav(kMono8, {data, InfoList({Repeat(tail, 'x')})}));
    EXPECT_EQ(s.info.DataLength, 2) << tail;
    EXPECT_EQ(s.info.Title, "") << tail;
  }
  // A title from an earlier list survives the empty one at the end.
  const Scanned kept =
      Scan(Wav(kMono8, {InfoList({Chunk("INAM", {'O', 'l', 'd', 0})}), data, InfoList({})}));
  EXPECT_EQ(kept.info.Title, "Old");
  // An entry whose text runs past the end of the file is still a short read.
  EXPECT_EQ(FailureOf(Wav(kMono8, {data, InfoList({Chunk("INAM", {'a', 'b', 0}, 12)})})),
            "Read beyond end of file");
}

TEST(ScanWavChunks, LaterChunksReplaceEarlierOnesAndBytesAfterTheRiffCount) {
  Scanned twice = Scan(Wav(kMono16, {Chunk("data", Repeat(4, 0)), Chunk("data", Repeat(6, 0))}));
  EXPECT_EQ(twice.info.DataOffset, 56);
  EXPECT_EQ(twice.info.DataLength, 6);

  Bytes wav = Wav(kMono16, {Chunk("data", Repeat(4, 0))});
  Bytes trailer = Chunk("smpl", SmplData(1, {{1, 7, 8}}));
  wav.insert(wav.end(), trailer.begin(), trailer.end());
  EXPECT_EQ(Scan(wav).info.LoopType, LoopKind::PingPong);

  // A data chunk longer than the file is taken at its word.
  Scanned overlong = Scan(Wav(kMono16, {Chunk("data", Repeat(4, 0), 1000)}));
  EXPECT_EQ(overlong.info.DataLength, 1000);
}

TEST(ScanWavChunks, NoDataChunkIsRejected) {
  EXPECT_EQ(
      RejectionCode(Wav(kMono8, {Chunk("smpl", SmplData(0, {})), Chunk("JUNK", {})}), kNoData),
      248);
}

TEST(ScanWavSizes, HugeSizesNeverMoveTheWalkBackwards) {
  // A streaming writer's unknown length: the data runs to the end of the file.
  Scanned streamed = Scan(Wav(kMono16, {Chunk("data", Repeat(10, 0), 0xFFFFFFFF)}));
  EXPECT_EQ(streamed.info.DataOffset, 44);
  EXPECT_EQ(streamed.info.DataLength, 10);
  EXPECT_EQ(Scan(Wav(kMono16, {Chunk("data", Repeat(10, 0), 0x80000000)})).info.DataLength, 10);

  // Any other huge size, or a step past the largest position, ends the walk.
  for (std::uint32_t size : {0x7FFFFFFFu, 0x80000000u, 0xFFFFFFFFu}) {
    EXPECT_EQ(RejectionCode(Wav(kMono16, {Chunk("JUNK", {}, size), Chunk("data", {})}), kNoData),
              248)
        << size;
  }
  Bytes huge_fmt = Wav(kMono16, {Chunk("data", {})});
  huge_fmt[16] = huge_fmt[17] = huge_fmt[18] = huge_fmt[19] = 0xFF;
  EXPECT_EQ(RejectionCode(huge_fmt, kNoData), 248);

  // A huge LIST entry ends the list walk only; the data behind the LIST is still found.
  Bytes list = InfoList({Chunk("ISFT", {}, 0x80000000)});
  EXPECT_EQ(Scan(Wav(kMono16, {list, Chunk("data", Repeat(2, 0))})).info.DataLength, 2);
  // An INAM entry that claims more than the file holds is a short read, not an allocation.
  Bytes greedy = InfoList({Chunk("INAM", {'a', 0}, 0x7FFFFFF0)});
  EXPECT_EQ(FailureOf(Wav(kMono16, {Chunk("data", Repeat(2, 0)), greedy})),
            "Read beyond end of file");
}

TEST(ScanWavTruncation, EveryCutGivesADocumentedOutcome) {
  const Bytes full = Wav(
      kMono8, {Chunk("smpl", SmplData(1, {{0, 1, 2}})),
               InfoList({Chunk("INAM", {'H', 'i', 0}), Bytes{0}}), Chunk("data", Repeat(6, 0x80))});
  for (std::size_t length = 0; length <= full.size(); ++length) {
    const Bytes cut(full.begin(), full.begin() + static_cast<std::ptrdiff_t>(length));
    try {
      const Scanned s = Scan(cut);
      EXPECT_GE(length, full.size() - 6) << "accepted without its data chunk header";
      EXPECT_EQ(s.info.Title, "Hi");
    } catch (const RunFailure& failure) {
      EXPECT_STREQ(failure.what(), "Read beyond end of file") << length;
    } catch (const Rejection& rejection) {
      EXPECT_EQ(rejection.exit_code(), 248) << length;
    }
  }
  EXPECT_EQ(FailureOf(Bytes(full.begin(), full.begin() + 35)), "Read beyond end of file");
  // Fewer than 8 bytes after the fmt chunk: the first chunk header read is short.
  EXPECT_EQ(FailureOf(Bytes(full.begin(), full.begin() + 40)), "Read beyond end of file");
}

}  // namespace
}  // namespace brumlet
