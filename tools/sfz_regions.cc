// Reads SFZ files with the program's SFZ reader and prints, for each, its regions, those a lone
// note at velocity 100 plays, and the samples of those that cannot be found; then the totals and
// every opcode that has no counterpart in an XI. Exits with 1 when a file is skipped or a sample
// is missing, so that a script can check a whole library or a bank's export.
//
//   brumlet_sfz_regions FILE.sfz...
#include <cstdio>
#include <set>
#include <string>
#include <vector>

#include "platform/posix_platform.h"
#include "sfz/sample_path.h"
#include "sfz/sfz_reader.h"

int main(int argc, char** argv) {
  using namespace brumlet;
  PosixPlatform platform;
  std::size_t files = 0, skipped = 0, regions = 0, sounding = 0, missing = 0;
  std::vector<std::string> unmapped;
  std::set<std::string> seen;
  for (int i = 1; i < argc; ++i) {
    const sfz::SfzFile sfz = sfz::ReadSfz(platform, argv[i]);
    ++files;
    if (const auto& f = sfz.failure) {
      ++skipped;
      std::printf("%s: skipped: problem %d at %s line %d: %s '%s'\n", argv[i],
                  static_cast<int>(f->problem), sfz.files[f->file].c_str(), f->line,
                  f->opcode.c_str(), f->text.c_str());
      continue;
    }
    std::size_t plays = 0, lost = 0;
    for (const sfz::Region& r : sfz.regions) {
      if (r.left_out != sfz::LeftOut::kNone) continue;
      ++plays;
      if (r.sample_kind == sfz::SampleKind::kFile &&
          !sfz::FindFile(platform, sfz.folder, r.sample)) {
        ++lost;
        std::printf("%s: line %d: sample \"%s\" not found\n", argv[i], r.line, r.sample.c_str());
      }
    }
    std::printf("%s: %zu regions, %zu play a lone note\n", argv[i], sfz.regions.size(), plays);
    regions += sfz.regions.size();
    sounding += plays;
    missing += lost;
    for (const std::string& name : sfz.unmapped_opcodes) {
      if (seen.insert(name).second) unmapped.push_back(name);
    }
  }
  std::printf("%zu files, %zu skipped, %zu regions, %zu play a lone note, %zu samples missing\n",
              files, skipped, regions, sounding, missing);
  std::printf("not in an XI:");
  for (const std::string& name : unmapped) std::printf(" %s", name.c_str());
  std::printf("\n");
  return skipped == 0 && missing == 0 ? 0 : 1;
}
