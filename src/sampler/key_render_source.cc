#include "sampler/key_render_source.h"

#include <algorithm>

namespace brumlet::sampler {

void KeyRenderSource::Render() {
  const std::vector<PlannedVoice>& planned = render_.voices;
  if (buffers_.voices.size() < planned.size()) buffers_.voices.resize(planned.size());
  std::vector<RenderVoice>& voices = buffers_.planned;
  voices.clear();
  for (std::size_t i = 0; i < planned.size(); ++i) {
    std::vector<std::int16_t>& data = buffers_.voices[i];
    data.resize(planned[i].frames.frames);
    reader_.Read(planned[i].frames, data);
    if (planned[i].mixed_with) {
      buffers_.side.resize(planned[i].mixed_with->frames);
      reader_.Read(*planned[i].mixed_with, buffers_.side);
      const std::size_t both = std::min(data.size(), buffers_.side.size());
      for (std::size_t n = 0; n < both; ++n) {
        data[n] = static_cast<std::int16_t>((data[n] + buffers_.side[n]) >> 1);
      }
    }
    RenderVoice voice = planned[i].voice;
    voice.frames = data;
    voices.push_back(voice);
  }
  const std::uint32_t frames = render_.layout.frames;
  buffers_.render.resize(frames);
  buffers_.frames.resize(frames);
  RenderKey(voices, render_.layout, buffers_.render, buffers_.scratch);
  scaled_down_ = ToInt16(buffers_.render, buffers_.frames).scaled_down;
  rendered_ = true;
}

void KeyRenderSource::Read(std::span<std::int16_t> out) {
  if (!rendered_) Render();
  const std::size_t n = std::min(out.size(), buffers_.frames.size() - next_);
  std::copy_n(buffers_.frames.begin() + static_cast<std::ptrdiff_t>(next_), n, out.begin());
  std::fill(out.begin() + static_cast<std::ptrdiff_t>(n), out.end(), std::int16_t{0});
  next_ += n;
}

}  // namespace brumlet::sampler
