// The program's view of the operating system: files, the directory search, the console and the
// date. The core only talks to these interfaces, so tests run it over memory and inject faults.
//
// Every operation except Remove is checked: a failure throws RunFailure (see failure.h) naming
// the given Site, so callers never look at a result code.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "bytes.h"
#include "failure.h"

namespace brumlet {

/// Device and inode: tells whether two names lead to the same file.
struct FileId {
  std::uint64_t device = 0;
  std::uint64_t inode = 0;
  bool operator==(const FileId&) const = default;
};

/// An open file of bytes.
class File {
 public:
  virtual ~File() = default;

  /// Reads up to `count` bytes at the current position; fewer only at the end of the file.
  virtual std::size_t Read(Byte* buffer, std::size_t count, Site site) = 0;
  /// Writes all `count` bytes at the current position, or fails (a short write is kShortWrite).
  virtual void Write(const Byte* data, std::size_t count, Site site) = 0;
  /// Sets the absolute position; a position beyond the end of the file is allowed.
  virtual void Seek(std::int64_t position, Site site) = 0;
  virtual std::int64_t Position(Site site) = 0;
  virtual std::int64_t Size(Site site) = 0;
  /// Makes the current position the end of the file: cuts it, or extends it with zero bytes.
  virtual void Truncate(Site site) = 0;
  virtual void Close(Site site) = 0;
  virtual FileId Id() const = 0;

  /// Reads exactly `count` bytes, or fails with kShortRead.
  void ReadExact(Byte* buffer, std::size_t count, Site site) {
    if (Read(buffer, count, site) != count) throw IoFailure(kShortRead, site);
  }
};

/// Standard input and output. Nothing is buffered: a write has reached the console, or failed,
/// when it returns, and a prompt needs no flush before the answer is read.
class Console {
 public:
  virtual ~Console() = default;
  virtual void Write(std::string_view text) = 0;
  /// The next byte of standard input, or -1 at its end (a closed input counts as its end).
  virtual int ReadByte() = 0;
};

class Platform {
 public:
  virtual ~Platform() = default;

  /// True when `path` names an existing file that is not a directory.
  virtual bool IsExistingFile(const std::string& path) = 0;
  /// The non-directory entries that match the wildcard `pattern`, in the search's order, each as
  /// a path that opens it; empty when nothing matches or the pattern cannot be searched.
  virtual std::vector<std::string> Search(const std::string& pattern) = 0;
  virtual std::unique_ptr<File> OpenRead(const std::string& path, Site site) = 0;
  /// Creates `path` for reading and writing, replacing (truncating) any file of that name.
  virtual std::unique_ptr<File> Create(const std::string& path, Site site) = 0;
  /// The identity of the file under `path`, when there is one.
  virtual std::optional<FileId> IdOf(const std::string& path) = 0;
  /// Deletes `path`; the result is ignored by design.
  virtual void Remove(const std::string& path) = 0;
  virtual Console& console() = 0;
  /// Today's local date in the user's short date format.
  virtual std::string DateText() = 0;
};

}  // namespace brumlet
