#include "flac/bit_reader.h"

#include <algorithm>
#include <cstring>

#include "flac/crc.h"

namespace brumlet::flac {

void BitReader::Reload() {
  const std::size_t keep = pos_ - static_cast<std::size_t>(bits_ + 7) / 8;
  crc_ = flac::Crc16(crc_, buffer_.data() + crc_from_, keep - crc_from_);
  std::memmove(buffer_.data(), buffer_.data() + keep, end_ - keep);
  end_ -= keep;
  pos_ -= keep;
  crc_from_ = 0;
  // A short read is not yet the end: only a read that gives nothing is.
  const std::size_t got = file_.Read(buffer_.data() + end_, buffer_.size() - end_, site_);
  end_of_file_ = got == 0;
  end_ += got;
}

void BitReader::SlowRefill() {
  while (end_ - pos_ < 8 && !end_of_file_) Reload();
  if (pos_ + 8 <= end_) return Refill();
  while (bits_ < 56) {  // at most 63: a shift by the whole 64 bits is undefined
    if (pos_ < end_) {
      cache_ |= std::uint64_t{buffer_[pos_++]} << (56 - bits_);
    } else {
      ++phantom_;
    }
    bits_ += 8;
  }
}

void BitReader::EmptyCache() {
  overrun_ = overrun();
  pos_ = std::min(pos_ + phantom_ - static_cast<std::size_t>(bits_) / 8, end_);
  phantom_ = 0;
  cache_ = 0;
  bits_ = 0;
}

std::span<const Byte> BitReader::PeekBytes(std::size_t count) {
  EmptyCache();
  while (end_ - pos_ < count && !end_of_file_) Reload();
  return {buffer_.data() + pos_, std::min(count, end_ - pos_)};
}

void BitReader::SkipBytes(std::uint64_t count) {
  EmptyCache();
  while (count > 0) {
    if (pos_ == end_) {
      if (end_of_file_) {
        overrun_ = true;
        return;
      }
      Reload();
      continue;
    }
    const std::size_t take = static_cast<std::size_t>(std::min<std::uint64_t>(count, end_ - pos_));
    pos_ += take;
    count -= take;
  }
}

std::uint64_t BitReader::ReadUnary(std::uint64_t limit) {
  std::uint64_t zeros = 0;
  for (;;) {
    Refill();
    const int run = std::countl_zero(cache_);
    if (run < bits_) {
      Consume(run + 1);
      return std::min(zeros + static_cast<std::uint64_t>(run), limit + 1);
    }
    zeros += static_cast<std::uint64_t>(bits_);
    cache_ = 0;
    bits_ = 0;
    if (zeros > limit || overrun()) return limit + 1;
  }
}

std::uint64_t BitReader::SlowRice(int parameter) {
  constexpr std::uint64_t kMaxQuotient = 0xFFFFFFFF;
  const std::uint64_t quotient = ReadUnary(kMaxQuotient);
  if (quotient > kMaxQuotient) return std::uint64_t{1} << 40;  // out of range, whatever follows
  return quotient << parameter | ReadBits(parameter);
}

void BitReader::StartCrc16() {
  EmptyCache();
  crc_ = 0;
  crc_from_ = pos_;
}

std::uint16_t BitReader::Crc16() {
  EmptyCache();
  crc_ = flac::Crc16(crc_, buffer_.data() + crc_from_, pos_ - crc_from_);
  crc_from_ = pos_;
  return crc_;
}

}  // namespace brumlet::flac
