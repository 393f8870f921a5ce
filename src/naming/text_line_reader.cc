#include "naming/text_line_reader.h"

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
}

int FileByteSource::Get() {
  if (next_ == filled_) {
    filled_ = file_->Read(buffer_.get(), kBufferSize, Site::kNameFileRead);
    next_ = 0;
    if (filled_ == 0) return -1;
  }
  return buffer_[next_++];
}

void FileByteSource::Rewind() {
  file_->Seek(0, Site::kNameFileRewind);
  filled_ = next_ = 0;
}

}  // namespace brumlet
