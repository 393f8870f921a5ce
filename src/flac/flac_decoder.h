// A FLAC decoder over a File: the stream's head, then frame after frame into the caller's
// buffer, each checked (CRC-8 of its header, CRC-16 of the whole frame, its number in sequence,
// every reserved value), and at the end the sample count and the MD5 of all the samples against
// STREAMINFO. A damaged or unusual stream ends in a Status that says why; a failed read of the
// file passes through as the File's RunFailure.
//
//   flac::Decoder decoder(file, Site::kSampleRead);
//   if (!decoder.Open().ok()) ...;
//   std::vector<std::int16_t> block(decoder.max_block_samples());
//   while (std::size_t frames = decoder.DecodeFrame(block)) ...;  // frames x channels samples
//   if (!decoder.status().ok()) ... decoder.status().Reason() ...;
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "flac/bit_reader.h"
#include "flac/frame_header.h"
#include "flac/md5.h"
#include "flac/status.h"
#include "flac/stream_info.h"
#include "platform/platform.h"

namespace brumlet::flac {

class Decoder {
 public:
  /// Reads `file` from its current position; every read names `site`.
  Decoder(File& file, Site site);

  /// Reads the stream's head, up to the first frame. Call once, first.
  Status Open();
  const StreamInfo& info() const { return info_; }
  /// The most samples (frames x channels) a frame decodes to: the size DecodeFrame's buffer needs.
  std::size_t max_block_samples() const;

  /// Decodes the next frame into `out`, its channels interleaved, and returns its frames (samples
  /// per channel). 0 at the end of the stream or when it is refused: status() tells which. The
  /// int32 form gives the samples as coded (a 24-bit sample from -2^23 to 2^23 - 1); the int16
  /// form makes them 16-bit, as WAV samples are made: wider ones keep their top 16 bits,
  /// narrower ones are shifted up (8-bit samples times 256). `out` holds max_block_samples().
  std::size_t DecodeFrame(std::span<std::int32_t> out);
  std::size_t DecodeFrame(std::span<std::int16_t> out);

  /// Not ok once the stream is refused; ok at its end means every check passed.
  const Status& status() const { return status_; }
  /// Frames (samples per channel) decoded so far.
  std::uint64_t frames_decoded() const { return frames_decoded_; }

 private:
  /// Decodes the next frame into samples_; its frames, 0 at the end or on a fault.
  std::size_t DecodeBlock();
  Fault ReadFrame();
  Fault CheckHeader(const FrameHeader& header);
  Fault DecodeChannels(const FrameHeader& header);
  Fault EndOfStream();
  void UpdateMd5();
  std::int32_t* Channel(int c) { return samples_.data() + static_cast<std::size_t>(c) * stride_; }

  BitReader reader_;
  StreamInfo info_;
  Status status_;
  bool opened_ = false;
  bool ended_ = false;
  std::size_t stride_ = 0;             ///< max_block_size: one channel's room in samples_
  std::vector<std::int32_t> samples_;  ///< the current block, channel after channel
  std::vector<std::int64_t> side_;     ///< a 33-bit side channel (32-bit stereo only)
  std::size_t block_size_ = 0;
  bool check_md5_ = false;
  Md5 md5_;
  std::uint64_t frame_number_ = 0;
  std::uint64_t frames_decoded_ = 0;
  int variable_block_size_ = -1;   ///< the first frame's blocking strategy; -1 before it
  bool short_block_seen_ = false;  ///< a block below the minimum, allowed only as the last
};

/// A whole stream as mono 16-bit frames, for a reader that takes mono and stereo sources: each
/// sample made 16-bit as DecodeFrame does, the two of a stereo frame then mixed, (L + R) >> 1,
/// as a stereo WAV is mixed.
struct Mono16 {
  Status status;
  StreamInfo info;
  std::vector<std::int16_t> frames;
};

/// Reads the stream of `file` as Mono16; refuses streams of more than 2 channels (kChannels) and
/// of more than `max_frames` frames (kTooLong) without decoding further.
Mono16 ReadMono16(File& file, std::uint64_t max_frames, Site site);

}  // namespace brumlet::flac
