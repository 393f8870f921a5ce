// Why a FLAC stream is refused. A damaged or unusual stream is not an error of the run: the
// decoder reports it as a Status that the caller acts on (refuse the sample, name the file). A
// failed read of the file itself is another matter and passes through as the File's RunFailure.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace brumlet::flac {

enum class Fault : std::uint8_t {
  kNone,
  // The stream's head, before the first frame.
  kNoSignature,
  kNoStreamInfo,
  kStreamInfoSize,
  kSecondStreamInfo,
  kForbiddenBlockType,
  kBlockSizes,
  kSampleRate,
  kBitDepth,
  kTruncatedHead,
  // A frame.
  kNoSync,
  kReservedValue,
  kHeaderCrc,
  kStreamChange,
  kBlockSize,
  kFrameNumber,
  kSubframeType,
  kWastedBits,
  kLpcParameters,
  kResidualMethod,
  kPartitionOrder,
  kResidualRange,
  kSampleRange,
  kPadding,
  kFrameCrc,
  kTruncatedFrame,
  // After the last frame.
  kSampleCount,
  kMd5,
  // What the mono reader does not take.
  kChannels,
  kTooLong,
};

/// The fault's text, the same for every stream: nothing in it comes from the file.
std::string_view FaultText(Fault fault);

/// True for the faults that lie in one frame, whose text names it.
bool IsFrameFault(Fault fault);

struct Status {
  Fault fault = Fault::kNone;
  std::uint64_t frame = 0;  ///< the frame a frame fault lies in, counted from 0

  bool ok() const { return fault == Fault::kNone; }
  /// "frame 12: CRC-16 mismatch"; the bare text for the stream's head and end; empty when ok.
  std::string Reason() const;
};

}  // namespace brumlet::flac
