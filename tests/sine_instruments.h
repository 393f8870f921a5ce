// Instruments of one looped sine made in code, as an XI and as a SoundFont bank, so that what the
// players make of pitch, envelopes and vibrato is measured on a tone whose every value is known.
#pragma once

#include <string>

#include "sampler/envelope_mapping.h"

namespace brumlet::testing {

/// An XI of one sample, a looped sine of 441 Hz at 44100 Hz (100 frames a period), with
/// `relative_note` and `finetune` and the envelope, fade-out and vibrato of `mapping`. The
/// default pitch plays the sample at about its own rate on C-5.
std::string SineXi(const EnvelopeMapping& mapping, int relative_note = 17, int finetune = -28);

/// The frequency SineXi's sine must sound at on XM note `note` (61 = C-5) with those header
/// values: the sample's rate on C-5 is 16726 Hz x 2^(relative note / 12 + finetune / 1536).
double SineXiHz(int note, int relative_note, int finetune);

/// A SoundFont bank of one preset (bank 0, program 0) of one zone over every key: the looped
/// sine of SineXi, 441 Hz at 44100 Hz with root key 69, and the generators of `generators`.
std::string SineBank(const EnvelopeGenerators& generators);

/// How far openmpt123 plays SineXi's sine from SineXiHz on `note`, in cents: the player's own
/// pitch error for those header values, rendered in `folder`.
double XmPitchErrorCents(const std::string& folder, int note, int relative_note, int finetune);

}  // namespace brumlet::testing
