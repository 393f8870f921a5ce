// Builds FLAC streams in memory for the tests, bit by bit: STREAMINFO, other metadata blocks and
// frames of every subframe kind, from the samples a test wants decoded back. The builder codes
// what it is told, faults included (reserved codes, residuals out of range), with correct CRCs.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "flac/crc.h"
#include "flac/md5.h"
#include "riff_builder.h"

namespace brumlet::testing {

class BitWriter {
 public:
  void Put(std::uint64_t value, int bits) {
    for (int i = bits - 1; i >= 0; --i) {
      if (used_ == 0) bytes.push_back(0);
      bytes.back() |= static_cast<std::uint8_t>((value >> i & 1) << (7 - used_));
      used_ = (used_ + 1) % 8;
    }
  }
  void Unary(std::uint64_t zeros) {
    for (std::uint64_t i = 0; i < zeros; ++i) Put(0, 1);
    Put(1, 1);
  }
  void Align(unsigned bit = 0) {
    while (used_ != 0) Put(bit, 1);
  }
  Bytes bytes;

 private:
  int used_ = 0;
};

struct SubframeDef {
  enum Kind { kConstant, kVerbatim, kFixed, kLpc } kind = kVerbatim;
  int order = 0;
  std::vector<int> coefficients;  ///< LPC, nearest sample first
  int precision = 15;
  int shift = 0;
  int wasted = 0;
  int partition_order = 0;
  int rice = -1;         ///< every partition's parameter; -1: the best for each partition
  int escape_bits = -1;  ///< 0 or more: every partition escaped, residuals this wide
  bool rice5 = false;    ///< 5-bit Rice parameters
  int method = -1;       ///< the coding method's code when not the one rice5 gives
  int type = -1;         ///< the subframe type's code when not the one kind gives
};

struct FrameDef {
  std::vector<std::vector<std::int64_t>> channels;  ///< the samples to decode, channel by channel
  std::vector<SubframeDef> subframes;               ///< one a channel; verbatim where missing
  int channel_code = -1;  ///< -1: independent; 8, 9, 10: left-side, side-right, mid-side
  int bits = 16;
  std::uint32_t rate = 44100;
  int block_code = -1, rate_code = -1, bits_code = -1;  ///< -1: the code the values call for
  std::int64_t number = -1;  ///< -1: the frame's index, or its first sample's
  bool variable = false;
  bool reserved_bit = false;
  unsigned padding = 0;  ///< the bit that fills the last byte
};

struct StreamDef {
  int channels = 1;
  int bits = 16;
  std::uint32_t rate = 44100;
  std::uint32_t min_block = 16, max_block = 65535;
  std::int64_t total = -1;    ///< -1: the frames' samples
  bool md5 = true;            ///< false: all zeros
  std::vector<Bytes> blocks;  ///< metadata blocks after STREAMINFO, each with its header
  std::vector<FrameDef> frames;
};

using Samples = std::vector<std::int64_t>;

// A tone with some noise, `bits` wide at 90 per cent of full scale.
inline Samples Wave(std::size_t n, int bits, double frequency = 0.031, std::uint32_t seed = 1) {
  Samples v;
  const double amplitude = 0.9 * std::ldexp(1.0, bits - 1);
  for (std::size_t i = 0; i < n; ++i) {
    seed = seed * 1664525 + 1013904223;
    const double noise = static_cast<double>(seed >> 20) / 4096.0 - 0.5;
    v.push_back(std::llround(amplitude * (std::sin(frequency * i) * 0.98 + 0.02 * noise)));
  }
  return v;
}

// Shorthands for the definitions above.
inline SubframeDef Kind(SubframeDef::Kind kind, int order = 0) {
  SubframeDef d;
  d.kind = kind;
  d.order = order;
  return d;
}

inline SubframeDef Fixed(int order, int partition_order = 0) {
  SubframeDef d = Kind(SubframeDef::kFixed, order);
  d.partition_order = partition_order;
  return d;
}

inline SubframeDef Lpc(std::vector<int> coefficients, int precision, int shift) {
  SubframeDef d = Kind(SubframeDef::kLpc, static_cast<int>(coefficients.size()));
  d.coefficients = coefficients;
  d.precision = precision;
  d.shift = shift;
  return d;
}

inline FrameDef Frame(std::vector<Samples> channels, std::vector<SubframeDef> subframes, int bits,
                      int channel_code = -1) {
  FrameDef f;
  f.channels = channels;
  f.subframes = subframes;
  f.channel_code = channel_code;
  f.bits = bits;
  return f;
}

inline StreamDef Stream(std::vector<FrameDef> frames) {
  StreamDef s;
  s.channels = static_cast<int>(frames[0].channels.size());
  s.bits = frames[0].bits;
  s.rate = frames[0].rate;
  s.max_block = 16;
  for (const FrameDef& f : frames) {
    s.max_block = std::max<std::uint32_t>(s.max_block, f.channels[0].size());
  }
  s.frames = frames;
  return s;
}

inline void PutSigned(BitWriter& w, std::int64_t value, int bits) {
  w.Put(static_cast<std::uint64_t>(value) & ((std::uint64_t{1} << bits) - 1), bits);
}

/// A metadata block: header (last flag, type, length) and data.
inline Bytes MetadataBlock(int type, const Bytes& data, bool last = false) {
  BitWriter w;
  w.Put(last, 1);
  w.Put(static_cast<unsigned>(type), 7);
  w.Put(data.size(), 24);
  return Concat({w.bytes, data});
}

inline void PutResidual(BitWriter& w, const SubframeDef& def, const std::vector<std::int64_t>& r,
                        int order) {
  // Residuals of 20 bits and more take 5-bit parameters, as an encoder would choose.
  const bool rice5 = def.rice5 || std::any_of(r.begin(), r.end(), [](std::int64_t v) {
                       return v >= (1 << 19) || v < -(1 << 19);
                     });
  const int parameter_bits = rice5 ? 5 : 4;
  w.Put(def.method >= 0 ? static_cast<unsigned>(def.method) : rice5, 2);
  w.Put(static_cast<unsigned>(def.partition_order), 4);
  const std::int64_t per = static_cast<std::int64_t>(r.size() + order) >> def.partition_order;
  std::size_t at = 0;
  for (int p = 0; p < 1 << def.partition_order && per > order; ++p) {
    const auto count = static_cast<std::size_t>(per - (p == 0 ? order : 0));
    std::vector<std::uint64_t> folded;
    for (std::size_t i = at; i < at + count; ++i) {
      folded.push_back(r[i] >= 0 ? 2 * static_cast<std::uint64_t>(r[i])
                                 : 2 * static_cast<std::uint64_t>(-r[i]) - 1);
    }
    if (def.escape_bits >= 0) {
      w.Put((1u << parameter_bits) - 1, parameter_bits);
      w.Put(static_cast<unsigned>(def.escape_bits), 5);
      for (std::size_t i = at; i < at + count; ++i) PutSigned(w, r[i], def.escape_bits);
    } else {
      int best = def.rice;
      std::uint64_t best_bits = ~std::uint64_t{0};
      for (int k = 0; def.rice < 0 && k <= (rice5 ? 30 : 14); ++k) {
        std::uint64_t bits = 0;
        for (std::uint64_t f : folded) bits += (f >> k) + 1 + static_cast<unsigned>(k);
        if (bits < best_bits) best_bits = bits, best = k;
      }
      w.Put(static_cast<unsigned>(best), parameter_bits);
      for (std::uint64_t f : folded) {
        w.Unary(f >> best);
        w.Put(f, best);
      }
    }
    at += count;
  }
}

inline void PutSubframe(BitWriter& w, const SubframeDef& def, std::vector<std::int64_t> v,
                        int bits) {
  const int order =
      def.kind == SubframeDef::kFixed || def.kind == SubframeDef::kLpc ? def.order : 0;
  const int type = def.type >= 0                        ? def.type
                   : def.kind == SubframeDef::kConstant ? 0
                   : def.kind == SubframeDef::kVerbatim ? 1
                   : def.kind == SubframeDef::kFixed    ? 8 + order
                                                        : 31 + order;
  w.Put(static_cast<unsigned>(type) << 1 | (def.wasted > 0), 8);
  if (def.wasted > 0) w.Unary(static_cast<unsigned>(def.wasted - 1));
  bits -= def.wasted;
  for (std::int64_t& s : v) s >>= def.wasted;
  if (def.kind == SubframeDef::kConstant) return PutSigned(w, v[0], bits);
  const std::size_t warm_up = def.kind == SubframeDef::kVerbatim ? v.size() : order;
  for (std::size_t i = 0; i < warm_up && i < v.size(); ++i) PutSigned(w, v[i], bits);
  if (def.kind == SubframeDef::kVerbatim) return;
  std::vector<std::int64_t> residual;
  for (std::size_t i = warm_up; i < v.size(); ++i) {
    std::int64_t prediction = 0;
    if (def.kind == SubframeDef::kFixed) {
      const std::int64_t weights[5][4] = {{}, {1}, {2, -1}, {3, -3, 1}, {4, -6, 4, -1}};
      for (int j = 0; j < order; ++j) prediction += weights[order][j] * v[i - 1 - j];
    } else {
      for (int j = 0; j < order; ++j) prediction += def.coefficients[j] * v[i - 1 - j];
      prediction >>= std::max(def.shift, 0);  // a negative shift is refused before use
    }
    residual.push_back(v[i] - prediction);
  }
  if (def.kind == SubframeDef::kLpc) {
    w.Put(static_cast<unsigned>(def.precision - 1), 4);
    PutSigned(w, def.shift, 5);
    for (int c : def.coefficients) PutSigned(w, c, def.precision);
  }
  PutResidual(w, def, residual, order);
}

inline Bytes EncodeFrame(const FrameDef& def, std::uint64_t index) {
  const std::size_t size = def.channels[0].size();
  BitWriter w;
  w.Put(0xFFF8 | def.variable, 16);
  const std::uint32_t common[16] = {0,   192, 576,  1152, 2304, 4608, 0,     0,
                                    256, 512, 1024, 2048, 4096, 8192, 16384, 32768};
  int block_code = def.block_code;
  for (int c = 1; c < 16 && block_code < 0; ++c) block_code = common[c] == size ? c : -1;
  if (block_code < 0) block_code = size <= 256 ? 6 : 7;
  const std::uint32_t rates[12] = {0,     88200, 176400, 192000, 8000,  16000,
                                   22050, 24000, 32000,  44100,  48000, 96000};
  int rate_code = def.rate_code;
  for (int c = 1; c < 12 && rate_code < 0; ++c) rate_code = rates[c] == def.rate ? c : -1;
  if (rate_code < 0) {
    rate_code = def.rate % 1000 == 0 && def.rate <= 255000 ? 12
                : def.rate <= 65535                        ? 13
                : def.rate % 10 == 0                       ? 14
                                                           : 0;
  }
  const int depths[8] = {0, 8, 12, -1, 16, 20, 24, 32};
  int bits_code = def.bits_code;
  for (int c = 1; c < 8 && bits_code < 0; ++c) bits_code = depths[c] == def.bits ? c : -1;
  const int channels = static_cast<int>(def.channels.size());
  w.Put(static_cast<unsigned>(block_code << 4 | rate_code), 8);
  w.Put(static_cast<unsigned>((def.channel_code >= 0 ? def.channel_code : channels - 1) << 4 |
                              std::max(bits_code, 0) << 1 | def.reserved_bit),
        8);
  const std::uint64_t number = def.number >= 0 ? static_cast<std::uint64_t>(def.number) : index;
  if (number < 0x80) {
    w.Put(number, 8);
  } else {
    int n = 2;
    while (number >> (5 * n + 1) != 0) ++n;
    w.Put((0xFF00u >> n & 0xFF) | number >> (6 * (n - 1)), 8);
    for (int k = n - 2; k >= 0; --k) w.Put(0x80 | (number >> (6 * k) & 0x3F), 8);
  }
  if (block_code == 6) w.Put(size - 1, 8);
  if (block_code == 7) w.Put(size - 1, 16);
  if (rate_code == 12) w.Put(def.rate / 1000, 8);
  if (rate_code == 13) w.Put(def.rate, 16);
  if (rate_code == 14) w.Put(def.rate / 10, 16);
  w.Put(flac::Crc8(w.bytes.data(), w.bytes.size()), 8);

  std::vector<std::vector<std::int64_t>> sub = def.channels;
  std::vector<int> extra(sub.size(), 0);
  if (def.channel_code >= 8 && def.channel_code <= 10) {
    const auto& left = def.channels[0];
    const auto& right = def.channels[1];
    for (std::size_t i = 0; i < size; ++i) {
      const std::int64_t side = left[i] - right[i];
      if (def.channel_code == 9) {
        sub[0][i] = side;
      } else {
        sub[1][i] = side;
        if (def.channel_code == 10) sub[0][i] = (left[i] + right[i]) >> 1;
      }
    }
    extra[def.channel_code == 9 ? 0 : 1] = 1;
  }
  for (std::size_t c = 0; c < sub.size(); ++c) {
    const SubframeDef plain;
    PutSubframe(w, c < def.subframes.size() ? def.subframes[c] : plain, sub[c],
                def.bits + extra[c]);
  }
  w.Align(def.padding);
  const std::uint16_t crc = flac::Crc16(0, w.bytes.data(), w.bytes.size());
  w.Put(crc, 16);
  return w.bytes;
}

/// MD5 of the frames' samples, as STREAMINFO holds it.
inline flac::Md5Digest SamplesMd5(const std::vector<FrameDef>& frames, int bits) {
  flac::Md5 md5;
  for (const FrameDef& frame : frames) {
    for (std::size_t i = 0; i < frame.channels[0].size(); ++i) {
      for (const auto& channel : frame.channels) {
        for (int b = 0; b < (bits + 7) / 8; ++b) {
          const auto byte = static_cast<std::uint8_t>(channel[i] >> (8 * b));
          md5.Update(&byte, 1);
        }
      }
    }
  }
  return md5.Finish();
}

inline Bytes Flac(const StreamDef& def) {
  std::uint64_t total = 0, sample = 0;
  for (const FrameDef& frame : def.frames) total += frame.channels[0].size();
  if (def.total >= 0) total = static_cast<std::uint64_t>(def.total);
  BitWriter info;
  info.Put(def.min_block, 16);
  info.Put(def.max_block, 16);
  info.Put(0, 48);  // frame sizes not known
  info.Put(def.rate, 20);
  info.Put(static_cast<unsigned>(def.channels - 1), 3);
  info.Put(static_cast<unsigned>(def.bits - 1), 5);
  info.Put(total, 36);
  const flac::Md5Digest md5 = def.md5 ? SamplesMd5(def.frames, def.bits) : flac::Md5Digest{};
  info.bytes.insert(info.bytes.end(), md5.begin(), md5.end());
  Bytes stream =
      Concat({Bytes{'f', 'L', 'a', 'C'}, MetadataBlock(0, info.bytes, def.blocks.empty())});
  for (std::size_t i = 0; i < def.blocks.size(); ++i) {
    Bytes block = def.blocks[i];
    if (i + 1 == def.blocks.size()) block[0] |= 0x80;
    stream = Concat({stream, block});
  }
  for (std::size_t i = 0; i < def.frames.size(); ++i) {
    const FrameDef& frame = def.frames[i];
    stream = Concat({stream, EncodeFrame(frame, frame.variable ? sample : i)});
    sample += frame.channels[0].size();
  }
  return stream;
}

}  // namespace brumlet::testing
