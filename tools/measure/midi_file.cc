#include "midi_file.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace brumlet::measure {
namespace {

// A MIDI file's numbers are big-endian, unlike every other format here.
void PutBigEndian(std::string& out, std::uint32_t value, int size) {
  for (int i = size - 1; i >= 0; --i) out += static_cast<char>(value >> (8 * i) & 0xFF);
}

// A delta time: 7 bits a byte, most significant first, the high bit set on all but the last.
void PutVariable(std::string& out, std::uint32_t value) {
  std::string bytes(1, static_cast<char>(value & 0x7F));
  while ((value >>= 7) != 0) bytes.insert(bytes.begin(), static_cast<char>(0x80 | (value & 0x7F)));
  out += bytes;
}

std::uint32_t Ticks(double seconds) {
  return static_cast<std::uint32_t>(std::lround(std::max(0.0, seconds) * kMidiTicksPerSecond));
}

struct Event {
  std::uint32_t tick;
  std::string bytes;  // status and data
};

constexpr int kNoteOn = 0x90, kNoteOff = 0x80, kControl = 0xB0, kProgram = 0xC0;
constexpr int kBankSelect = 0, kAllSoundOff = 120;
// Channel 10 (9 counted from 0) is the percussion channel and plays bank 128.
constexpr int kPercussionBank = 128, kPercussionChannel = 9;

std::string MidiFile(int bank, int program, std::vector<Event> events, std::uint32_t end) {
  const int channel = bank == kPercussionBank ? kPercussionChannel : 0;
  auto status = [channel](int kind) { return static_cast<char>(kind | channel); };
  std::string track;
  if (bank != kPercussionBank) {
    track += {'\0', status(kControl), static_cast<char>(kBankSelect), static_cast<char>(bank)};
  }
  track += {'\0', status(kProgram), static_cast<char>(program)};
  std::stable_sort(events.begin(), events.end(),
                   [](const Event& a, const Event& b) { return a.tick < b.tick; });
  std::uint32_t now = 0;
  for (Event& event : events) {
    PutVariable(track, event.tick - now);
    event.bytes[0] = status(event.bytes[0]);
    track += event.bytes;
    now = event.tick;
  }
  PutVariable(track, end > now ? end - now : 0);
  track += {static_cast<char>(0xFF), '\x2F', '\0'};  // end of track

  std::string midi = "MThd";
  PutBigEndian(midi, 6, 4);
  PutBigEndian(midi, 0, 2);  // type 0: one track
  PutBigEndian(midi, 1, 2);
  PutBigEndian(midi, 480, 2);  // ticks a quarter note
  midi += "MTrk";
  PutBigEndian(midi, static_cast<std::uint32_t>(track.size()), 4);
  return midi + track;
}

std::string Bytes(int a, int b, int c) {
  return {static_cast<char>(a), static_cast<char>(b), static_cast<char>(c)};
}

}  // namespace

std::string MidiNote(int bank, int program, int key, int velocity, double on_seconds,
                     double total_seconds) {
  return MidiFile(
      bank, program,
      {{0, Bytes(kNoteOn, key, velocity)}, {Ticks(on_seconds), Bytes(kNoteOff, key, 0)}},
      Ticks(total_seconds));
}

std::string MidiNotes(int bank, int program, const std::vector<int>& keys, int velocity,
                      double on_seconds, double cut_seconds, double slot_seconds) {
  std::vector<Event> events;
  for (std::size_t i = 0; i < keys.size(); ++i) {
    const double start = static_cast<double>(i) * slot_seconds;
    events.push_back({Ticks(start), Bytes(kNoteOn, keys[i], velocity)});
    events.push_back({Ticks(start + on_seconds), Bytes(kNoteOff, keys[i], 0)});
    events.push_back({Ticks(start + cut_seconds), Bytes(kControl, kAllSoundOff, 0)});
  }
  return MidiFile(bank, program, std::move(events),
                  Ticks(static_cast<double>(keys.size()) * slot_seconds));
}

}  // namespace brumlet::measure
