// Reading a voice's frames at any position and speed: band-limited windowed-sinc resampling, with
// one kernel for reads at or below the source's rate and one for faster reads.
//
// The unit kernel, at a step of at most one source frame an output frame (the voice read at its
// own rate or slower: a key's render runs at least as fast as every voice, so nearly every read
// is one): sinc(x) under a Kaiser window (beta 7.4) of 24 zero crossings either side, 48 taps,
// its cutoff at the source's Nyquist frequency. It is tabulated once per run at 4096 phases
// between frames, each row the kernel at the centre of its 1/4096 of a frame, as 16-bit integers
// (384 KiB); a read takes the row its phase falls in, whole, multiplies its 48 taps with the
// 16-bit frames and sums the products in 32 bits, exactly. Measured with sines through it
// (tests/key_render_test.cc: steps 0.5, 0.94, 0.9876 and 1, and a sweep from 0.5 to 1.5): the
// gain stays within 0.01 dB up to 0.45 of the source rate (0.0006 dB measured), and everything
// else that comes out stays at least 70 dB below the tone (73.4 dB measured, at 0.45 of the
// rate): the images from 0.55 of the rate up (76 dB down), the error of taking the row for a
// position up to 1/8192 of a frame away (about 74 dB down for a tone at 0.45 of the rate, less
// for lower ones), the taps' rounding. 48 taps is the fewest with which a Kaiser window keeps 70
// dB over a transition from 0.45 to 0.55; 40 keep 63.
//
// The stretched kernel, faster: sinc(x) under a Kaiser window (beta 8.6) of 28 zero crossings
// either side, its cutoff at the output's Nyquist frequency, stretched by the step, so whatever
// lies above the output's Nyquist frequency is removed before it could alias. Measured (steps
// 1.5 to 3.7, steady and sweeping): the gain stays within 0.01 dB up to 0.45 of the output rate,
// and at 0.55 of it and above, and in every image and alias, at least 80 dB down (84 dB
// measured, read steadily from 16-bit taps; 96 frame by frame). It is tabulated at 512 phases
// between taps, in float, linearly interpolated. The stretch stops at 16 (a voice read 16 times
// faster than the output, four octaves up): the taps a frame costs stay bounded, 56 x 16 at most;
// a voice read faster still keeps its pitch but aliases what lies above 1/16 of its band.
//
// So with either kernel an alias can only land above 0.45 of the output rate, outside the
// passband. A voice whose step crosses 1 changes kernels there; both pass the band alike.
//
// A looping source continues through its loop: its position wraps from loop_end to loop_start,
// and the kernel reads across the wrap as the loop goes on; never the frames after loop_end.
// Before the position first wraps, the frames before loop_start are the source's own; after, they
// are the end of the loop. Outside the frames of a source that does not loop is silence.
//
// Two ways to read. ReadFrames takes any steps, a frame at a time, from the source as it is.
// ReadSteadyFrames takes one constant step up to 16, a voice whose pitch does not sweep, from a
// copy of the source laid out once (SteadyRead) with silence around it and its loop repeated past
// its end, so that no window has to be gathered, and a position in fixed point. At steps up to 1
// it gives what ReadFrames gives to within the rounding of the position; above, it tabulates the
// stretched kernel for the voice's own step, 16-bit taps at 256 / step phases (16 at least),
// linearly interpolated between phases, and reads it as it reads the unit kernel.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <vector>

namespace brumlet::sampler {

/// Zero crossings of the kernel for steps above 1, unstretched, either side of its centre.
inline constexpr int kKernelHalfWidth = 28;
/// The most source frames an output frame may step before the kernel stops widening.
inline constexpr double kMaxKernelStretch = 16;
/// Zero crossings of the kernel for steps at or below 1 either side of its centre.
inline constexpr int kUnitKernelHalfWidth = 24;

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
/// and above, the stretched kernel tabulated for the step.
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
