// Reading a voice's frames at any position and speed: band-limited windowed-sinc resampling, with
// two kernels.
//
// The wide kernel: sinc(x) under a Kaiser window (beta 8.6) of 28 zero crossings either side, its
// cutoff at the Nyquist frequency of the slower of the two rates: the source's when the voice is
// read slower than one source frame an output frame (step <= 1), the output's when faster (the
// kernel is stretched by the step, so whatever lies above the output's Nyquist frequency is
// removed before it could alias). Measured with sines through it (tests/key_render_test.cc, steps
// 0.5 to 3.7, steady and sweeping): the gain stays within 0.01 dB up to 0.45 of the slower rate,
// and at 0.55 of it and above, and in every image and alias, at least 80 dB down (84 dB read
// steadily from 16-bit taps, below; 96 dB frame by frame). It is tabulated once per run at 512
// phases between taps, in float, linearly interpolated. The stretch stops at 16 (a voice read 16
// times faster than the output, four octaves up): the taps a frame costs stay bounded, 56 x 16 at
// most; a voice read faster still keeps its pitch but aliases what lies above 1/16 of its band.
//
// The unit kernel, for a voice read at one step of at most 1, the common case (a key's render
// runs at least as fast as every voice): 40 taps, sinc under a Kaiser window (beta 7.3) with its
// cutoff at 0.4915 of the source rate, which spends a passband ripple of 0.18 dB on a deeper
// stopband than a cutoff at the Nyquist frequency gives. It is tabulated once per run at 4096
// phases between frames, each row the kernel at the centre of its 1/4096 of a frame, as 16-bit
// integers (320 KiB); a read takes the row its phase falls in, whole, multiplies its 40 taps with
// the 16-bit frames and sums the products in 32 bits, exactly. Measured (steps 0.5, 0.94, 0.9876
// and 1): the gain stays within 0.1 dB up to 0.45 of the source rate (0.09 dB measured), and
// everything else that comes out at least 70 dB below the tone (71.9 dB measured, at 0.45 of the
// rate): the images, from 0.55 of the rate up (74 dB down), the error of taking the row for a
// position up to 1/8192 of a frame away (74 dB down for a tone at 0.45 of the rate, less for
// lower ones), the taps' rounding. It costs 5 multiply-adds of eight 16-bit pairs a frame.
//
// So with either kernel an alias can only land above 0.45 of the output rate, outside the
// passband.
//
// A looping source continues through its loop: its position wraps from loop_end to loop_start,
// and the kernel reads across the wrap as the loop goes on; never the frames after loop_end.
// Before the position first wraps, the frames before loop_start are the source's own; after, they
// are the end of the loop. Outside the frames of a source that does not loop is silence.
//
// Two ways to read. ReadFrames takes any steps, a frame at a time, from the source as it is,
// through the wide kernel: a voice whose pitch sweeps, or one read faster than 16 source frames
// an output frame. ReadSteadyFrames takes one constant step up to 16, from a copy of the source
// laid out once (SteadyRead) with silence around it and its loop repeated past its end, so that no
// window has to be gathered, and a position in fixed point: at steps up to 1 through the unit
// kernel; above, through the wide kernel stretched for the voice's own step and tabulated for it
// as 16-bit taps at 256 / step phases (16 at least), linearly interpolated between phases.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <vector>

namespace brumlet::sampler {

/// Zero crossings of the wide kernel, unstretched, either side of its centre.
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

/// Eight 16-bit taps of a kernel row, on a 16-byte boundary so that SSE2 reads them whole.
struct alignas(16) TapBlock {
  std::array<std::int16_t, 8> taps;
};

/// A steady read's positions and step in fixed point: source frames x 2^32.
inline constexpr int kSteadyFractionBits = 32;

/// A read at one constant step, laid out once for the voice: the source's frames as the read
/// sees them, from silence before the first on, with silence after the last or the loop repeated
/// past its end far enough that the position can wrap back by whole loops before any window
/// reaches the end of the copy; and the kernel for the step, as 16-bit taps by phase.
struct SteadyRead {
  const std::int16_t* first = nullptr;  ///< source frame 0 within the copy
  std::int64_t step = 0;                ///< fixed point, at most 16 x 2^32
  bool loops = false;
  /// Fixed point: where a source that does not loop is read out (every later window silent).
  /// Here and below, the largest int64 for a place the read never reaches.
  std::int64_t end = 0;
  /// Fixed point: where the position first wraps, and by how much it moves then (forward, so
  /// that the window's left part lies within the repeated loop; 0 for a loop long enough).
  std::int64_t first_wrap = 0, first_shift = 0;
  /// Fixed point: where the position wraps after that, and by how much it moves back then.
  std::int64_t wrap = 0, wrap_back = 0;
  /// The kernel: a read at frame f + phase takes the copy's frames f - left .. f - left + taps
  /// - 1 and the row of its phase (of 2^phase_bits), or that row and the next, interpolated.
  const TapBlock* rows = nullptr;
  int taps = 0, left = 0, phase_bits = 0;  ///< taps: a multiple of 8
  bool interpolated = false;
  float scale = 0;  ///< from a sum of products to full scale 1.0
};

/// Where SteadyReads live, kept by the caller from one voice to the next; they only grow.
struct SteadyBuffers {
  std::vector<std::int16_t> frames;
  std::vector<TapBlock> rows;
};

/// Whether `step` can be read steadily: above 0 and at most kMaxKernelStretch.
bool ReadsSteadily(double step);

/// Lays out a read of `output_frames` frames at `step` (ReadsSteadily) from position `start` on.
/// The copy holds no more than that read sees; the kernel is the unit kernel at steps up to 1,
/// and above, the wide kernel stretched and tabulated for the step.
SteadyRead LayOutSteadyRead(const ResamplerSource& source, double step, double start,
                            std::int64_t output_frames, SteadyBuffers& buffers);

struct SteadyPosition {
  std::int64_t fixed = 0;  ///< in the copy's frames once the loop has wrapped
  bool wrapped = false;
  bool read_out = false;  ///< a source that does not loop: nothing but silence from here on
};

/// The position `frame` source frames in.
SteadyPosition SteadyStart(double frame);

/// Reads `out.size()` output frames from `at` on (full scale 1.0) and moves `at` past them.
void ReadSteadyFrames(const SteadyRead& read, SteadyPosition& at, std::span<float> out);

}  // namespace brumlet::sampler
