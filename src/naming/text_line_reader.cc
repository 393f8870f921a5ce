#include "naming/text_line_reader.h"

#include <algorithm>

namespace brumlet {
namespace {
constexpr int kEndOfText = 26;
}  // namespace

int TextLineReader::Peek() {
  if (lookahead_ == kNothing) lookahead_ = source_.Get();
  return lookahead_;
}

void TextLineReader::DropLineFeedAfterReturn() {
  if (!after_return_) return;
  after_return_ = false;
  if (Peek() == '\n') Take();
}

bool TextLineReader::AtEnd() {
  DropLineFeedAfterReturn();
  const int c = Peek();
  return c < 0 || c == kEndOfText;
}

std::string TextLineReader::ReadLine() {
  DropLineFeedAfterReturn();
  std::string line;
  for (;;) {
    const int c = Peek();
    if (c < 0 || c == kEndOfText) return line;  // character 26 stays unread: the input has ended
    Take();
    if (c == '\r') {
      after_return_ = true;
      return line;
    }
    if (c == '\n') return line;
    if (line.size() < kMaxLineKept) line += static_cast<char>(c);
  }
}

void TextLineReader::Reset() {
  lookahead_ = kNothing;
  after_return_ = false;
}

FileByteSource::FileByteSource() : buffer_(new Byte[kBufferSize]) {}

void FileByteSource::Attach(File* file) {
  file_ = file;
  filled_ = next_ = 0;
  at_start_ = true;
  skipped_mark_ = false;
}

int FileByteSource::Get() {
  if (next_ == filled_) {
    // A read fills the buffer unless the file ends first, so the first one holds the whole mark
    // of any file long enough to have one.
    filled_ = file_->Read(buffer_.get(), kBufferSize, Site::kNameFileRead);
    next_ = 0;
    if (at_start_) {
      at_start_ = false;
      constexpr Byte kMark[] = {0xEF, 0xBB, 0xBF};
      skipped_mark_ = filled_ >= sizeof kMark && std::equal(kMark, kMark + 3, buffer_.get());
      if (skipped_mark_) next_ = sizeof kMark;
    }
    if (next_ == filled_) return -1;
  }
  return buffer_[next_++];
}

}  // namespace brumlet
