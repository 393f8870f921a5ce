// The program's view of the operating system: files, the directory search, the console and the
// date. The core only talks to these interfaces, so tests run it over memory and inject faults.
//
// Every operation that takes a Site is checked: a failure throws RunFailure (see failure.h)
// naming that Site, so callers never look at a result code. The few that take none cannot fail
// in a way the run must stop for; each says what it answers when the system fails.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "bytes.h"
#include "failure.h"

namespace brumlet {

/// Device and inode: tells whether two names lead to the same file.
struct FileId {
  std::uint64_t device = 0;
  std::uint64_t inode = 0;
  std::uint64_t inode_high = 0;  ///< the upper half where the system's ids have 128 bits
  bool operator==(const FileId&) const = default;
};

/// An open file of bytes.
class File {
 public:
  virtual ~File() = default;

  /// Reads up to `count` bytes at the current position; fewer only at the end of the file.
  virtual std::size_t Read(Byte* buffer, std::size_t count, Site site) = 0;
  /// Writes all `count` bytes at the current position, or fails (a write the system ends early is
  /// a short write).
  virtual void Write(const Byte* data, std::size_t count, Site site) = 0;
  /// Sets the absolute position; a position beyond the end of the file is allowed.
  virtual void Seek(std::int64_t position, Site site) = 0;
  virtual std::int64_t Position(Site site) = 0;
  /// The size in bytes. Positions in both file formats are signed 32-bit, so a file of 2 GiB or
  /// more fails here with the system's own error for a value too large, as a 32-bit reader would.
  virtual std::int64_t Size(Site site) = 0;
  /// Makes the current position the end of the file: cuts it, or extends it with zero bytes.
  virtual void Truncate(Site site) = 0;
  virtual void Close(Site site) = 0;
  /// The identity of the open file; a default (all-zero) FileId when the system cannot tell,
  /// which matches no file that IdOf finds.
  virtual FileId Id() const = 0;

  /// Reads exactly `count` bytes, or fails as a short read.
  void ReadExact(Byte* buffer, std::size_t count, Site site) {
    if (Read(buffer, count, site) != count) throw IoFailure(IoError::ShortRead(), site);
  }
};

/// Standard input and output. Nothing is buffered: a write has reached the console, or failed,
/// when it returns, and a prompt needs no flush before the answer is read.
class Console {
 public:
  virtual ~Console() = default;
  /// Writes `text`, each "\n" in it as the system's line end.
  virtual void Write(std::string_view text) = 0;
  /// Writes `bytes` as they are, a "\n" as a bare line feed.
  virtual void WriteRaw(std::string_view bytes) = 0;
  /// The next byte of standard input, or -1 at its end (a closed input counts as its end).
  virtual int ReadByte() = 0;
};

/// One entry the directory search found.
struct Match {
  std::string path;  ///< where to open it: the pattern's folder part and the name
  std::string name;  ///< the bare name, shown to the user and the base of the output's name
};

class Platform {
 public:
  virtual ~Platform() = default;

  /// True when `path` names an existing regular file; false for anything else, and when the
  /// system cannot tell.
  virtual bool IsExistingFile(const std::string& path) = 0;
  /// The regular files that match the wildcard `pattern`, in the order the program converts
  /// them; empty when nothing matches or the pattern cannot be searched at all (a folder that does
  /// not exist, say), which the caller reports as no match. A listing that breaks off once it
  /// has begun fails at Site::kSearch rather than hand over part of the matches.
  virtual std::vector<Match> Search(const std::string& pattern) = 0;
  virtual std::unique_ptr<File> OpenRead(const std::string& path, Site site) = 0;
  /// Opens `path` for reading when it is itself a regular file (not a link to one); nothing when
  /// there is no such name or it is anything else, which is then never opened (a FIFO would
  /// block the read). For a look at a file before it is replaced.
  virtual std::unique_ptr<File> OpenIfPlainFile(const std::string& path, Site site) = 0;
  /// Creates `path` for reading and writing, replacing (truncating) any file of that name.
  virtual std::unique_ptr<File> Create(const std::string& path, Site site) = 0;
  /// The identity of the file under `path`; nothing when there is none or the system cannot
  /// tell (the file then cannot be one of the run's inputs that a create must spare).
  virtual std::optional<FileId> IdOf(const std::string& path) = 0;
  /// Deletes `path`; the result is ignored by design.
  virtual void Remove(const std::string& path) = 0;
  virtual Console& console() = 0;
  /// Today's local date in the user's short date format.
  virtual std::string DateText() = 0;

  /// The bare name of `path`: what follows its folder part.
  virtual std::string_view BareName(std::string_view path) const = 0;

  /// True where the shell expands wildcards before the program sees them, so that an unquoted
  /// pattern arrives as many arguments and the program does well to say so.
  virtual bool ShellExpandsWildcards() const = 0;
  /// True where the program's manual page is installed with it (`man brumlet`).
  virtual bool HasManualPage() const = 0;

  /// True when the program was started from the file manager (Windows: a double-click in
  /// Explorer, or files dropped onto it): its console window is its own and closes when it ends,
  /// and both standard input and output are that window. Never true where the system has no such
  /// launch.
  virtual bool IsExplorerLaunch() = 0;
  /// The current folder, in a form EnterFolder takes back.
  virtual std::string CurrentFolder(Site site) = 0;
  /// Makes `folder` the current folder, where outputs are written. With `create`, a folder of
  /// that name is made first where nothing has the name; a file that has it fails as access
  /// denied.
  virtual void EnterFolder(const std::string& folder, bool create, Site site) = 0;
};

}  // namespace brumlet
