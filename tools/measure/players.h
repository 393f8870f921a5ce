// The real players that render what is compared: two tracker engines for XM modules (openmpt123
// and xmp) and a SoundFont synthesizer for banks (fluidsynth), each run as a command.
#pragma once

#include <string>
#include <vector>

#include "wav_reader.h"

namespace brumlet::measure {

/// Why something that needs `tool` (from the Debian package `package`) cannot run; empty when it
/// is installed.
std::string MissingTool(const std::string& tool, const std::string& package);

/// `text` as one word for the shell.
std::string ShellWord(const std::string& text);

/// Runs `command` with /bin/sh and returns its exit code, -1 when it could not run or died by a
/// signal. Safe to call from several threads at once.
int RunCommand(const std::string& command);

/// The tracker engines an XM module is rendered with.
enum class Player { kOpenmpt, kXmp };

/// "openmpt" or "xmp".
const char* PlayerName(Player player);

/// The program and Debian package `player` needs.
const char* PlayerProgram(Player player);

/// Has `player` render the module `xm` in `folder` at `rate` Hz to `xm`.wav: 16-bit stereo,
/// without interpolation. Returns the output, or an empty one on failure.
///  - openmpt123: no dither, no volume ramps, full stereo separation.
///  - xmp: the Fasttracker II player, the mixer's normal amplification (not its default x2,
///    which clips loud notes), full pan separation (its default of 70 % moves a hard-panned
///    sample towards the middle), no configuration files. Its mixer's short anti-click ramps
///    cannot be turned off from the command line.
Rendered RenderXm(Player player, const std::string& folder, const std::string& xm, int rate);

/// RenderXm of each of the modules `xms` in `folder`; openmpt123 renders them all in one run,
/// which saves most of its start-up. A module whose render failed gives an empty one.
std::vector<Rendered> RenderXms(Player player, const std::string& folder,
                                const std::vector<std::string>& xms, int rate);

/// RenderXm by openmpt123.
Rendered RenderXm(const std::string& folder, const std::string& xm, int rate);

/// Has fluidsynth render the MIDI file `midi` in `folder` with the bank `bank_path` at `rate` Hz
/// to `out`, without reverb or chorus, as 32-bit float: no dither noise under a quiet note's
/// release. It loads the whole bank first (1.4 s for FluidR3_GM): its dynamic sample loading,
/// which would be faster, changes what some drum keys sound like. Returns the output, or an empty
/// one on failure.
Rendered RenderMidi(const std::string& folder, const std::string& bank_path,
                    const std::string& midi, const std::string& out, int rate);

}  // namespace brumlet::measure
