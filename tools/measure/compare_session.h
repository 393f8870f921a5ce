// What a comparison tool sets up once and renders with: a scratch folder, the bank's neutralised
// copy that fluidsynth plays, the program's conversion of the bank, and the notes rendered by
// fluidsynth (in one run a preset, optionally kept in a cache folder) and by the trackers.
#pragma once

#include <string>
#include <vector>

#include "conversion.h"
#include "players.h"
#include "sf2_reader.h"
#include "tool_options.h"
#include "wav_reader.h"

namespace brumlet::measure {

/// Every render's rate.
inline constexpr int kRenderRate = 44100;

/// How a note is played: held for `on_seconds` from its onset, rendered and measured for
/// `length_seconds` (at most 5.12 s, 256 rows of a module).
struct NoteTiming {
  double on_seconds = 1;
  double length_seconds = 1.2;
};

class CompareSession {
 public:
  /// Checks that fluidsynth and the chosen players are installed and the bank and program exist,
  /// makes the scratch folder, the copy of the bank neutralised of `neutralised` (neutralise::
  /// flags) and the program's conversion. `error` says what failed, empty when all went well.
  CompareSession(const ToolOptions& options, unsigned neutralised, std::string& error);
  /// Removes the scratch folder, unless the options keep it.
  ~CompareSession();
  CompareSession(const CompareSession&) = delete;
  CompareSession& operator=(const CompareSession&) = delete;

  const Conversion& conversion() const { return conversion_; }
  /// A folder of worker `worker`'s own for its renders.
  std::string WorkFolder(int worker) const;

  /// fluidsynth's renders of `keys` of `preset` from the neutralised copy, one for each key,
  /// each `timing.length_seconds` long from its onset, rendered in `folder`.
  std::vector<Rendered> RenderBankNotes(const Sf2Preset& preset, const std::vector<int>& keys,
                                        const NoteTiming& timing, const std::string& folder) const;

  /// One note of an XI file: its bytes and the key.
  struct XiNote {
    const std::string* xi = nullptr;
    int key = 0;
  };
  /// Each of `notes` wrapped into a module of its own and played by `player`, rendered in
  /// `folder`; an empty render where the player failed.
  static std::vector<Rendered> RenderXiNotes(Player player, const std::vector<XiNote>& notes,
                                             const NoteTiming& timing, const std::string& folder);

 private:
  std::string CachePath(const Sf2Preset& preset, const std::vector<int>& keys,
                        const NoteTiming& timing) const;

  ToolOptions options_;
  std::string scratch_;
  std::string neutral_bank_;
  std::string cache_tag_;  ///< the bank's contents and the neutralisation, for the cache's names
  Conversion conversion_;
};

}  // namespace brumlet::measure
