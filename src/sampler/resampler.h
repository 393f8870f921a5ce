// Reading a voice's frames at any position and speed: a band-limited windowed-sinc resampler.
//
// The kernel is sinc(x) under a Kaiser window (beta 8.6) of 28 zero crossings either side, its
// cutoff at the Nyquist frequency of the slower of the two rates: the source's when the voice is
// read slower than one source frame an output frame (step <= 1), the output's when faster (the
// kernel is stretched by the step, so whatever lies above the output's Nyquist frequency is
// removed before it could alias). Measured with sines through it (tests/key_render_test.cc, steps
// 0.5 to 3.7, steady and sweeping): the gain stays within 0.01 dB up to 0.45 of the slower rate,
// and at 0.55 of it and above, and in every image and alias, at least 80 dB down. So an alias
// can only land above 0.45 of the output rate, outside the passband.
//
// The kernel is tabulated once per run at 512 phases between taps, linearly interpolated. The
// stretch stops at 16 (a voice read 16 times faster than the output, four octaves up): the taps a
// frame costs stay bounded, 56 unstretched and at most 16 times that; a voice read faster still
// keeps its pitch but aliases what lies above 1/16 of its band.
//
// A looping source continues through its loop: its position wraps from loop_end to loop_start,
// and the kernel reads across the wrap as the loop goes on; never the frames after loop_end.
// Before the position first wraps, the frames before loop_start are the source's own; after, they
// are the end of the loop. Outside the frames of a source that does not loop is silence.
#pragma once

#include <cstdint>
#include <span>

namespace brumlet::sampler {

/// Zero crossings of the unstretched kernel either side of its centre.
inline constexpr int kKernelHalfWidth = 28;
/// The most source frames an output frame may step before the kernel stops widening.
inline constexpr double kMaxKernelStretch = 16;

struct ResamplerSource {
  std::span<const std::int16_t> frames;
  bool loops = false;  ///< over [loop_start, loop_end), which lies within the frames
  std::uint32_t loop_start = 0, loop_end = 0;
};

struct ReadPosition {
  double frame = 0;      ///< in source frames, fractional
  bool wrapped = false;  ///< the position has wrapped at least once
};

/// Reads `out.size()` output frames from `at` on, the n-th at step + n x slope source frames an
/// output frame (full scale 1.0), and moves `at` past them.
void ReadFrames(const ResamplerSource& source, ReadPosition& at, double step, double slope,
                std::span<float> out);

/// Moves `at` on by `step` frames, wrapping it into the loop.
void Advance(const ResamplerSource& source, ReadPosition& at, double step);

/// Whether the kernel, at `step`, reads nothing but the silence after a source that does not loop.
bool ReadsPastEnd(const ResamplerSource& source, const ReadPosition& at, double step);

}  // namespace brumlet::sampler
