#include "flac/subframe.h"

#include <algorithm>
#include <array>
#include <bit>
#include <type_traits>
#include <utility>

namespace brumlet::flac {
namespace {

constexpr int kMaxLpcOrder = 32;
constexpr int kMaxFixedOrder = 4;
constexpr unsigned kConstant = 0, kVerbatim = 1, kFixed = 8, kLpc = 32;

template <typename T>
T ReadSample(BitReader& reader, int bits) {
  if constexpr (sizeof(T) == 8) {
    return reader.ReadSigned64(bits);
  } else {
    return reader.ReadSigned(bits);
  }
}

// The residual: a coding method (2 bits: Rice parameters of 4 or 5 bits), a partition order
// (4 bits), then 2^order partitions of block size >> order residuals each, the first short by
// the predictor's order. Each partition starts with its Rice parameter, or an escape code (all
// ones) followed by a width (5 bits) and the residuals as plain numbers of that width.
template <typename T>
Fault DecodeResidual(BitReader& reader, int order, std::span<T> out) {
  const std::uint32_t method = reader.ReadBits(2);
  if (method > 1) return Fault::kResidualMethod;
  const int parameter_bits = method == 0 ? 4 : 5;
  const std::uint32_t escape = (1u << parameter_bits) - 1;
  const int partition_order = static_cast<int>(reader.ReadBits(4));
  const std::size_t per_partition = out.size() >> partition_order;
  if (per_partition << partition_order != out.size() ||
      per_partition <= static_cast<std::size_t>(order)) {
    return Fault::kPartitionOrder;
  }
  T* residual = out.data() + order;
  for (std::size_t partition = 0; partition < std::size_t{1} << partition_order; ++partition) {
    const std::size_t count = per_partition - (partition == 0 ? order : 0);
    const std::uint32_t parameter = reader.ReadBits(parameter_bits);
    if (parameter == escape) {
      const int width = static_cast<int>(reader.ReadBits(5));
      for (std::size_t i = 0; i < count; ++i) residual[i] = reader.ReadSigned(width);
    } else if (!reader.ReadRice(residual, count, static_cast<int>(parameter))) {
      return Fault::kResidualRange;
    }
    // A cut file reads as zeros: stop at once rather than decode a long block of them.
    if (reader.overrun()) return Fault::kTruncatedFrame;
    residual += count;
  }
  return Fault::kNone;
}

// Fixed predictors: polynomials through the last 1 to 4 samples. Unsigned arithmetic, exact
// whenever the sample fits T, which every valid one does.
template <typename T>
void RestoreFixed(int order, std::span<T> s) {
  using U = std::make_unsigned_t<T>;
  const auto u = [&s](std::size_t i) { return static_cast<U>(s[i]); };
  const std::size_t n = s.size();
  switch (order) {
    case 1:
      for (std::size_t i = 1; i < n; ++i) s[i] = static_cast<T>(u(i) + u(i - 1));
      break;
    case 2:
      for (std::size_t i = 2; i < n; ++i) s[i] = static_cast<T>(u(i) + 2 * u(i - 1) - u(i - 2));
      break;
    case 3:
      for (std::size_t i = 3; i < n; ++i) {
        s[i] = static_cast<T>(u(i) + 3 * (u(i - 1) - u(i - 2)) + u(i - 3));
      }
      break;
    case 4:
      for (std::size_t i = 4; i < n; ++i) {
        s[i] = static_cast<T>(u(i) + 4 * (u(i - 1) + u(i - 3)) - 6 * u(i - 2) - u(i - 4));
      }
      break;
    default:
      break;
  }
}

// Linear prediction, one loop per order so that the compiler unrolls the sum. The coefficients
// come nearest sample first: c[0] weighs s[i - 1].
using LpcRestore = void (*)(std::int32_t*, std::size_t, const std::int32_t*, int);

// When the bits guarantee that the sum fits 32 bits: wrapping 32-bit arithmetic.
template <int kOrder>
void RestoreLpc32(std::int32_t* s, std::size_t n, const std::int32_t* c, int shift) {
  for (std::size_t i = kOrder; i < n; ++i) {
    std::uint32_t sum = 0;
    for (int j = 0; j < kOrder; ++j) {
      sum += static_cast<std::uint32_t>(c[j]) * static_cast<std::uint32_t>(s[i - 1 - j]);
    }
    const std::int32_t prediction = static_cast<std::int32_t>(sum) >> shift;
    s[i] = static_cast<std::int32_t>(static_cast<std::uint32_t>(s[i]) +
                                     static_cast<std::uint32_t>(prediction));
  }
}

// Otherwise 64 bits: a coefficient has at most 15 bits and a sample 32, so 32 products stay
// below 2^51 whatever the samples are.
template <int kOrder>
void RestoreLpc64(std::int32_t* s, std::size_t n, const std::int32_t* c, int shift) {
  for (std::size_t i = kOrder; i < n; ++i) {
    std::int64_t sum = 0;
    for (int j = 0; j < kOrder; ++j) sum += std::int64_t{c[j]} * s[i - 1 - j];
    s[i] = static_cast<std::int32_t>(s[i] + (sum >> shift));
  }
}

template <std::size_t... kOrders>
constexpr std::array<LpcRestore, kMaxLpcOrder> Restores32(std::index_sequence<kOrders...>) {
  return {&RestoreLpc32<static_cast<int>(kOrders) + 1>...};
}
template <std::size_t... kOrders>
constexpr std::array<LpcRestore, kMaxLpcOrder> Restores64(std::index_sequence<kOrders...>) {
  return {&RestoreLpc64<static_cast<int>(kOrders) + 1>...};
}
constexpr auto kRestoreLpc32 = Restores32(std::make_index_sequence<kMaxLpcOrder>());
constexpr auto kRestoreLpc64 = Restores64(std::make_index_sequence<kMaxLpcOrder>());

void RestoreLpc(int order, int bits, int precision, const std::int32_t* c, int shift,
                std::span<std::int32_t> s) {
  // The sum's bits: a sample's, a coefficient's, and one more for each doubling of the terms.
  const int sum_bits = bits + precision + std::bit_width(static_cast<unsigned>(order - 1));
  const auto& restores = sum_bits <= 32 ? kRestoreLpc32 : kRestoreLpc64;
  restores[static_cast<std::size_t>(order - 1)](s.data(), s.size(), c, shift);
}

// The 33-bit side channel of 32-bit audio, rare enough for one plain loop; unsigned, since a
// crafted stream can make these samples anything.
void RestoreLpc(int order, int, int, const std::int32_t* c, int shift, std::span<std::int64_t> s) {
  for (std::size_t i = static_cast<std::size_t>(order); i < s.size(); ++i) {
    std::uint64_t sum = 0;
    for (std::size_t j = 0; j < static_cast<std::size_t>(order); ++j) {
      sum += static_cast<std::uint64_t>(c[j]) * static_cast<std::uint64_t>(s[i - 1 - j]);
    }
    const std::int64_t prediction = static_cast<std::int64_t>(sum) >> shift;
    s[i] = static_cast<std::int64_t>(static_cast<std::uint64_t>(s[i]) +
                                     static_cast<std::uint64_t>(prediction));
  }
}

// Linear prediction: the warm-up samples, the coefficients' precision (4 bits, plus 1; 15 is
// forbidden), the shift (5 bits, signed, never negative), the coefficients, the residual.
template <typename T>
Fault DecodeLpc(BitReader& reader, int bits, int order, std::span<T> out) {
  for (int i = 0; i < order; ++i) out[static_cast<std::size_t>(i)] = ReadSample<T>(reader, bits);
  const std::uint32_t precision_code = reader.ReadBits(4);
  const int shift = reader.ReadSigned(5);
  if (precision_code == 15 || shift < 0) return Fault::kLpcParameters;
  const int precision = static_cast<int>(precision_code) + 1;
  std::array<std::int32_t, kMaxLpcOrder> c;
  for (int i = 0; i < order; ++i) c[static_cast<std::size_t>(i)] = reader.ReadSigned(precision);
  if (const Fault fault = DecodeResidual(reader, order, out); fault != Fault::kNone) return fault;
  RestoreLpc(order, bits, precision, c.data(), shift, out);
  return Fault::kNone;
}

// True when every sample of `s` fits `bits` bits, two's complement.
template <typename T>
bool InRange(std::span<const T> s, int bits) {
  if (bits >= static_cast<int>(8 * sizeof(T))) return true;
  const T high = static_cast<T>((T{1} << (bits - 1)) - 1), low = static_cast<T>(-high - 1);
  bool out = false;
  for (const T v : s) out |= v < low || v > high;
  return !out;
}

template <typename T>
Fault Decode(BitReader& reader, int bits, std::span<T> out) {
  const std::uint32_t header = reader.ReadBits(8);
  const unsigned type = header >> 1 & 0x3F;
  int wasted = 0;
  if ((header & 1) != 0) {
    wasted = static_cast<int>(std::min<std::uint64_t>(reader.ReadUnary(bits), bits)) + 1;
    if (wasted >= bits) return Fault::kWastedBits;
  }
  bits -= wasted;
  if ((header & 0x80) != 0 || (type > kVerbatim && type < kFixed) ||
      (type > kFixed + kMaxFixedOrder && type < kLpc)) {
    return Fault::kSubframeType;
  }
  if (type == kConstant) {
    std::fill(out.begin(), out.end(), ReadSample<T>(reader, bits));
  } else if (type == kVerbatim) {
    for (T& v : out) v = ReadSample<T>(reader, bits);
  } else {
    const auto order = static_cast<int>(type >= kLpc ? type - kLpc + 1 : type - kFixed);
    // The warm-up samples must leave room for a residual: the same rule as the partitions'.
    if (static_cast<std::size_t>(order) >= out.size()) return Fault::kPartitionOrder;
    if (type >= kLpc) {
      if (const Fault fault = DecodeLpc(reader, bits, order, out); fault != Fault::kNone) {
        return fault;
      }
    } else {
      for (int i = 0; i < order; ++i)
        out[static_cast<std::size_t>(i)] = ReadSample<T>(reader, bits);
      if (const Fault fault = DecodeResidual(reader, order, out); fault != Fault::kNone) {
        return fault;
      }
      RestoreFixed(order, out);
    }
    if (!InRange<T>(out, bits)) return Fault::kSampleRange;
  }
  if (wasted > 0) {
    using U = std::make_unsigned_t<T>;
    for (T& v : out) v = static_cast<T>(static_cast<U>(v) << wasted);
  }
  return Fault::kNone;
}

}  // namespace

Fault DecodeSubframe(BitReader& reader, int bits, std::span<std::int32_t> out) {
  return Decode(reader, bits, out);
}

Fault DecodeSubframe(BitReader& reader, int bits, std::span<std::int64_t> out) {
  return Decode(reader, bits, out);
}

}  // namespace brumlet::flac
