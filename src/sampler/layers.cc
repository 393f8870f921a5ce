#include "sampler/layers.h"

#include <algorithm>
#include <cmath>

#include "sampler/xi_units.h"

namespace brumlet::sampler {
namespace {

constexpr double kLayerWindowCentibels = 150;  // 6 dB as players apply attenuation
constexpr double kInTuneCents = 50;
constexpr double kShortSeconds = 0.5;

bool Louder(const ZoneList& list, std::size_t a, std::size_t b) {
  return list.zones[a].attenuation < list.zones[b].attenuation ||
         (list.zones[a].attenuation == list.zones[b].attenuation && a < b);
}

bool OppositeSides(const Zone& a, const Zone& b) { return a.pan * b.pan < 0; }

std::uint64_t Frames(const Zone& zone) { return static_cast<std::uint64_t>(zone.end - zone.start); }

// How far `zone` sounds off the key's pitch on `key`, in cents: its tuning (the recording's own
// correction aside, which only puts it on its key), its held pitch, and a scale tuning's drift
// from the root.
double TuningOffset(const ZoneList& list, const Zone& zone, int key) {
  return zone.tuning - list.samples[zone.sample].correction + HeldPitch(zone) +
         static_cast<double>(key - zone.root_key) * (zone.scale_tuning - 100);
}

// A short sound that does not loop: a chiff or a click, not the tone a key holds.
bool ShortOneShot(const ZoneList& list, const Zone& zone) {
  return !Loops(zone) &&
         static_cast<double>(Frames(zone)) < kShortSeconds * list.samples[zone.sample].rate;
}

}  // namespace

bool LeftAndRight(const ZoneList& list, std::size_t a, std::size_t b) {
  const Zone &x = list.zones[a], &y = list.zones[b];
  return list.samples[x.sample].side == Sample::Side::kMono &&
         list.samples[y.sample].side == Sample::Side::kMono && x.sample != y.sample &&
         OppositeSides(x, y) && x.keys == y.keys && x.root_key == y.root_key &&
         list.samples[x.sample].rate == list.samples[y.sample].rate &&
         x.attenuation == y.attenuation;
}

bool Loops(const Zone& zone) {
  return zone.loop_mode == LoopMode::kContinuous || zone.loop_mode == LoopMode::kUntilRelease;
}

double HeldPitch(const Zone& zone) {
  if (zone.mod_env_to_pitch == 0) return 0;
  return zone.mod_env_to_pitch * (1 - std::clamp(zone.modulation.sustain, 0, 1000) / 1000.0);
}

std::vector<Layer> PairLayers(const ZoneList& list, const std::vector<std::size_t>& zones) {
  std::vector<std::size_t> loudest_first = zones;
  std::stable_sort(loudest_first.begin(), loudest_first.end(),
                   [&](std::size_t a, std::size_t b) { return Louder(list, a, b); });
  const auto side = [&](std::size_t z) { return list.samples[list.zones[z].sample].side; };
  std::vector<bool> taken(list.zones.size(), false);
  std::vector<Layer> layers;
  // The partner of `z` among the zones not taken that `fits`: the loudest.
  const auto find = [&](std::size_t z, auto fits) -> std::optional<std::size_t> {
    for (std::size_t y : loudest_first) {
      if (y != z && !taken[y] && fits(y)) return y;
    }
    return std::nullopt;
  };
  // Of two sides as loud, the left leads.
  const auto left = [&](std::size_t z) {
    return side(z) == Sample::Side::kLeft ||
           (side(z) == Sample::Side::kMono && list.zones[z].pan < 0);
  };
  const auto pair = [&](Layer::Kind kind, std::size_t z, std::size_t y) {
    taken[z] = taken[y] = true;
    // z is the louder, or the first of two as loud: taken in loudness order.
    if (list.zones[z].attenuation == list.zones[y].attenuation && left(y) && !left(z)) {
      std::swap(z, y);
    }
    layers.push_back({kind, z, y, std::nullopt});
  };
  // The reader's stereo pairs: the zone of the sample's link where it sounds here on the other
  // side; else, since banks whose links are all wrong exist, one of the other side on the same
  // keys with the same root and rate; else the loudest of the other side. Each way is tried on
  // every zone before the next, so that a lone side does not take another pair's partner.
  const auto other_side = [&](std::size_t z, std::size_t y) {
    return side(z) != Sample::Side::kMono && side(y) != Sample::Side::kMono && side(y) != side(z);
  };
  const auto same_recording = [&](std::size_t z, std::size_t y) {
    const Zone &a = list.zones[z], &b = list.zones[y];
    return b.keys == a.keys && b.root_key == a.root_key &&
           list.samples[b.sample].rate == list.samples[a.sample].rate;
  };
  const auto linked = [&](std::size_t z, std::size_t y) {
    const std::optional<std::uint32_t> link = list.samples[list.zones[z].sample].link;
    return link && list.zones[y].sample == *link;
  };
  const auto any = [](std::size_t, std::size_t) { return true; };
  const auto pair_sides = [&](auto fits) {
    for (std::size_t z : loudest_first) {
      if (taken[z] || side(z) == Sample::Side::kMono) continue;
      const auto partner = find(z, [&](std::size_t y) { return other_side(z, y) && fits(z, y); });
      if (partner) pair(Layer::Kind::kStereoPair, z, *partner);
    }
  };
  pair_sides(linked);
  pair_sides(same_recording);
  pair_sides(any);
  for (std::size_t z : loudest_first) {
    if (taken[z] || side(z) != Sample::Side::kMono) continue;
    const Zone& a = list.zones[z];
    const auto same_sample = find(z, [&](std::size_t y) {
      const Zone& b = list.zones[y];
      return side(y) == Sample::Side::kMono && b.sample == a.sample && OppositeSides(a, b);
    });
    if (same_sample) {
      pair(Layer::Kind::kPannedTwice, z, *same_sample);
      continue;
    }
    const auto recording = find(z, [&](std::size_t y) { return LeftAndRight(list, z, y); });
    if (recording) pair(Layer::Kind::kLeftAndRight, z, *recording);
  }
  for (std::size_t z : zones) {
    if (!taken[z]) layers.push_back({Layer::Kind::kAlone, z, std::nullopt, std::nullopt});
  }
  std::sort(layers.begin(), layers.end(),
            [](const Layer& a, const Layer& b) { return a.main < b.main; });
  // Twins: pairs of the same two samples with the same root (both sound on the key, though their
  // ranges may differ elsewhere), folded into the first. A reader that loses the stereo links
  // writes a stereo pair as a left and a right recording: the same twins.
  const auto samples_of = [&](const Layer& l) {
    return std::minmax(list.zones[l.main].sample, list.zones[*l.other].sample);
  };
  const auto two_sides = [](const Layer& l) {
    return l.kind == Layer::Kind::kStereoPair || l.kind == Layer::Kind::kLeftAndRight;
  };
  for (std::size_t i = 0; i < layers.size(); ++i) {
    if (!two_sides(layers[i]) || layers[i].twin) continue;
    for (std::size_t j = i + 1; j < layers.size(); ++j) {
      if (layers[j].kind == layers[i].kind && !layers[j].twin &&
          samples_of(layers[j]) == samples_of(layers[i]) &&
          list.zones[layers[i].main].root_key == list.zones[layers[j].main].root_key) {
        layers[i].twin = std::pair(layers[j].main, *layers[j].other);
        layers.erase(layers.begin() + static_cast<std::ptrdiff_t>(j));
        break;
      }
    }
  }
  return layers;
}

const Layer& MainLayer(const ZoneList& list, const std::vector<Layer>& layers, int key) {
  double least = list.zones[layers.front().main].attenuation;
  for (const Layer& layer : layers)
    least = std::min<double>(least, list.zones[layer.main].attenuation);
  const auto offset = [&](const Layer& layer) {
    const double main = TuningOffset(list, list.zones[layer.main], key);
    if (layer.kind != Layer::Kind::kPannedTwice) return main;
    return (main + TuningOffset(list, list.zones[*layer.other], key)) / 2;
  };
  // Lower ranks win: out of tune, then short and unlooped, then louder, then earlier.
  const auto rank = [&](const Layer& layer) {
    const Zone& zone = list.zones[layer.main];
    return std::tuple(std::abs(offset(layer)) > kInTuneCents, ShortOneShot(list, zone),
                      zone.attenuation, layer.main);
  };
  const Layer* best = nullptr;
  for (const Layer& layer : layers) {
    if (list.zones[layer.main].attenuation > least + kLayerWindowCentibels) continue;
    if (!best || rank(layer) < rank(*best)) best = &layer;
  }
  return *best;
}

PlannedSample SampleOf(const ZoneList& list, const Layer& layer) {
  const Zone& zone = list.zones[layer.main];
  PlannedSample sample;
  sample.name = list.samples[zone.sample].name;
  sample.zone = layer.main;
  sample.source.range = {zone.sample, zone.start, static_cast<std::uint32_t>(Frames(zone))};
  sample.root_key = zone.root_key;
  // A zone's tuning on its keys: a single key's scale tuning moves it (k - root) x (t - 100)
  // cents from where 100 puts it; over several keys, the planner's tuned slots take it.
  const auto tuning = [](const Zone& z) {
    double cents = z.tuning + HeldPitch(z);
    if (z.keys.low == z.keys.high) cents += (z.keys.low - z.root_key) * (z.scale_tuning - 100);
    return cents;
  };
  sample.tuning_cents = tuning(zone);
  double pan = zone.pan;
  sample.lost = zone.lost;
  if (layer.other) {
    const Zone& other = list.zones[*layer.other];
    sample.partner_zone = layer.other;
    pan = (pan + other.pan) / 2;
    sample.lost |= other.lost;
    if (layer.twin) {
      const Zone &a = list.zones[layer.twin->first], &b = list.zones[layer.twin->second];
      pan = (pan + (a.pan + b.pan) / 2.0) / 2;
      sample.tuning_cents = (tuning(zone) + tuning(other) + tuning(a) + tuning(b)) / 4;
      sample.lost |= a.lost | b.lost;
    }
    if (layer.kind == Layer::Kind::kPannedTwice) {
      // One sample sounding at the mean of the two tunings; the louder zone's level, envelope
      // and loop (the sum is not made up for: the tracker's one voice at that volume is what is
      // heard).
      sample.tuning_cents = (sample.tuning_cents + tuning(other)) / 2;
    } else {
      sample.source.partner =
          FrameRange{other.sample, other.start, static_cast<std::uint32_t>(Frames(other))};
    }
  }
  if (zone.keys.low != zone.keys.high && zone.scale_tuning != 100) sample.scale_tuning_lost = true;
  sample.pitch = SamplePitch(list.samples[zone.sample].rate, sample.root_key, sample.tuning_cents);
  if (Loops(zone)) {
    if (zone.loop_start >= zone.start && zone.loop_start < zone.loop_end &&
        zone.loop_end <= zone.end) {
      sample.loop = PlannedLoop{static_cast<std::uint32_t>(zone.loop_start - zone.start),
                                static_cast<std::uint32_t>(zone.loop_end - zone.loop_start)};
    } else {
      sample.loop_dropped = true;
    }
  }
  sample.volume = XiVolume(zone.attenuation);
  sample.panning = XiPanning(pan);
  return sample;
}

}  // namespace brumlet::sampler
