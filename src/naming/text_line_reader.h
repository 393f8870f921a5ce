// Text lines, read the same way from the name file and from the console.
//
// A line ends at a carriage return, a line feed, or a carriage return followed by a line feed,
// so files written on any system read alike. Character 26 (Ctrl-Z) ends the input for good: the
// line before it ends there and nothing behind it is ever read.
#pragma once

#include <memory>
#include <string>

#include "platform/platform.h"

namespace brumlet {

/// Where a reader's bytes come from.
class ByteSource {
 public:
  virtual ~ByteSource() = default;
  /// The next byte, or -1 at the end.
  virtual int Get() = 0;
};

class TextLineReader {
 public:
  explicit TextLineReader(ByteSource& source) : source_(source) {}

  /// True when no line is left: the end of the input, or character 26.
  bool AtEnd();
  /// The next line without its line end; empty at the end of the input. Of a longer line only
  /// the first kMaxLineKept bytes are kept (the rest is read and dropped): every name is cut to
  /// 22 bytes and every token is a few bytes long, so nothing further on can matter, and a line
  /// that never ends (a huge file without line ends) cannot exhaust memory.
  std::string ReadLine();

  static constexpr std::size_t kMaxLineKept = 4096;
  /// Forgets what was read ahead; for a source that has been rewound.
  void Reset();

 private:
  static constexpr int kNothing = -2;
  int Peek();
  void Take() { lookahead_ = kNothing; }
  // A line that ended at a carriage return may still own the line feed behind it. It is dropped
  // only when the next line is asked for, so that a console answer ending in CR is not held up
  // waiting for a byte that may never come.
  void DropLineFeedAfterReturn();

  ByteSource& source_;
  int lookahead_ = kNothing;
  bool after_return_ = false;
};

/// The name file's bytes, read through a buffer that is allocated once. A UTF-8 byte-order
/// mark (EF BB BF, which Windows Notepad writes in front of "UTF-8 with BOM") at the very start
/// of the file is skipped; anywhere else it is text.
class FileByteSource : public ByteSource {
 public:
  FileByteSource();
  /// Reads `file` from its first byte on.
  void Attach(File* file);
  int Get() override;
  /// True when the file began with a byte-order mark that was skipped.
  bool skipped_mark() const { return skipped_mark_; }

 private:
  static constexpr std::size_t kBufferSize = 16384;
  File* file_ = nullptr;
  std::unique_ptr<Byte[]> buffer_;
  std::size_t filled_ = 0;
  std::size_t next_ = 0;
  bool at_start_ = true;
  bool skipped_mark_ = false;
};

/// Standard input, a byte at a time: nothing is read before it is asked for.
class ConsoleByteSource : public ByteSource {
 public:
  void Attach(Console* console) { console_ = console; }
  int Get() override { return console_->ReadByte(); }

 private:
  Console* console_ = nullptr;
};

}  // namespace brumlet
