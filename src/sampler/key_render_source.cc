#include "sampler/key_render_source.h"

#include <algorithm>

#include "xi/sample_reader.h"

namespace brumlet::sampler {
namespace {

// The first `count` values of `buffer`, grown to hold them. The buffers only grow: a resize to
// fewer values and back would clear the values between again, every key.
template <typename T>
std::span<T> FirstOf(std::vector<T>& buffer, std::size_t count) {
  if (buffer.size() < count) buffer.resize(count);
  return std::span(buffer).first(count);
}

}  // namespace

void KeyRenderSource::Render() {
  const std::vector<PlannedVoice>& planned = render_.voices;
  if (buffers_.voices.size() < planned.size()) buffers_.voices.resize(planned.size());
  std::vector<RenderVoice>& voices = buffers_.planned;
  voices.clear();
  for (std::size_t i = 0; i < planned.size(); ++i) {
    const std::span<std::int16_t> data = FirstOf(buffers_.voices[i], planned[i].frames.frames);
    reader_.Read(planned[i].frames, data);
    if (planned[i].mixed_with) {
      const std::span<std::int16_t> side = FirstOf(buffers_.side, planned[i].mixed_with->frames);
      reader_.Read(*planned[i].mixed_with, side);
      const std::size_t both = std::min(data.size(), side.size());
      for (std::size_t n = 0; n < both; ++n) {
        data[n] = static_cast<std::int16_t>(MixStereo(data[n], side[n]));
      }
    }
    RenderVoice voice = planned[i].voice;
    voice.frames = data;
    voices.push_back(voice);
  }
  const std::span<float> render = FirstOf(buffers_.render, render_.layout.frames);
  RenderKey(voices, render_.layout, render, buffers_.scratch);
  scaled_down_ = ToInt16(render, FirstOf(buffers_.frames, render.size())).scaled_down;
  rendered_ = true;
}

void KeyRenderSource::Read(std::span<std::int16_t> out) {
  if (!rendered_) Render();
  const std::size_t n = std::min<std::size_t>(out.size(), render_.layout.frames - next_);
  std::copy_n(buffers_.frames.begin() + static_cast<std::ptrdiff_t>(next_), n, out.begin());
  std::fill(out.begin() + static_cast<std::ptrdiff_t>(n), out.end(), std::int16_t{0});
  next_ += n;
}

}  // namespace brumlet::sampler
