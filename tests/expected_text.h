// The program's own texts as the tests expect to see them, written out once for every test.
#pragma once

#include <string>

namespace brumlet::testing {

inline const std::string kBanner = "\nBrumlet 0.26 - WAV to XI instrument converter\n\n";

inline const std::string kUsage =
    "usage: Brumlet <input file(s)> [namefile]\n"
    "       Brumlet --mono <input file(s)> [namefile]\n"
    "       Brumlet --kit <output.xi> <input file(s)>\n"
    "       Brumlet --multi <output.xi> <input file(s)>\n"
    "       Brumlet --sf2 <bank.sf2> [presets]\n"
    "       Brumlet --sfz <file(s).sfz>\n"
    "\n"
    "BE SURE TO READ THE DOCS BEFORE USING Brumlet !!!\n"
    "you're also advised to use my tagsmith.exe ! :)\n"
    "\n";

inline const std::string kManualPointer = "see 'man brumlet' and the README for more\n";

inline const std::string kManyArgumentsHint =
    "hint: more than two arguments; quote a wildcard pattern so that brumlet expands it: "
    "brumlet '*.wav'\n";

inline const std::string kNameFileIsAWavHint =
    "hint: the name file is a WAV file; quote a wildcard pattern so that brumlet expands it: "
    "brumlet '*.wav'\n";

/// The two-line report of a failed file or console operation at `site` (eight hex digits).
inline std::string IoReport(const std::string& site, const std::string& text,
                            const std::string& module = "brumlet") {
  return "Exception EInOutError in module " + module + " at " + site + ".\n" + text + "\n";
}

}  // namespace brumlet::testing
