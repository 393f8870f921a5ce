#include "flac/status.h"

#include <array>

namespace brumlet::flac {
namespace {

// Every text, in the order of Fault.
constexpr std::array<std::string_view, 30> kTexts = {
    "",
    "no fLaC signature",
    "the first metadata block is not STREAMINFO",
    "STREAMINFO is not 34 bytes",
    "a second STREAMINFO block",
    "metadata block type 127",
    "STREAMINFO block sizes out of range",
    "sample rate 0",
    "bits per sample below 4",
    "the file ends inside the metadata",
    "no frame sync code",
    "reserved or forbidden value in the frame header",
    "CRC-8 mismatch",
    "frame header differs from STREAMINFO",
    "block size out of range",
    "frame number out of sequence",
    "reserved subframe type",
    "wasted bits leave no sample bits",
    "forbidden LPC precision or shift",
    "reserved residual coding method",
    "partition order too large for the block",
    "residual out of range",
    "sample out of range for its bit depth",
    "padding bits not zero",
    "CRC-16 mismatch",
    "the file ends inside the frame",
    "sample count differs from STREAMINFO",
    "MD5 mismatch",
    "more than 2 channels",
    "more frames than the caller takes",
};
static_assert(kTexts.size() == static_cast<std::size_t>(Fault::kTooLong) + 1);

}  // namespace

std::string_view FaultText(Fault fault) { return kTexts[static_cast<std::size_t>(fault)]; }

bool IsFrameFault(Fault fault) {
  return fault >= Fault::kNoSync && fault <= Fault::kTruncatedFrame;
}

std::string Status::Reason() const {
  if (!IsFrameFault(fault)) return std::string(FaultText(fault));
  return "frame " + std::to_string(frame) + ": " + std::string(FaultText(fault));
}

}  // namespace brumlet::flac
