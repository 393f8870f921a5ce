#include "sample_files.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "failure.h"
#include "flac/flac_decoder.h"
#include "messages.h"
#include "wav/scan_wav.h"
#include "xi/sample_values.h"

namespace brumlet {
namespace {

// Decoded samples kept for reading again: a kit's keys and a file's regions share them.
constexpr std::size_t kKeptBytes = std::size_t{128} << 20;
constexpr std::int64_t kCycle = 256;  // frames of a generated waveform
constexpr std::uint32_t kSilenceRate = 44100;
constexpr std::size_t kBlockBytes = 65536;

std::string StemOf(std::string_view path) {
  const std::size_t slash = path.find_last_of('/');
  std::string_view name = slash == std::string_view::npos ? path : path.substr(slash + 1);
  const std::size_t dot = name.find_last_of('.');
  if (dot != std::string_view::npos && dot > 0) name = name.substr(0, dot);
  return std::string(name);
}

// The frames a WAV's data holds: what it declares, within what the file holds.
std::int64_t WavFrames(const WavInfo& info, std::int64_t file_size) {
  WavInfo held = info;
  const std::int64_t room = std::max<std::int64_t>(file_size - info.DataOffset, 0);
  held.DataLength = static_cast<std::int32_t>(
      std::min<std::int64_t>(std::max<std::int32_t>(info.DataLength, 0), room));
  if (held.Adpcm.kind != AdpcmKind::None) return AdpcmFrames(held);
  const std::int64_t frame =
      static_cast<std::int64_t>(EncodedBytes(info.Encoding)) * (info.Stereo ? 2 : 1);
  return held.DataLength / frame;
}

}  // namespace

void SampleFiles::Clear() {
  samples_.clear();
  decoded_.clear();
  bytes_opened_ = 0;
}

std::uint32_t SampleFiles::Add(Entry entry) {
  for (std::size_t i = 0; i < samples_.size(); ++i) {
    const Entry& e = samples_[i];
    if (e.kind == entry.kind && e.path == entry.path && e.key == entry.key) {
      return static_cast<std::uint32_t>(i);
    }
  }
  samples_.push_back(std::move(entry));
  return static_cast<std::uint32_t>(samples_.size() - 1);
}

std::uint32_t SampleFiles::AddFile(const std::string& path) {
  Entry entry;
  entry.path = path;
  entry.name = StemOf(path);
  return Add(std::move(entry));
}

std::uint32_t SampleFiles::AddSine(int key) {
  Entry entry;
  entry.kind = Kind::kSine;
  entry.name = "*sine";
  entry.key = key;
  return Add(std::move(entry));
}

std::uint32_t SampleFiles::AddSilence() {
  Entry entry;
  entry.kind = Kind::kSilence;
  entry.name = "*silence";
  return Add(std::move(entry));
}

std::optional<sfz::SampleFacts> SampleFiles::Facts(std::uint32_t sample, std::string& problem) {
  Entry& entry = samples_[sample];
  if (!entry.opened) {
    entry.opened = true;
    Open(entry);
    // A FLAC stream whose head does not say how long it is (written as it was recorded) is
    // decoded now to count its frames, and kept.
    if (entry.kind == Kind::kFlac && entry.facts && entry.facts->frames == 0) {
      entry.facts->frames = kMostSampleFrames;
      std::vector<std::int16_t> frames = Decode(entry, entry.problem);
      if (entry.problem.empty()) {
        entry.facts->frames = static_cast<std::int64_t>(frames.size());
        Keep(sample, std::move(frames));
      } else {
        entry.facts.reset();
      }
    }
  }
  problem = entry.problem;
  return entry.facts;
}

void SampleFiles::Open(Entry& entry) {
  sfz::SampleFacts facts;
  if (entry.kind == Kind::kSine || entry.kind == Kind::kSilence) {
    // A sine's cycle sounds its key at 256 times the key's frequency, looped whole.
    facts.rate = entry.kind == Kind::kSilence
                     ? kSilenceRate
                     : static_cast<std::uint32_t>(
                           std::lround(kCycle * 440.0 * std::exp2((entry.key - 69) / 12.0)));
    facts.frames = kCycle;
    if (entry.kind == Kind::kSine) {
      facts.loop_start = 0;
      facts.loop_end = kCycle;
    }
    entry.facts = facts;
    return;
  }

  const std::unique_ptr<File> file = platform_.OpenRead(entry.path, Site::kSourceOpen);
  const std::int64_t size = file->Size(Site::kSourceSize);
  bytes_opened_ += static_cast<std::uint64_t>(std::max<std::int64_t>(size, 0));
  Byte magic[4] = {};
  const std::size_t got = file->Read(magic, sizeof magic, Site::kWavHeadRead);
  file->Seek(0, Site::kSourceSeek);
  const std::string_view head(reinterpret_cast<const char*>(magic), got);
  if (head == "fLaC" || head.starts_with("ID3")) {
    entry.kind = Kind::kFlac;
    flac::Decoder decoder(*file, Site::kSampleRead);
    const flac::Status status = decoder.Open();
    if (!status.ok()) {
      entry.problem = status.Reason();
    } else if (decoder.info().channels > 2) {
      entry.problem = "has " + std::to_string(decoder.info().channels) + " channels";
    } else {
      facts.rate = decoder.info().sample_rate;
      facts.frames = static_cast<std::int64_t>(
          std::min<std::uint64_t>(decoder.info().total_samples, kMostSampleFrames + 1));
    }
  } else if (head == "RIFF") {
    entry.kind = Kind::kWav;
    try {
      ScanWav(*file, DisplayText(entry.name), wav_info_, smpl_);
      if (wav_info_.SampleRate <= 0 || wav_info_.SampleRate > 16777216) {
        entry.problem = "has a sample rate of " + std::to_string(wav_info_.SampleRate) + " Hz";
      }
      facts.rate = static_cast<std::uint32_t>(std::max(wav_info_.SampleRate, 0));
      facts.frames = WavFrames(wav_info_, size);
      if (wav_info_.LoopType == LoopKind::Forward || wav_info_.LoopType == LoopKind::PingPong) {
        facts.loop_start = wav_info_.LoopStart;
        facts.loop_end = std::int64_t{wav_info_.LoopEnd} + 1;
      }
      if (wav_info_.UnityNote && *wav_info_.UnityNote <= 127) {
        facts.unity_note = static_cast<int>(*wav_info_.UnityNote);
      }
    } catch (const Rejection&) {
      entry.problem = "is not a WAV file Brumlet reads";
    }
  } else {
    entry.problem = "is not a WAV or FLAC file";
  }
  file->Close(Site::kSourceClose);
  if (entry.problem.empty() && facts.frames > kMostSampleFrames) {
    entry.problem = "is longer than " + std::to_string(kMostSampleFrames) + " frames";
  }
  if (entry.problem.empty()) entry.facts = facts;
}

std::vector<std::int16_t> SampleFiles::Decode(const Entry& entry, std::string& problem) {
  const sfz::SampleFacts& facts = *entry.facts;
  std::vector<std::int16_t> frames;
  if (entry.kind == Kind::kSine) {
    frames.resize(kCycle);
    for (std::int64_t i = 0; i < kCycle; ++i) {
      frames[static_cast<std::size_t>(i)] = static_cast<std::int16_t>(std::lround(
          32767.0 * std::sin(2.0 * std::numbers::pi * static_cast<double>(i) / kCycle)));
    }
    return frames;
  }
  if (entry.kind == Kind::kSilence) return std::vector<std::int16_t>(kCycle);

  const std::unique_ptr<File> file = platform_.OpenRead(entry.path, Site::kSourceOpen);
  if (entry.kind == Kind::kFlac) {
    flac::Mono16 mono = flac::ReadMono16(*file, kMostSampleFrames, Site::kSampleRead);
    file->Close(Site::kSourceClose);
    if (!mono.status.ok()) {
      problem = mono.status.Reason();
      return {};
    }
    frames = std::move(mono.frames);
  } else {
    ScanWav(*file, DisplayText(entry.name), wav_info_, smpl_);
    WavData data(*file, wav_info_, adpcm_);
    const SampleFormat format = data.format();
    const std::size_t frame_bytes = format.FrameBytes();
    block_.resize(kBlockBytes / frame_bytes * frame_bytes);
    frames.resize(static_cast<std::size_t>(facts.frames));
    std::size_t made = 0;
    while (made < frames.size()) {
      const std::size_t want = std::min(block_.size(), (frames.size() - made) * frame_bytes);
      const std::size_t got = data.Read(std::span<Byte>(block_.data(), want)) / frame_bytes;
      if (got == 0) break;
      ToMono16(format, block_.data(), std::span<std::int16_t>(frames.data() + made, got));
      made += got;
    }
    file->Close(Site::kSourceClose);
  }
  // A stream that holds other than its head said: the frames the plan counted on, silence past
  // what it holds (a FLAC stream of unknown length is counted by its decode).
  if (entry.kind != Kind::kFlac || frames.size() > static_cast<std::size_t>(facts.frames)) {
    frames.resize(static_cast<std::size_t>(facts.frames));
  }
  return frames;
}

const std::vector<std::int16_t>* SampleFiles::Kept(std::uint32_t sample) {
  for (auto it = decoded_.begin(); it != decoded_.end(); ++it) {
    if (it->sample == sample) {
      decoded_.splice(decoded_.begin(), decoded_, it);
      return &decoded_.front().frames;
    }
  }
  return nullptr;
}

const std::vector<std::int16_t>& SampleFiles::Keep(std::uint32_t sample,
                                                   std::vector<std::int16_t> frames) {
  decoded_.push_front({sample, std::move(frames)});
  // Room for the newest: the least recently read go, however large the newest is.
  std::size_t kept = 0;
  for (auto it = decoded_.begin(); it != decoded_.end();) {
    kept += it->frames.size() * sizeof(std::int16_t);
    if (it != decoded_.begin() && kept > kKeptBytes) {
      it = decoded_.erase(it);
    } else {
      ++it;
    }
  }
  return decoded_.front().frames;
}

std::string SampleFiles::Check(std::uint32_t sample) {
  if (Kept(sample)) return {};
  std::string problem;
  std::vector<std::int16_t> frames = Decode(samples_[sample], problem);
  if (problem.empty()) Keep(sample, std::move(frames));
  return problem;
}

const std::vector<std::int16_t>& SampleFiles::FramesOf(std::uint32_t sample) {
  if (const std::vector<std::int16_t>* kept = Kept(sample)) return *kept;
  std::string problem;
  std::vector<std::int16_t> frames = Decode(samples_[sample], problem);
  // Checked when planned: the file has changed since.
  if (!problem.empty()) {
    throw Rejection(exit_code::kBankRefused,
                    Text({"error: ", DisplayText(samples_[sample].name), ": ", problem, "\n"}));
  }
  return Keep(sample, std::move(frames));
}

void SampleFiles::Read(const sampler::FrameRange& range, std::span<std::int16_t> out) {
  const std::vector<std::int16_t>& frames = FramesOf(range.sample);
  const std::size_t count = std::min<std::size_t>(out.size(), range.frames);
  const auto first = static_cast<std::size_t>(std::max<std::int64_t>(range.first, 0));
  for (std::size_t i = 0; i < count; ++i) {
    out[i] = first + i < frames.size() ? frames[first + i] : std::int16_t{0};
  }
}

}  // namespace brumlet
