// Fuzzes the SFZ reader over a main file and one file it may include, cut apart at "#FILE#".
// Whatever the text, the reader either skips the file with a failure that names a place in it,
// or hands over regions within its bounds; it never throws (the in-memory files cannot fail to
// read) and never works without bound (libFuzzer's -timeout and -rss_limit_mb catch that).
#include <cstdint>
#include <cstdlib>
#include <set>
#include <string>
#include <string_view>

#include "fake_platform.h"
#include "sfz/sample_path.h"
#include "sfz/sfz_reader.h"

namespace {

using namespace brumlet;

constexpr std::string_view kSplit = "#FILE#";

void Check(bool condition) {
  if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view all(reinterpret_cast<const char*>(data), size);
  const std::size_t cut = all.find(kSplit);
  testing::FakePlatform platform;
  platform.AddTextFile("lib/main.sfz", all.substr(0, cut));
  if (cut != std::string_view::npos) {
    platform.AddTextFile("lib/inc.sfz", all.substr(cut + kSplit.size()));
  }
  const sfz::SfzFile sfz = sfz::ReadSfz(platform, "lib/main.sfz");
  Check(sfz.folder == "lib/" && !sfz.files.empty());
  if (sfz.failure) {
    Check(sfz.regions.empty() && sfz.unmapped_opcodes.empty());
    Check(sfz.failure->file < sfz.files.size() && sfz.failure->text.size() <= sfz::kMaxQuoted);
    return 0;
  }
  Check(sfz.regions.size() <= sfz::kMaxRegions);
  for (const sfz::Region& r : sfz.regions) {
    Check(r.file < sfz.files.size() && r.line >= 1 && r.sample.size() <= sfz::kMaxPath);
    Check(r.controller_ranges.size() <= sfz::kControllers);
    if (r.left_out != sfz::LeftOut::kNone) continue;
    Check(r.lokey <= r.hikey && r.hikey >= 0 && r.lokey <= 127 && r.seq_position == 1);
    Check(r.sample_kind == sfz::SampleKind::kFile || r.sample_kind == sfz::SampleKind::kSine ||
          r.sample_kind == sfz::SampleKind::kSilence);
    if (r.sample_kind == sfz::SampleKind::kFile) {
      const std::optional<std::string> found = sfz::FindFile(platform, sfz.folder, r.sample);
      Check(!found || platform.Has(*found));
    }
  }
  const std::set<std::string> distinct(sfz.unmapped_opcodes.begin(), sfz.unmapped_opcodes.end());
  Check(distinct.size() == sfz.unmapped_opcodes.size());
  return 0;
}
