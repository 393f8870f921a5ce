// The WAV files the players write, read back as numbers for measuring.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace brumlet::measure {

/// A rendered WAV as numbers in -1..1: its channels mixed to one, and for a stereo file each
/// channel on its own.
struct Rendered {
  int rate = 0;
  int channels = 0;
  std::vector<double> mono;
  std::vector<double> left, right;  ///< empty unless the file is stereo
  double Seconds() const { return rate > 0 ? static_cast<double>(mono.size()) / rate : 0; }
};

/// Reads a mono or stereo WAV of 16-bit PCM or 32-bit float; `rate` stays 0 when `bytes` is no
/// such file.
Rendered ReadWav16(const std::string& bytes);

/// ReadWav16 of the file at `path`; `rate` 0 when it cannot be read.
Rendered ReadWavFile(const std::string& path);

/// The frame at `seconds`, held within the signal.
std::size_t FrameAt(const Rendered& signal, double seconds);

/// `frames` frames of `signal` from frame `first`, silence where `signal` ends earlier.
Rendered Slice(const Rendered& signal, std::size_t first, std::size_t frames);

}  // namespace brumlet::measure
