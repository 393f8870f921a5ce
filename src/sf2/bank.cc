#include "sf2/bank.h"

#include <algorithm>
#include <array>
#include <optional>

#include "bytes.h"
#include "messages.h"
#include "riff.h"

namespace brumlet::sf2 {
namespace {

// A chunk header (riff.h) is followed by its data; a chunk of odd size by one pad byte. A list's
// data starts with its type.
constexpr int kChunkHeaderSize = ChunkHeader::kSize;
constexpr int kListTypeSize = 4;
constexpr int kRiffHeadSize = kChunkHeaderSize + kListTypeSize;  // "RIFF", size, "sfbk"

// The records of the tables, field by field (offsets within the record):
//
//   phdr 38: 0 name[20]  20 program u16  22 bank u16  24 first bag u16
//            26 library u32  30 genre u32  34 morphology u32   (the last three unused)
//   pbag, ibag 4: 0 first generator u16  2 first modulator u16
//   pmod, imod 10: 0 source u16  2 destination u16  4 amount i16  6 amount source u16
//            8 transform u16
//   pgen, igen 4: 0 generator u16  2 amount (u16, i16 or two bytes low, high)
//   inst 22: 0 name[20]  20 first bag u16
//   shdr 46: 0 name[20]  20 start u32  24 end u32  28 loop start u32  32 loop end u32
//            36 rate u32  40 original pitch u8  41 pitch correction i8  42 link u16
//            44 type u16
constexpr int kNameSize = 20;

constexpr int kPresetSize = 38;
constexpr int kPresetProgram = 20;
constexpr int kPresetBank = 22;
constexpr int kPresetBag = 24;
static_assert(kPresetBag + 2 + 3 * 4 == kPresetSize);

constexpr int kBagSize = 4;
constexpr int kBagGenerator = 0;

constexpr int kModulatorSize = 10;

constexpr int kGeneratorSize = 4;
constexpr int kGenOper = 0;
constexpr int kGenAmount = 2;

constexpr int kInstrumentSize = 22;
constexpr int kInstrumentBag = 20;
static_assert(kInstrumentBag + 2 == kInstrumentSize);

constexpr int kSampleSize = 46;
constexpr int kSampleStart = 20;
constexpr int kSampleEnd = 24;
constexpr int kSampleLoopStart = 28;
constexpr int kSampleLoopEnd = 32;
constexpr int kSampleRate = 36;
constexpr int kSamplePitch = 40;
constexpr int kSampleCorrection = 41;
constexpr int kSampleLink = 42;
constexpr int kSampleType = 44;
static_assert(kSampleType + 2 == kSampleSize);

// Tables are read through one buffer of this size, in whole records.
constexpr std::size_t kReadBufferSize = 64 * 1024;

// ifil: major and minor version, two u16.
constexpr int kVersionSize = 4;
// The bank's name is at most 256 bytes, terminator included.
constexpr std::uint32_t kMaxBankName = 256;

std::string NameOf(const Byte* p, std::size_t size) {
  std::size_t length = 0;
  while (length < size && p[length] != 0) ++length;
  return std::string(reinterpret_cast<const char*>(p), length);
}

struct ChunkPlace {
  std::int64_t data = 0;  ///< file offset of the chunk's data
  std::uint32_t size = 0;
};

// Walks the chunks of one list (or of the RIFF form) over the file, never past `end`, padding
// odd chunks as RIFF says (riff.h says how this differs from a WAV's walk). The pad byte is a
// zero; where a chunk id starts in its place instead, the writer left it out, as the writers
// of SoundFont 3 banks do after their odd-sized sample chunk, and players read such banks.
class ListWalk {
 public:
  ListWalk(File& file, std::int64_t begin, std::int64_t end) : file_(file), at_(begin), end_(end) {}

  /// The next chunk's id and place, the file positioned at its data; nothing at the end, or
  /// where the rest is too short for a header. A chunk may run past `end`: the caller decides
  /// what that means for it.
  bool Next(std::array<Byte, 4>& id, ChunkPlace& place) {
    if (end_ - at_ < kChunkHeaderSize) return false;
    file_.Seek(at_, Site::kBankSeek);
    const ChunkHeader head = ReadChunkHeader(file_, Site::kBankRead);
    id = head.id;
    place.size = head.size;
    place.data = at_ + kChunkHeaderSize;
    at_ = place.data + place.size;
    if (place.size % 2 != 0) {
      if (!ChunkStartsHere()) ++at_;
      file_.Seek(place.data, Site::kBankSeek);  // back where the caller reads the chunk
    }
    return true;
  }

 private:
  // Whether a chunk header whose id is printable text starts at the walk's place.
  bool ChunkStartsHere() {
    std::array<Byte, kChunkHeaderSize> next;
    if (end_ - at_ < kChunkHeaderSize) return false;
    file_.Seek(at_, Site::kBankSeek);
    file_.ReadExact(next.data(), next.size(), Site::kBankRead);
    return std::all_of(next.begin(), next.begin() + 4,
                       [](Byte b) { return b >= 0x20 && b < 0x7F; });
  }

  File& file_;
  std::int64_t at_;
  std::int64_t end_;
};

bool Is(const std::array<Byte, 4>& id, const char (&name)[5]) { return IdEquals(id.data(), name); }

class BankReader {
 public:
  BankReader(File& file, const DisplayText& name) : file_(file), name_(name) {}

  Bank Read() {
    file_size_ = file_.Size(Site::kBankSize);
    std::array<Byte, kRiffHeadSize> head{};
    if (file_size_ < kRiffHeadSize) throw BankNotSfbk(name_);
    file_.Seek(0, Site::kBankSeek);
    file_.ReadExact(head.data(), head.size(), Site::kBankRead);
    if (!IdEquals(head.data(), "RIFF") || !IdEquals(head.data() + kChunkHeaderSize, "sfbk")) {
      throw BankNotSfbk(name_);
    }
    // A RIFF size that claims more than the file holds is not trusted, nor needed: every list
    // the bank needs is checked against the file's end on its own. It only tells a list that is
    // missing from one that was cut off.
    const std::int64_t declared_end = kChunkHeaderSize + std::int64_t{LoadU32(head.data() + 4)};
    const std::int64_t riff_end = std::min(file_size_, declared_end);

    std::optional<ChunkPlace> info, sdta, pdta;
    ListWalk walk(file_, kRiffHeadSize, riff_end);
    std::array<Byte, 4> id;
    ChunkPlace place;
    while (walk.Next(id, place)) {
      if (!Is(id, "LIST") || place.size < kListTypeSize) continue;
      std::array<Byte, 4> type;
      if (place.data + kListTypeSize > file_size_) break;
      file_.ReadExact(type.data(), type.size(), Site::kBankRead);
      for (auto [list, slot] : {std::pair{"INFO", &info}, {"sdta", &sdta}, {"pdta", &pdta}}) {
        if (std::equal(type.begin(), type.end(), list) && !*slot) {
          if (place.data + place.size > file_size_) throw BankTruncated(name_, list);
          *slot = ChunkPlace{place.data + kListTypeSize, place.size - kListTypeSize};
        }
      }
    }
    if ((!sdta || !pdta) && declared_end > file_size_) throw BankTruncated(name_, "RIFF");
    if (!sdta) throw BankChunkMissing(name_, "sdta", "");
    if (!pdta) throw BankChunkMissing(name_, "pdta", "");

    Bank bank;
    bank.file_size = file_size_;
    if (info) ReadInfo(*info, bank);
    if (bank.version_major >= 3) throw BankSf3(name_, bank.version_major, bank.version_minor);
    ReadSampleData(*sdta, bank);
    ReadHydra(*pdta, bank);
    return bank;
  }

 private:
  std::int64_t End(const ChunkPlace& list) const { return list.data + list.size; }

  void ReadInfo(const ChunkPlace& list, Bank& bank) {
    ListWalk walk(file_, list.data, End(list));
    std::array<Byte, 4> id;
    ChunkPlace place;
    while (walk.Next(id, place)) {
      if (place.data + place.size > End(list))
        throw BankChunkOverrun(name_, PrintableId(id.data()), "INFO");
      if (Is(id, "ifil") && place.size >= kVersionSize) {
        std::array<Byte, kVersionSize> version;
        file_.ReadExact(version.data(), version.size(), Site::kBankRead);
        bank.version_major = LoadU16(version.data());
        bank.version_minor = LoadU16(version.data() + 2);
      } else if (Is(id, "INAM")) {
        std::array<Byte, kMaxBankName> text;
        const std::uint32_t size = std::min(place.size, kMaxBankName);
        file_.ReadExact(text.data(), size, Site::kBankRead);
        bank.name = NameOf(text.data(), size);
      }
    }
  }

  void ReadSampleData(const ChunkPlace& list, Bank& bank) {
    ListWalk walk(file_, list.data, End(list));
    std::array<Byte, 4> id;
    ChunkPlace place;
    while (walk.Next(id, place)) {
      if (!Is(id, "smpl")) continue;
      if (place.data + place.size > End(list)) throw BankChunkOverrun(name_, "smpl", "sdta");
      bank.sample_data_offset = place.data;
      bank.sample_frames = place.size / 2;
      return;
    }
    throw BankChunkMissing(name_, "smpl", "sdta");
  }

  // The nine tables are found by id in any order, then read in the order the format gives them.
  void ReadHydra(const ChunkPlace& list, Bank& bank) {
    static constexpr std::array<const char*, 9> kIds = {"phdr", "pbag", "pmod", "pgen", "inst",
                                                        "ibag", "imod", "igen", "shdr"};
    std::array<std::optional<ChunkPlace>, 9> tables;
    ListWalk walk(file_, list.data, End(list));
    std::array<Byte, 4> id;
    ChunkPlace place;
    while (walk.Next(id, place)) {
      for (std::size_t i = 0; i < kIds.size(); ++i) {
        if (std::equal(id.begin(), id.end(), kIds[i]) && !tables[i]) {
          if (place.data + place.size > End(list)) throw BankChunkOverrun(name_, kIds[i], "pdta");
          tables[i] = place;
        }
      }
    }
    for (std::size_t i = 0; i < kIds.size(); ++i) {
      if (!tables[i]) throw BankChunkMissing(name_, kIds[i], "pdta");
    }
    bank.presets = ReadTable<PresetHeader>(*tables[0], "phdr", kPresetSize, 2, [](const Byte* r) {
      return PresetHeader{NameOf(r, kNameSize), LoadU16(r + kPresetProgram),
                          LoadU16(r + kPresetBank), LoadU16(r + kPresetBag)};
    });
    bank.preset_bags = ReadTable<Bag>(*tables[1], "pbag", kBagSize, 1, ParseBag);
    // Modulators are not applied, but their tables are checked as the others are.
    CheckTable(*tables[2], "pmod", kModulatorSize, 1);
    bank.preset_generators =
        ReadTable<Generator>(*tables[3], "pgen", kGeneratorSize, 1, ParseGenerator);
    bank.instruments =
        ReadTable<InstrumentHeader>(*tables[4], "inst", kInstrumentSize, 2, [](const Byte* r) {
          return InstrumentHeader{NameOf(r, kNameSize), LoadU16(r + kInstrumentBag)};
        });
    bank.instrument_bags = ReadTable<Bag>(*tables[5], "ibag", kBagSize, 1, ParseBag);
    CheckTable(*tables[6], "imod", kModulatorSize, 1);
    bank.instrument_generators =
        ReadTable<Generator>(*tables[7], "igen", kGeneratorSize, 1, ParseGenerator);
    bank.samples = ReadTable<SampleHeader>(*tables[8], "shdr", kSampleSize, 2, [](const Byte* r) {
      SampleHeader s;
      s.name = NameOf(r, kNameSize);
      s.start = LoadU32(r + kSampleStart);
      s.end = LoadU32(r + kSampleEnd);
      s.loop_start = LoadU32(r + kSampleLoopStart);
      s.loop_end = LoadU32(r + kSampleLoopEnd);
      s.rate = LoadU32(r + kSampleRate);
      s.original_pitch = r[kSamplePitch];
      s.pitch_correction = static_cast<std::int8_t>(r[kSampleCorrection]);
      s.link = LoadU16(r + kSampleLink);
      s.type = LoadU16(r + kSampleType);
      return s;
    });
  }

  static Bag ParseBag(const Byte* r) { return Bag{LoadU16(r + kBagGenerator)}; }
  static Generator ParseGenerator(const Byte* r) {
    return Generator{LoadU16(r + kGenOper), LoadU16(r + kGenAmount)};
  }

  // A table must be whole records, at least `at_least` of them with its terminal record. Returns
  // how many it holds.
  std::uint32_t CheckTable(const ChunkPlace& place, const char* id, int record_size,
                           std::uint32_t at_least) {
    if (place.size % record_size != 0) throw BankPartialRecord(name_, id, place.size, record_size);
    const std::uint32_t count = place.size / record_size;
    if (count < at_least) throw BankTooFewRecords(name_, id, count, static_cast<int>(at_least));
    return count;
  }

  // Reads a table in pieces of whole records through one buffer, so that a table costs what its
  // records take and no more. The chunk lies inside the file (its list does), so its size is
  // backed by bytes that exist.
  template <typename Record, typename Parse>
  std::vector<Record> ReadTable(const ChunkPlace& place, const char* id, int record_size,
                                std::uint32_t at_least, Parse parse) {
    const std::uint32_t count = CheckTable(place, id, record_size, at_least);
    std::vector<Record> records;
    records.reserve(count);
    file_.Seek(place.data, Site::kBankSeek);
    const std::uint32_t per_read = static_cast<std::uint32_t>(buffer_.size()) / record_size;
    for (std::uint32_t done = 0; done < count;) {
      const std::uint32_t n = std::min(per_read, count - done);
      file_.ReadExact(buffer_.data(), std::size_t{n} * record_size, Site::kBankRead);
      for (std::uint32_t i = 0; i < n; ++i)
        records.push_back(parse(buffer_.data() + i * record_size));
      done += n;
    }
    return records;
  }

  File& file_;
  const DisplayText& name_;
  std::int64_t file_size_ = 0;
  std::vector<Byte> buffer_ = std::vector<Byte>(kReadBufferSize);
};

}  // namespace

Bank ReadBank(File& file, const DisplayText& display_name) {
  return BankReader(file, display_name).Read();
}

}  // namespace brumlet::sf2
