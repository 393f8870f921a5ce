// Writes the crafted banks of the hostile-bank row of the benchmark into a folder: each of about a
// megabyte or less, each built to make planning or writing as costly as the program allows.
//   make_hostile_banks FOLDER
#include <cstdio>
#include <fstream>
#include <string>

#include "hostile_banks.h"

using namespace brumlet::testing;

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_hostile_banks FOLDER\n");
    return 2;
  }
  const std::pair<const char*, BankDef> banks[] = {
      {"disjoint-zones.sf2", DisjointZonesBank()},
      {"many-presets.sf2", ManyPresetsBank()},
      {"silent-layers.sf2", SilentLayersBank()},
      // The same shapes turned so that every pair meets and sounds: the most a zone can cost.
      {"many-presets-meeting.sf2", ManyPresetsMeetingBank()},
      {"amplifying.sf2", AmplifyingBank()},
      // Two kits just within the render limits: the longest a small bank can keep the renderer
      // busy, and converted (368 MB written).
      {"long-renders.sf2", LongRendersBank(2, 1)},
  };
  for (const auto& [name, def] : banks) {
    const Bytes bytes = Sf2(def);
    std::ofstream out(std::string(argv[1]) + "/" + name, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    if (!out) {
      std::fprintf(stderr, "make_hostile_banks: cannot write %s\n", name);
      return 1;
    }
  }
  return 0;
}
