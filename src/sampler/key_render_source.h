// A planned drum key as sample data: rendered when the writer first asks for its frames, from the
// frames of its voices as the reader delivers them. One key is rendered at a time, into buffers
// that the run keeps and grows, so that a kit of many keys takes no more memory than its longest.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "sampler/key_render.h"
#include "sampler/plan.h"
#include "xi/frame_source.h"

namespace brumlet::sampler {

/// Where a reader keeps the frames a plan names: a bank's sample data, decoded sample files.
class FrameReader {
 public:
  virtual ~FrameReader() = default;
  /// Fills `out` (range.frames values) with the frames of `range`. Throws RunFailure where
  /// reading a file fails.
  virtual void Read(const FrameRange& range, std::span<std::int16_t> out) = 0;
};

/// The buffers of a run's renders. They only grow: a key uses as much of each as it needs.
struct RenderBuffers {
  std::vector<std::vector<std::int16_t>> voices;
  std::vector<std::int16_t> side;  ///< the other side of a pair, read to be mixed in
  std::vector<RenderVoice> planned;  ///< the key's voices over the frames read
  std::vector<float> render;
  std::vector<std::int16_t> frames;
  RenderScratch scratch;
};

class KeyRenderSource final : public FrameSource {
 public:
  /// `render`, `reader` and `buffers` outlive the source.
  KeyRenderSource(const KeyRender& render, FrameReader& reader, RenderBuffers& buffers)
      : render_(render), reader_(reader), buffers_(buffers) {}

  void Read(std::span<std::int16_t> out) override;

  /// Whether the render's peak passed full scale, so that it was scaled down to fit.
  bool scaled_down() const { return scaled_down_; }

 private:
  void Render();

  const KeyRender& render_;
  FrameReader& reader_;
  RenderBuffers& buffers_;
  bool rendered_ = false;
  bool scaled_down_ = false;
  std::size_t next_ = 0;
};

}  // namespace brumlet::sampler
