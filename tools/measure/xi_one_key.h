// An XI file cut down to what one key plays: rendering a note of a large instrument (a drum kit's
// part of 16 stereo-mixed samples) need not load all of it, and a player makes of the note the
// same either way.
#pragma once

#include <string>

namespace brumlet::measure {

/// `xi` with the one sample `key` (0..95) plays, every key mapped to it, and the header, envelope
/// and vibrato unchanged; `xi` itself when it is not a whole XI file.
std::string XiOfOneKey(const std::string& xi, int key);

}  // namespace brumlet::measure
