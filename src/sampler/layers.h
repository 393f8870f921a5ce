// Which of the sounds on a melodic key the XI keeps. An XI key plays one sample; a bank's key can
// sound several zones at once. Zones that are one sound are paired first, a pair counting as one
// candidate: the two sides of a stereo recording, one mono sample played by two zones panned to
// opposite sides (a common way to widen a sound), and a left and a right recording stored as two
// mono samples (on the same keys, with the same root, rate and level). Then the main layer is
// chosen among the candidates within 150 cB (6 dB as players apply it) of the loudest: one in tune
// on the key first (an octave or a fifth layer of a soundtrack preset is not the melody), then one
// that loops over a short unlooped one (a chiff is not the tone), then the loudest, then the first
// in the list.
#pragma once

#include <cstddef>
#include <optional>
#include <utility>
#include <vector>

#include "sampler/plan.h"
#include "sampler/zone.h"

namespace brumlet::sampler {

/// A sound a key can keep: one zone, or two that are one sound.
struct Layer {
  enum class Kind {
    kAlone,
    kStereoPair,    ///< a left and a right sample of the reader's stereo pair: mixed
    kPannedTwice,   ///< one mono sample in two zones panned apart: one sample, tunings and pans
                    ///< averaged
    kLeftAndRight,  ///< two mono recordings on the same keys, root, rate and level, panned apart
  };
  Kind kind = Kind::kAlone;
  /// The louder zone; of two as loud, the left side (then the first in the list), whose length
  /// and loop the mix takes, whichever side the reader lists first.
  std::size_t main = 0;
  std::optional<std::size_t> other;
  /// A pair's twin (a stereo pair's, or a left and a right recording's): two more zones playing
  /// the same two samples from the same root, panned
  /// and tuned apart from these to widen and thicken the sound. The XI plays the pair once at
  /// the mean of the four pans and tunings.
  std::optional<std::pair<std::size_t, std::size_t>> twin;
};

/// Whether mono zones `a` and `b` of `list` are the left and the right recording of one sound,
/// stored as two mono samples: other samples, panned to opposite sides, on the same keys with the
/// same root, rate and level. (Banks cut the two sides of a recording apart and trim each on its
/// own, so their lengths may differ.)
bool LeftAndRight(const ZoneList& list, std::size_t a, std::size_t b);

/// The candidates of a key: `zones` (those sounding there at velocity 100) paired into layers,
/// in the order of their main zones.
std::vector<Layer> PairLayers(const ZoneList& list, const std::vector<std::size_t>& zones);

/// The layer key `key` keeps of `layers` (not empty).
const Layer& MainLayer(const ZoneList& list, const std::vector<Layer>& layers, int key);

/// The pitch a zone holds once its modulation envelope has decayed to its sustain: the envelope's
/// pitch depth times what is left at sustain. A bank may tune a zone an octave down and lift it
/// back with the envelope.
double HeldPitch(const Zone& zone);

/// Whether a zone loops while the key is held.
bool Loops(const Zone& zone);

/// The XI sample `layer` becomes.
PlannedSample SampleOf(const ZoneList& list, const Layer& layer);

}  // namespace brumlet::sampler
