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
  return sf2::ReadBank(*platform.OpenRead("b.sf2", Site::kSourceOpen), DisplayText("b.sf2"));
}

BankDef Small() {
  return {{{"Lead", 0, 5, {{Set(41, 0)}}}},
          {{"Saw", {{KeyRange(0, 127), Set(53, 0)}}}},
          {{"SawL", 10, 90, 20, 80, 22050, 57, -3, 1, 4},
           {"SawR", 100, 180, 110, 170, 22050, 57, -3, 0, 2}}};
}

TEST(Sf2Bank, ReadsEveryTableFieldByField) {
  const sf2::Bank bank = Read(Sf2(Small()));
  EXPECT_EQ(std::make_tuple(bank.name, bank.version_major, bank.version_minor),
            std::make_tuple(std::string("Bank"), 2, 4));
  EXPECT_EQ(bank.sample_data_offset, 70);  // RIFF 12, INFO list 38, sdta list 12, smpl header 8
  EXPECT_EQ(bank.sample_frames, 1000u);
  ASSERT_EQ(bank.PresetCount(), 1u);
  EXPECT_EQ(
      std::make_tuple(bank.presets[0].name, bank.presets[0].program, bank.presets[1].first_bag),
      std::make_tuple(std::string("Lead"), 5, 1));
  EXPECT_EQ(bank.preset_generators[0].oper, 41);
  EXPECT_EQ(bank.instrument_generators[0].High(), 127);
  EXPECT_EQ(bank.instrument_bags[1].first_generator, 2);
  const sf2::SampleHeader& s = bank.samples[1];
  EXPECT_EQ(std::make_tuple(s.name, s.start, s.end, s.loop_start, s.loop_end, s.rate),
            std::make_tuple(std::string("SawR"), 100u, 180u, 110u, 170u, 22050u));
  EXPECT_EQ(std::make_tuple(s.original_pitch, s.pitch_correction, s.type, bank.samples[0].link),
            std::make_tuple(57, -3, 2, 1));
}

std::size_t At(const Bytes& b, std::string_view id) {
  return std::search(b.begin(), b.end(), id.begin(), id.end()) - b.begin();
}
Bytes& Table(Sf2Parts& p, const char* id) {
  return std::find_if(p.hydra.begin(), p.hydra.end(), [&](auto& t) { return t.first == id; })
      ->second;
}

TEST(Sf2Bank, RefusesWhatIsNotAReadableBank) {
  struct Case {
    std::function<void(Sf2Parts&)> parts;
    std::function<void(Bytes&)> bytes;
    const char* what;
  };
  const auto none = [](auto&) {};
  const Case cases[] = {
      {none, [](Bytes& b) { b = Wav(FmtData(1, 8000, 8), {}); },
       "not a SoundFont 2 bank (no RIFF sfbk header)"},
      {none, [](Bytes& b) { b.resize(11); }, "not a SoundFont 2 bank (no RIFF sfbk header)"},
      {[](Sf2Parts& p) {
         p.info = Chunk("ifil", {3, 0, 1, 0});
       },
       none, "a SoundFont 3.1 bank with compressed samples, which Brumlet does not read"},
      {none, [](Bytes& b) { b[At(b, "sdta")] = 'x'; }, "no sdta list"},
      {none, [](Bytes& b) { b[At(b, "pdta")] = 'x'; }, "no pdta list"},
      {[](Sf2Parts& p) { p.sdta = Chunk("sm24", {}); }, none, "no smpl chunk in the sdta list"},
      {[](Sf2Parts& p) { std::erase_if(p.hydra, [](auto& t) { return t.first == "ibag"; }); }, none,
       "no ibag chunk in the pdta list"},
      {[](Sf2Parts& p) { Table(p, "pgen").resize(6); }, none,
       "the pgen chunk's 6 bytes are not whole records of 4 bytes"},
      {[](Sf2Parts& p) { Table(p, "phdr").resize(38); }, none,
       "the phdr chunk holds 1 record, fewer than the 2 it needs with its terminal record"},
      {[](Sf2Parts& p) { Table(p, "imod").clear(); }, none,
       "the imod chunk holds 0 records, fewer than the 1 it needs with its terminal record"},
      {[](Sf2Parts& p) {
         p.info = Chunk("INAM", {'x', 0}, 10);
       },
       none, "the INAM chunk runs past the end of the INFO list"},
      {none, [](Bytes& b) { b.pop_back(); },
       "truncated: the pdta chunk ends past the end of the file"},
      {none, [](Bytes& b) { b.resize(At(b, "pdta") - 2); },
       "truncated: the RIFF chunk ends past the end of the file"},
  };
  for (const Case& c : cases) {
    Sf2Parts parts = Parts(Small());
    c.parts(parts);
    Bytes bank = Assemble(parts);
    c.bytes(bank);
    try {
      Read(bank);
      ADD_FAILURE() << "read: " << c.what;
    } catch (const Rejection& r) {
      EXPECT_EQ(r.what(), Text({"error: b.sf2: ", c.what, "\n"}));
      EXPECT_EQ(r.exit_code(), exit_code::kBankRefused);
    }
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
