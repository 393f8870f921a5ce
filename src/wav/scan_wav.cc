#include "wav/scan_wav.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <limits>
#include <optional>
#include <string>

#include "bytes.h"
#include "messages.h"
#include "riff.h"

namespace brumlet {
namespace {

// The file head is read in one piece and interpreted at fixed offsets, whatever size the fmt
// chunk declares:
//
//   0 "RIFF"   4 RIFF size (ignored)   8 "WAVE"   12 "fmt "   16 fmt size
//   20 format tag (which formats become 16-bit, and which are refused)   22 channels
//   24 sample rate   28 bytes/s (ignored)   32 block align (ADPCM only)   34 bits per sample
constexpr int kHeadSize = 36;
constexpr int kRiffIdOffset = 0;
constexpr int kWaveIdOffset = 8;
constexpr int kFmtIdOffset = 12;
constexpr int kFmtSizeOffset = 16;
constexpr int kFormatTagOffset = 20;
constexpr int kChannelsOffset = 22;
constexpr int kSampleRateOffset = 24;
constexpr int kBlockAlignOffset = 32;
constexpr int kBitsPerSampleOffset = 34;
// The chunk after the fmt chunk starts 20 + fmt size bytes into the file (no pad byte).
constexpr std::int64_t kFmtDataStart = kFmtSizeOffset + 4;
static_assert(kBitsPerSampleOffset + 2 == kHeadSize);

// Format tags, and where WAVE_FORMAT_EXTENSIBLE keeps the tag of the real format: the first two
// bytes of its subformat GUID, 24 bytes into the fmt chunk's data of at least 40 bytes.
constexpr std::uint16_t kUnknownTag = 0;
constexpr std::uint16_t kPcmTag = 1;
constexpr std::uint16_t kMsAdpcmTag = 2;
constexpr std::uint16_t kFloatTag = 3;
constexpr std::uint16_t kALawTag = 6;
constexpr std::uint16_t kMuLawTag = 7;
constexpr std::uint16_t kImaAdpcmTag = 0x11;
constexpr std::uint16_t kExtensibleTag = 0xFFFE;
constexpr std::uint32_t kExtensibleFmtSize = 40;
constexpr std::int64_t kSubformatPosition = kFmtDataStart + 24;

// A Microsoft ADPCM fmt chunk's data goes on behind the 16 standard bytes:
//   16 extra size   18 samples per block (not used: a block holds what its size says)
//   20 number of coefficient pairs   22 the pairs, two signed 16-bit values each
constexpr std::int64_t kCoefficientCountPosition = kFmtDataStart + 20;
constexpr std::uint32_t kCoefficientsOffset = 22;
constexpr std::size_t kCoefficientPairSize = 4;
constexpr std::size_t kCoefficientTableSize =
    2 + MsAdpcmCoefficients::kMaxPairs * kCoefficientPairSize;

// A LIST chunk's data starts with a four-byte list type, then entries laid out as chunks.
constexpr std::int64_t kListTypeSize = 4;

// Positions and sizes are signed 32-bit quantities in this format; a size with the top bit set
// is never stepped over, and a walk never passes this position.
constexpr std::int64_t kMaxPosition = std::numeric_limits<std::int32_t>::max();

// The walk over a WAV's chunks after the format chunk, with the pad rules WAVs in the wild need
// (riff.h says how they differ from a bank's).
class WavChunkWalk {
 public:
  WavChunkWalk(File& file, std::int64_t file_size, WavInfo& info, SmplImage& smpl)
      : file_(file), file_size_(file_size), info_(info), smpl_(smpl) {}

  void Run(std::int64_t position) {
    for (;;) {
      file_.Seek(position, Site::kSourceSeek);
      const ChunkHeader header = ReadChunkHeader(file_, Site::kChunkHeaderRead);
      const std::int64_t data_start = position + ChunkHeader::kSize;
      const std::int64_t size = header.size;
      if (header.Is("data") && size > kMaxPosition) {
        // What streaming writers leave when the length was unknown: the data runs to the end.
        info_.DataOffset = static_cast<std::int32_t>(data_start);
        info_.DataLength = static_cast<std::int32_t>(file_size_ - data_start);
        return;
      }
      if (size > kMaxPosition) return;
      std::int64_t step = size;
      if (header.Is("data")) {
        info_.DataOffset = static_cast<std::int32_t>(data_start);
        info_.DataLength = static_cast<std::int32_t>(size);
        // RIFF pads odd-sized chunks to even length. Well-formed data is odd-sized only for mono
        // samples of an odd number of bytes (8-bit, 24-bit), so the pad byte is stepped over
        // for mono sources that are not 16-bit and never for stereo or 16-bit ones; but ADPCM
        // blocks come in any size, so for ADPCM the pad byte is stepped over always.
        const bool odd_frames = !info_.Stereo && !info_.SixteenBit;
        if ((odd_frames || info_.Adpcm.kind != AdpcmKind::None) && size % 2 != 0) ++step;
      } else if (header.Is("smpl")) {
        CopySmpl(size);
      } else if (header.Is("LIST")) {
        WalkList(data_start, size);
      }
      position = data_start + step;
      if (position > kMaxPosition || position > file_size_ - ChunkHeader::kSize) return;
    }
  }

 private:
  void CopySmpl(std::int64_t size) {
    const auto count = static_cast<std::size_t>(std::min<std::int64_t>(size, SmplImage::kSize));
    file_.ReadExact(smpl_.bytes.data(), count, Site::kSmplRead);
    if (count >= SmplImage::kUnityNoteOffset + 4) {
      info_.UnityNote = LoadU32(smpl_.bytes.data() + SmplImage::kUnityNoteOffset);
    }
    if (LoadU32(smpl_.bytes.data() + SmplImage::kLoopCountOffset) == 0) {
      StoreU32(smpl_.bytes.data() + SmplImage::kLoopTypeOffset,
               static_cast<std::uint32_t>(LoopKind::NoLoop));
    }
  }

  void WalkList(std::int64_t data_start, std::int64_t size) {
    const std::int64_t list_end = data_start + size;
    std::int64_t position = data_start + kListTypeSize;  // the list type is not tested
    // A list that holds nothing but its type is legal (an editor that clears a file's tags may
    // leave one); at the end of the file there is then no entry header to read.
    if (position > file_size_ - ChunkHeader::kSize) return;
    for (;;) {
      file_.Seek(position, Site::kSourceSeek);
      const ChunkHeader entry = ReadChunkHeader(file_, Site::kListEntryRead);
      const std::int64_t entry_start = position + ChunkHeader::kSize;
      const std::int64_t entry_size = entry.size;
      if (entry_size > kMaxPosition) return;
      if (entry.Is("INAM")) ReadTitle(entry_start, entry_size);
      position = entry_start + entry_size;
      if (position > kMaxPosition) return;
      // Writers pad odd entries with a zero byte, and some pad even ones too: a zero byte right
      // after an entry is taken as padding, whatever the entry's size.
      if (position < file_size_) {
        file_.Seek(position, Site::kSourceSeek);
        Byte pad;
        file_.ReadExact(&pad, 1, Site::kListPadRead);
        if (pad == 0) ++position;
      }
      if (position > list_end - ChunkHeader::kSize || position > file_size_ - ChunkHeader::kSize) {
        return;
      }
    }
  }

  // The entry's size counts the text's terminating zero, so its last byte is dropped unread; a
  // zero that is still last then is dropped as well.
  void ReadTitle(std::int64_t entry_start, std::int64_t entry_size) {
    info_.Title.clear();
    if (entry_size < 2) return;
    const std::int64_t count = entry_size - 1;
    // Never allocate for more than the file holds: such an entry is a short read.
    if (count > file_size_ - entry_start) throw IoFailure(IoError::ShortRead(), Site::kInamRead);
    info_.Title.resize(static_cast<std::size_t>(count));
    file_.ReadExact(reinterpret_cast<Byte*>(info_.Title.data()), info_.Title.size(),
                    Site::kInamRead);
    if (info_.Title.back() == '\0') info_.Title.pop_back();
  }

  File& file_;
  const std::int64_t file_size_;
  WavInfo& info_;
  SmplImage& smpl_;
};

// How the data is read, by tag and container width (bits per sample rounded up to whole
// bytes): PCM of 3 and 4 bytes, float and G.711 are made 16-bit; every other width that is not
// exactly 16 bits goes byte by byte, as 8-bit data.
SampleEncoding Classify(std::uint16_t tag, std::uint16_t bits_per_sample) {
  const int container = (bits_per_sample + 7) / 8;
  if (tag == kPcmTag && container == 3) return SampleEncoding::kSigned24;
  if (tag == kPcmTag && container == 4) return SampleEncoding::kSigned32;
  if (tag == kFloatTag && container == 4) return SampleEncoding::kFloat32;
  if (tag == kFloatTag && container == 8) return SampleEncoding::kFloat64;
  if (tag == kMuLawTag) return SampleEncoding::kMuLaw;
  if (tag == kALawTag) return SampleEncoding::kALaw;
  return bits_per_sample == 16 ? SampleEncoding::kSigned16 : SampleEncoding::kUnsigned8;
}

// The tag of the real format: the fmt chunk's, or for WAVE_FORMAT_EXTENSIBLE with room for a
// subformat, the subformat's. An extensible fmt chunk too short for one keeps its own tag.
std::uint16_t FormatTagOf(File& file, const Byte* head) {
  const std::uint16_t tag = LoadU16(head + kFormatTagOffset);
  const std::uint32_t fmt_size = LoadU32(head + kFmtSizeOffset);
  if (tag != kExtensibleTag || fmt_size < kExtensibleFmtSize || fmt_size > kMaxPosition) {
    return tag;
  }
  Byte subformat[2];
  file.Seek(kSubformatPosition, Site::kSourceSeek);
  file.ReadExact(subformat, sizeof subformat, Site::kWavHeadRead);
  return LoadU16(subformat);
}

// Every tag the program reads. Tag 0 (unknown) and an extensible chunk without a subformat are
// converted as their bits per sample say, as they always were.
bool Readable(std::uint16_t tag) {
  switch (tag) {
    case kUnknownTag:
    case kPcmTag:
    case kMsAdpcmTag:
    case kFloatTag:
    case kALawTag:
    case kMuLawTag:
    case kImaAdpcmTag:
    case kExtensibleTag:
      return true;
    default:
      return false;
  }
}

// The file's own coefficient table where its fmt chunk holds one (the pairs it holds, up to as
// many as a block can name); the standard pairs stand in for any it lacks. Extensible fmt chunks
// carry no table.
MsAdpcmCoefficients ReadCoefficients(File& file, std::uint32_t fmt_size) {
  MsAdpcmCoefficients table = StandardMsAdpcmCoefficients();
  if (fmt_size < kCoefficientsOffset || fmt_size > kMaxPosition) return table;
  std::array<Byte, kCoefficientTableSize> raw{};
  file.Seek(kCoefficientCountPosition, Site::kSourceSeek);
  const std::size_t wanted = std::min<std::size_t>(fmt_size - kCoefficientsOffset + 2, raw.size());
  const std::size_t got = file.Read(raw.data(), wanted, Site::kWavHeadRead);
  if (got < 2) return table;
  const std::size_t count = std::min<std::size_t>(
      {LoadU16(raw.data()), (got - 2) / kCoefficientPairSize, MsAdpcmCoefficients::kMaxPairs});
  for (std::size_t i = 0; i < count; ++i) {
    table.first[i] = LoadI16(&raw[2 + kCoefficientPairSize * i]);
    table.second[i] = LoadI16(&raw[4 + kCoefficientPairSize * i]);
  }
  table.count = std::max(table.count, static_cast<int>(count));
  return table;
}

// Sorts the source by its format tag, or refuses it: a tag the program cannot decode, IMA ADPCM
// of other than 4 bits, and ADPCM blocks too small for their own header.
void TakeFormat(File& file, const Byte* head, const DisplayText& source_name, WavInfo& info) {
  const std::uint16_t tag = FormatTagOf(file, head);
  if (!Readable(tag) || (tag == kImaAdpcmTag && info.BitsPerSample != 4)) {
    throw UndecodableFormat(source_name, tag);
  }
  info.Encoding = Classify(tag, info.BitsPerSample);
  info.Adpcm.kind = AdpcmKind::None;
  if (tag != kImaAdpcmTag && tag != kMsAdpcmTag) return;
  const bool ima = tag == kImaAdpcmTag;
  const int channels = info.Stereo ? 2 : 1;
  const std::uint16_t block_align = LoadU16(head + kBlockAlignOffset);
  if (block_align < (ima ? kImaHeaderBytes : kMsHeaderBytes) * channels) {
    throw DamagedAdpcmBlocks(source_name, block_align);
  }
  info.Adpcm.kind = ima ? AdpcmKind::Ima : AdpcmKind::Microsoft;
  info.Encoding = SampleEncoding::kSigned16;
  info.Adpcm.block_align = block_align;
  if (!ima) {
    info.Adpcm.coefficients = LoadU16(head + kFormatTagOffset) == kMsAdpcmTag
                                  ? ReadCoefficients(file, LoadU32(head + kFmtSizeOffset))
                                  : StandardMsAdpcmCoefficients();
  }
}

// Writers that keep room for a 64-bit header (RF64) or that put their own metadata first (bext)
// start with another chunk; the format chunk then follows somewhere. Returns the first chunk's id
// when a "fmt " chunk follows it, for a hint; nothing otherwise. Only the first chunks are
// looked at: such writers put the format chunk right behind their own.
std::optional<std::string> ChunkBeforeFormat(File& source) {
  constexpr int kChunksLookedAt = 64;
  std::int64_t position = kFmtIdOffset;
  std::string first_id;
  for (int i = 0; i < kChunksLookedAt && position <= kMaxPosition; ++i) {
    source.Seek(position, Site::kSourceSeek);
    Byte raw[ChunkHeader::kSize];
    if (source.Read(raw, sizeof raw, Site::kChunkHeaderRead) != sizeof raw) break;
    if (IdEquals(raw + ChunkHeader::kIdOffset, "fmt ")) {
      if (i == 0) break;
      return first_id;
    }
    if (i == 0) first_id = PrintableId(raw + ChunkHeader::kIdOffset);
    const std::int64_t size = LoadU32(raw + ChunkHeader::kSizeOffset);
    position += ChunkHeader::kSize + size + size % 2;  // RIFF pads odd-sized chunks
  }
  return std::nullopt;
}

// Whether `source` holds 2 GiB or more, asked without the size query, which refuses such a file.
// RIFF rewrites only what is smaller: a hint to rewrite a larger RF64 file would mislead.
bool ReachesTwoGiB(File& source) {
  Byte last;
  source.Seek(kMaxPosition, Site::kSourceSeek);
  return source.Read(&last, 1, Site::kWavHeadRead) == 1;
}

}  // namespace

void ScanWav(File& source, const DisplayText& source_name, WavInfo& info, SmplImage& smpl) {
  Byte head[kHeadSize];
  source.ReadExact(head, kHeadSize, Site::kWavHeadRead);
  const std::uint16_t channels = LoadU16(head + kChannelsOffset);
  const bool riff_wave =
      IdEquals(head + kRiffIdOffset, "RIFF") && IdEquals(head + kWaveIdOffset, "WAVE");
  if (riff_wave && !IdEquals(head + kFmtIdOffset, "fmt ")) {
    const std::optional<std::string> first = ChunkBeforeFormat(source);
    throw NotAStandardWav(source_name, first ? ChunkBeforeFormatHint(source_name, *first) : "");
  }
  if (IdEquals(head + kRiffIdOffset, "RF64") && !ReachesTwoGiB(source)) {
    throw NotAStandardWav(source_name, Rf64Hint(source_name));
  }
  if (!riff_wave || channels > 2) throw NotAStandardWav(source_name);
  info.Stereo = channels == 2;
  info.BitsPerSample = LoadU16(head + kBitsPerSampleOffset);
  info.SixteenBit = info.BitsPerSample == 16;
  info.SampleRate = LoadI32(head + kSampleRateOffset);
  // The format is tested once the head is known to be a WAV's, before the chunk walk: a file
  // the program cannot decode is refused for that, whatever its chunks.
  TakeFormat(source, head, source_name, info);

  // Never more than kMaxPosition: the size query refuses larger files.
  const std::int64_t file_size = source.Size(Site::kSourceSize);

  info.DataOffset = 0;
  info.DataLength = 0;
  info.Title.clear();
  info.UnityNote.reset();
  Byte* image = smpl.bytes.data();
  StoreU32(image + SmplImage::kLoopTypeOffset, static_cast<std::uint32_t>(LoopKind::NoLoop));
  StoreU32(image + SmplImage::kLoopStartOffset, 0);
  StoreU32(image + SmplImage::kLoopEndOffset, 0);

  const std::int64_t walk_start = kFmtDataStart + LoadU32(head + kFmtSizeOffset);
  if (LoadU32(head + kFmtSizeOffset) <= kMaxPosition && walk_start <= kMaxPosition) {
    WavChunkWalk(source, file_size, info, smpl).Run(walk_start);
  }

  info.LoopType = static_cast<LoopKind>(LoadU32(image + SmplImage::kLoopTypeOffset));
  info.LoopStart = LoadI32(image + SmplImage::kLoopStartOffset);
  info.LoopEnd = LoadI32(image + SmplImage::kLoopEndOffset);

  if (info.DataOffset == 0) throw DataChunkNotFound(source_name);
  // Only compressed sources grow when decoded, and they can outgrow a sample's 32-bit length.
  if (DecodedBytes(info) > kMaxPosition) throw DecodesTooLong(source_name);
  source.Seek(info.DataOffset, Site::kSourceSeek);
}

std::string ReportFormat(const WavInfo& info) {
  std::string_view codec;
  if (info.Encoding == SampleEncoding::kMuLaw) codec = "mu-law";
  if (info.Encoding == SampleEncoding::kALaw) codec = "A-law";
  if (info.Adpcm.kind == AdpcmKind::Ima) codec = "IMA ADPCM";
  if (info.Adpcm.kind == AdpcmKind::Microsoft) codec = "MS ADPCM";
  return ReportFormat(info.BitsPerSample, codec, info.Stereo, info.SampleRate,
                      static_cast<std::uint32_t>(info.LoopType));
}

}  // namespace brumlet
