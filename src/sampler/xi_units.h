// A zone's pitch, level and pan in the XI's own units.
#pragma once

#include <cstdint>

#include "xi/pitch.h"

namespace brumlet::sampler {

/// Sample rates outside these cannot give an XI pitch.
inline constexpr std::uint32_t kMinRate = 16;
inline constexpr std::uint32_t kMaxRate = 1u << 24;

/// The XI pitch of a sample of `rate` Hz (kMinRate..kMaxRate) that plays `cents` above its own
/// rate on `root_key`: the rate's pitch as a WAV conversion has it (own rate on key 60), moved by
/// 60 - root_key semitones and the cents, split into the nearest relative note and a finetune of
/// -64..63 chosen so that players that take the finetune in steps of 8 and those that take it
/// whole are both within 3.125 cents of the target; held within what the two fields can hold.
Pitch SamplePitch(std::uint32_t rate, int root_key, double cents);

/// 0..64 for an attenuation of `centibels` (0..1440): players apply 0.4 of it, and banks are
/// voiced for that, so 64 x 10^(-0.4 cB / 200), rounded.
std::uint8_t XiVolume(double centibels);

/// 0..255 for a pan of -500..500 (left to right), around 128, rounded, 500 giving 255.
std::uint8_t XiPanning(double pan);

}  // namespace brumlet::sampler
