// The bank reader over banks built in memory: what it reads, and every refusal with its message.
#include <gtest/gtest.h>

#include <functional>

#include "fake_platform.h"
#include "messages.h"
#include "sf2/bank.h"
#include "sf2_builder.h"

namespace brumlet {
namespace {

using namespace brumlet::testing;

sf2::Bank Read(const Bytes& bytes) {
  FakePlatform platform;
  platform.AddFile("b.sf2", bytes);
  return sf2::ReadBank(*platform.OpenRead("b.sf2", Site::kSourceOpen), "b.sf2");
}

BankSpec Small() {
  return {{{"Lead", 0, 5, {{Set(41, 0)}}}},
          {{"Saw", {{KeyRange(0, 127), Set(53, 0)}}}},
          {{"SawL", 10, 90, 20, 80, 22050, 57, -3, 1, 4},
           {"SawR", 100, 180, 110, 170, 22050, 57, -3, 0, 2}}};
}

TEST(Sf2Bank, ReadsEveryTableFieldByField) {
  const sf2::Bank bank = Read(Sf2(Small()));
  EXPECT_EQ(bank.name, "Bank");
  EXPECT_EQ(bank.version_major, 2);
  EXPECT_EQ(bank.version_minor, 4);
  EXPECT_EQ(bank.sample_data_offset, 70);  // RIFF 12, INFO list 38, sdta list 12, smpl header 8
  EXPECT_EQ(bank.sample_frames, 1000u);
  ASSERT_EQ(bank.PresetCount(), 1u);
  EXPECT_EQ(bank.presets[0].name, "Lead");
  EXPECT_EQ(bank.presets[0].program, 5);
  EXPECT_EQ(bank.presets[1].first_bag, 1);
  EXPECT_EQ(bank.preset_generators[0].oper, 41);
  EXPECT_EQ(bank.instrument_generators[0].High(), 127);
  EXPECT_EQ(bank.instrument_bags[1].first_generator, 2);
  EXPECT_EQ(bank.preset_modulators.size(), 1u);
  const sf2::SampleHeader& s = bank.samples[1];
  EXPECT_EQ(std::make_tuple(s.name, s.start, s.end, s.loop_start, s.loop_end, s.rate),
            std::make_tuple(std::string("SawR"), 100u, 180u, 110u, 170u, 22050u));
  EXPECT_EQ(s.original_pitch, 57);
  EXPECT_EQ(s.pitch_correction, -3);
  EXPECT_EQ(bank.samples[0].link, 1);
  EXPECT_EQ(s.type, 2);
  EXPECT_EQ(bank.samples[2].name, "EOS");
}

void Drop(Sf2Parts& p, const char* id) {
  std::erase_if(p.hydra, [&](const auto& t) { return t.first == id; });
}
Bytes& Table(Sf2Parts& p, const char* id) {
  return std::find_if(p.hydra.begin(), p.hydra.end(), [&](auto& t) { return t.first == id; })
      ->second;
}

TEST(Sf2Bank, RefusesWhatIsNotAReadableBank) {
  struct Case {
    std::function<Bytes(Sf2Parts&)> make;
    const char* what;
  };
  auto edit = [](std::function<void(Sf2Parts&)> f) {
    return [f](Sf2Parts& p) {
      f(p);
      return Assemble(p);
    };
  };
  const Case cases[] = {
      {[](Sf2Parts&) { return Wav(FmtData(1, 8000, 8), {Chunk("data", {0})}); },
       "not a SoundFont 2 bank (no RIFF sfbk header)"},
      {[](Sf2Parts&) {
         return Bytes{'R', 'I', 'F', 'F'};
       },
       "not a SoundFont 2 bank (no RIFF sfbk header)"},
      {edit([](Sf2Parts& p) {
         p.info = Chunk("ifil", {3, 0, 1, 0});
       }),
       "a SoundFont 3.1 bank with compressed samples, which Brumlet does not read"},
      {edit([](Sf2Parts& p) { p.sdta = Chunk("sm24", {}); }), "no smpl chunk in the sdta list"},
      {edit([](Sf2Parts& p) { Drop(p, "ibag"); }), "no ibag chunk in the pdta list"},
      {edit([](Sf2Parts& p) { Table(p, "pgen").resize(6); }),
       "the pgen chunk's 6 bytes are not whole records of 4 bytes"},
      {edit([](Sf2Parts& p) { Table(p, "phdr").resize(38); }),
       "the phdr chunk holds 1 record, fewer than the 2 it needs with its terminal record"},
      {edit([](Sf2Parts& p) { Table(p, "imod").clear(); }),
       "the imod chunk holds 0 records, fewer than the 1 it needs with its terminal record"},
      {edit([](Sf2Parts& p) {
         p.info = Chunk("INAM", {'x', 0}, 10);
       }),
       "the INAM chunk runs past the end of the INFO list"},
      {[](Sf2Parts& p) {
         Bytes b = Assemble(p);
         return Bytes(b.begin(), b.end() - 1);
       },
       "truncated: the pdta chunk ends past the end of the file"},
      {[](Sf2Parts& p) {
         Bytes b = Assemble(p);
         const std::string_view id = "pdta";
         return Bytes(b.begin(), std::search(b.begin(), b.end(), id.begin(), id.end()) - 2);
       },
       "truncated: the RIFF chunk ends past the end of the file"},
  };
  for (const Case& c : cases) {
    Sf2Parts parts = Parts(Small());
    try {
      Read(c.make(parts));
      ADD_FAILURE() << "read: " << c.what;
    } catch (const Rejection& r) {
      EXPECT_EQ(r.what(), Text({"error: b.sf2: ", c.what, "\n"}));
      EXPECT_EQ(r.exit_code(), exit_code::kBankRefused);
    }
  }
  // A bank without its sdta or pdta list.
  Sf2Parts parts = Parts(Small());
  for (const char* list : {"sdta", "pdta"}) {
    Bytes bank = Assemble(parts);
    const std::size_t at = std::search(bank.begin(), bank.end(), list, list + 4) - bank.begin();
    bank[at] = 'x';
    EXPECT_THROW(
        try { Read(bank); } catch (const Rejection& r) {
          EXPECT_EQ(r.what(), Text({"error: b.sf2: no ", list, " list\n"}));
          throw;
        },
        Rejection);
  }
}

TEST(Sf2Bank, EveryTruncationIsRefused) {
  const Bytes full = Sf2(Small());
  for (std::size_t size = 0; size < full.size(); ++size) {
    EXPECT_THROW(Read(Bytes(full.begin(), full.begin() + size)), Rejection) << size;
  }
}

}  // namespace
}  // namespace brumlet
