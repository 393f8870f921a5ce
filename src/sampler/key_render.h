// A key of a drum kit rendered as a SoundFont player plays it at the velocity the planner chose:
// each voice read at its pitch on the key (and its modulation envelope's sweep) through the
// band-limited resampler, then its low-pass filter (cutoff and resonance, swept by the
// modulation envelope), its volume envelope and its gain; the voices summed into one mono render
// at the layout's rate. The key is never released.
//
// The filter is a biquad whose coefficients follow the modulation envelope every kControlFrames
// output frames; its cutoff is clamped between 20 Hz and 0.45 of the output rate. A voice whose
// filter has no resonance and can never come below 0.45 of the output rate is not filtered.
//
// The cost is linear in voices x output frames: every frame of a voice reads a bounded kernel
// (resampler.h), and nothing is allocated but the scratch a run keeps from one render to the
// next. A voice stops costing once it is silent for good: its data read to the end and its
// filter rung out, or its volume settled below -120 dB. A voice goes through in blocks of
// kControlFrames: read (steadily, from a copy laid out once, where its pitch does not sweep),
// filtered four frames at a time, its levels worked out for the block from its envelope stage,
// and added in (or written, where no voice before it reached). About 3 ns a voice x output
// frame for the common voice, read at one step of at most 1 and filtered, on the benchmark's
// machine (bench/README.md).
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "sampler/key_layout.h"
#include "sampler/render_voice.h"
#include "sampler/resampler.h"

namespace brumlet::sampler {

/// What a render allocates, kept from one render to the next.
struct RenderScratch {
  SteadyBuffers steady;  ///< a voice's frames and kernel laid out for ReadSteadyFrames
};

/// Renders into `out` (layout.frames values), float, full scale 1.0, summed over voices.
/// `layout` is LayOutKey's for the same voices.
void RenderKey(std::span<const RenderVoice> voices, const KeyRenderLayout& layout,
               std::span<float> out, RenderScratch& scratch);

/// RenderKey with a scratch of its own.
void RenderKey(std::span<const RenderVoice> voices, const KeyRenderLayout& layout,
               std::span<float> out);

/// How a render was brought to 16 bits.
struct Int16Scaling {
  bool scaled_down = false;  ///< the render's peak exceeded full scale
  double gain = 1;           ///< applied to every frame: 1, or 1 / peak when scaled down
};

/// Converts a render to 16-bit frames (x 32768 in float, rounded to the nearest, ties to even, the
/// top value 32767; a value that is not finite becomes 0). If its peak exceeds full scale the
/// whole render is scaled down to fit first, and the result says by how much. `out` holds as
/// many frames as `render`.
Int16Scaling ToInt16(std::span<const float> render, std::span<std::int16_t> out);

}  // namespace brumlet::sampler
