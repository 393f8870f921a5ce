#include "neutralised_bank.h"

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <vector>

#include "bytes.h"

namespace brumlet::measure {
namespace {

// The bank is a RIFF form "sfbk" of LIST chunks; the LIST "pdta" holds the preset and
// instrument tables as chunks of fixed-size records:
//  - pgen, igen: generators of 4 bytes, the operator (u16) and the amount (u16);
//  - pmod, imod: modulators of 10 bytes, source, destination, amount (i16 at 4), amount source
//    and transform.
constexpr std::size_t kRiffHeader = 12, kChunkHeader = 8, kListType = 8;
constexpr std::size_t kGeneratorSize = 4, kGeneratorAmount = 2;
constexpr std::size_t kModulatorSize = 10, kModulatorAmount = 4;

// Generator operators.
constexpr std::uint16_t kModLfoToPitch = 5, kVibLfoToPitch = 6, kModEnvToPitch = 7,
                        kInitialFilterFc = 8, kInitialFilterQ = 9, kModLfoToFilterFc = 10,
                        kModEnvToFilterFc = 11, kModLfoToVolume = 13;
constexpr std::uint16_t kOpenFilterCents = 13500;

// The amount generator `oper` gets in a copy neutralised of `what`, if it is one to change.
bool Replacement(std::uint16_t oper, unsigned what, bool instrument, std::uint16_t& amount) {
  using namespace neutralise;
  amount = 0;
  switch (oper) {
    case kInitialFilterFc:
      amount = instrument ? kOpenFilterCents : 0;
      return what & kFilter;
    case kInitialFilterQ:
    case kModEnvToFilterFc:
      return what & kFilter;
    case kModLfoToFilterFc:
      return what & (kFilter | kModLfo);
    case kModLfoToPitch:
    case kModLfoToVolume:
      return what & kModLfo;
    case kVibLfoToPitch:
      return what & kVibLfo;
    case kModEnvToPitch:
      return what & kModEnvPitch;
    default:
      return false;
  }
}

// Patches the body of pdta's sub-chunks in `pdta` (the LIST's body after its type).
void Patch(std::vector<Byte>& pdta, unsigned what) {
  for (std::size_t at = 0; at + kChunkHeader <= pdta.size();) {
    const std::size_t body = at + kChunkHeader;
    const std::size_t size = std::min<std::size_t>(LoadU32(&pdta[at + 4]), pdta.size() - body);
    const bool pgen = IdEquals(&pdta[at], "pgen"), igen = IdEquals(&pdta[at], "igen");
    if (pgen || igen) {
      for (std::size_t r = body; r + kGeneratorSize <= body + size; r += kGeneratorSize) {
        std::uint16_t amount = 0;
        if (Replacement(LoadU16(&pdta[r]), what, igen, amount)) {
          StoreU16(&pdta[r + kGeneratorAmount], amount);
        }
      }
    }
    if (IdEquals(&pdta[at], "pmod") || IdEquals(&pdta[at], "imod")) {
      for (std::size_t r = body; r + kModulatorSize <= body + size; r += kModulatorSize) {
        StoreU16(&pdta[r + kModulatorAmount], 0);
      }
    }
    at = body + size + (size & 1);
  }
}

}  // namespace

bool NeutralisedCopy(const std::string& bank, const std::string& copy, unsigned what) {
  std::error_code error;
  std::filesystem::copy_file(bank, copy, std::filesystem::copy_options::overwrite_existing, error);
  if (error) return false;
  std::fstream f(copy, std::ios::in | std::ios::out | std::ios::binary);
  const auto file_size = static_cast<std::uint64_t>(std::filesystem::file_size(copy, error));
  if (!f || error) return false;
  auto read = [&f](std::uint64_t at, std::vector<Byte>& bytes) {
    f.seekg(static_cast<std::streamoff>(at));
    f.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(f);
  };
  std::vector<Byte> header(kRiffHeader);
  if (!read(0, header) || !IdEquals(header.data(), "RIFF")) return false;
  const std::uint64_t end = std::min<std::uint64_t>(kChunkHeader + LoadU32(&header[4]), file_size);
  for (std::uint64_t at = kRiffHeader; at + kRiffHeader <= end;) {
    if (!read(at, header)) return false;
    const std::uint64_t size =
        std::min<std::uint64_t>(LoadU32(&header[4]), end - at - kChunkHeader);
    if (IdEquals(header.data(), "LIST") && IdEquals(&header[kListType], "pdta") &&
        size >= kRiffHeader - kChunkHeader) {
      std::vector<Byte> pdta(static_cast<std::size_t>(size - (kRiffHeader - kChunkHeader)));
      const std::uint64_t body = at + kRiffHeader;
      if (!read(body, pdta)) return false;
      Patch(pdta, what);
      f.seekp(static_cast<std::streamoff>(body));
      f.write(reinterpret_cast<const char*>(pdta.data()),
              static_cast<std::streamsize>(pdta.size()));
      return static_cast<bool>(f.flush());
    }
    at += kChunkHeader + size + (size & 1);
  }
  return false;
}

}  // namespace brumlet::measure
