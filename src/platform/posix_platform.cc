#include "platform/posix_platform.h"

#include <fcntl.h>
#include <glob.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <clocale>
#include <cstdio>
#include <ctime>
#include <limits>
#include <string>

#include "platform/system_errors.h"

namespace brumlet {
namespace {

class PosixFile : public File {
 public:
  explicit PosixFile(int fd) : fd_(fd) {}
  ~PosixFile() override {
    if (fd_ >= 0) ::close(fd_);
  }
  PosixFile(const PosixFile&) = delete;
  PosixFile& operator=(const PosixFile&) = delete;

  std::size_t Read(Byte* buffer, std::size_t count, Site site) override {
    std::size_t done = 0;
    while (done < count) {
      ssize_t n = ::read(fd_, buffer + done, count - done);
      if (n < 0) {
        if (errno == EINTR) continue;
        throw IoFailure(ErrnoError(errno), site);
      }
      if (n == 0) break;
      done += static_cast<std::size_t>(n);
    }
    return done;
  }

  void Write(const Byte* data, std::size_t count, Site site) override {
    std::size_t done = 0;
    while (done < count) {
      ssize_t n = ::write(fd_, data + done, count - done);
      if (n < 0) {
        if (errno == EINTR) continue;
        throw IoFailure(ErrnoError(errno), site);
      }
      if (n == 0) throw IoFailure(IoError::ShortWrite(), site);
      done += static_cast<std::size_t>(n);
    }
  }

  void Seek(std::int64_t position, Site site) override {
    if (::lseek(fd_, static_cast<off_t>(position), SEEK_SET) < 0)
      throw IoFailure(ErrnoError(errno), site);
  }

  std::int64_t Position(Site site) override {
    off_t pos = ::lseek(fd_, 0, SEEK_CUR);
    if (pos < 0) throw IoFailure(ErrnoError(errno), site);
    return pos;
  }

  std::int64_t Size(Site site) override {
    struct stat st;
    if (::fstat(fd_, &st) != 0) throw IoFailure(ErrnoError(errno), site);
    if (st.st_size > std::numeric_limits<std::int32_t>::max()) {
      throw IoFailure(ErrnoError(EOVERFLOW), site);
    }
    return st.st_size;
  }

  void Truncate(Site site) override {
    off_t pos = ::lseek(fd_, 0, SEEK_CUR);
    if (pos < 0 || ::ftruncate(fd_, pos) != 0) throw IoFailure(ErrnoError(errno), site);
  }

  void Close(Site site) override {
    int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0) throw IoFailure(ErrnoError(errno), site);
  }

  FileId Id() const override {
    struct stat st;
    if (::fstat(fd_, &st) != 0) return {};
    return {static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)};
  }

 private:
  int fd_;
};

bool IsRegularFile(const char* path) {
  struct stat st;
  return ::stat(path, &st) == 0 && S_ISREG(st.st_mode);
}

bool IsDirectory(const char* path) {
  struct stat st;
  return ::stat(path, &st) == 0 && S_ISDIR(st.st_mode);
}

// Opens `path` without waiting: a FIFO that slipped in where a file was would otherwise block the
// open (or the first read) until some other program came along. Only regular files are kept; a
// FIFO, device or socket cannot be read to its end, rewound, or replaced, and is refused as
// access denied.
int OpenRegular(const char* path, int flags, Site site) {
  const int fd = ::open(path, flags | O_NONBLOCK | O_CLOEXEC, 0666);
  // O_NOFOLLOW refuses a symbolic link with ELOOP: a link is not a regular file either.
  if (fd < 0) throw IoFailure(ErrnoError(errno == ELOOP ? EACCES : errno), site);
  struct stat st;
  const bool known = ::fstat(fd, &st) == 0;
  if (!known || !S_ISREG(st.st_mode)) {
    const int error = known ? EACCES : errno;
    ::close(fd);
    throw IoFailure(ErrnoError(error), site);
  }
  const int status = ::fcntl(fd, F_GETFL);
  if (status < 0 || ::fcntl(fd, F_SETFL, status & ~O_NONBLOCK) < 0) {
    const int error = errno;
    ::close(fd);
    throw IoFailure(ErrnoError(error), site);
  }
  return fd;
}

}  // namespace

void PosixConsole::WriteRaw(std::string_view text) {
  while (!text.empty()) {
    ssize_t n = ::write(STDOUT_FILENO, text.data(), text.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      throw IoFailure(ErrnoError(errno), Site::kConsoleWrite);
    }
    if (n == 0) throw IoFailure(IoError::ShortWrite(), Site::kConsoleWrite);
    text.remove_prefix(static_cast<std::size_t>(n));
  }
}

int PosixConsole::ReadByte() {
  unsigned char c;
  for (;;) {
    ssize_t n = ::read(STDIN_FILENO, &c, 1);
    if (n == 1) return c;
    if (n == 0) return -1;
    if (errno == EINTR) continue;
    if (errno == EBADF) return -1;  // no standard input at all: an empty answer
    throw IoFailure(ErrnoError(errno), Site::kConsoleRead);
  }
}

PosixPlatform::PosixPlatform() {
  const char* name = std::setlocale(LC_TIME, "");
  if (name == nullptr) name = std::setlocale(LC_TIME, nullptr);
  std::string locale = name ? name : "C";
  plain_date_format_ = locale == "C" || locale == "POSIX";
}

bool PosixPlatform::IsExistingFile(const std::string& path) {
  // A name file is read again for every source, so it has to be a file that can be rewound.
  return IsRegularFile(path.c_str());
}

std::vector<Match> PosixPlatform::Search(const std::string& pattern) {
  std::vector<Match> matches;
  glob_t found{};
  if (::glob(pattern.c_str(), 0, nullptr, &found) == 0) {
    for (std::size_t i = 0; i < found.gl_pathc; ++i) {
      // Only files are sources: directories, FIFOs, devices and sockets are passed over. A
      // dangling link is kept, so that opening it reports the missing file.
      struct stat st;
      if (::stat(found.gl_pathv[i], &st) == 0 && !S_ISREG(st.st_mode)) continue;
      const std::string path = found.gl_pathv[i];
      matches.push_back({path, std::string(BareName(path))});
    }
  }
  ::globfree(&found);
  return matches;
}

std::unique_ptr<File> PosixPlatform::OpenRead(const std::string& path, Site site) {
  return std::make_unique<PosixFile>(OpenRegular(path.c_str(), O_RDONLY, site));
}

std::unique_ptr<File> PosixPlatform::OpenIfPlainFile(const std::string& path, Site site) {
  struct stat st;
  if (::lstat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return nullptr;
  // O_NOFOLLOW: a link put in its place since the look is refused, not followed.
  return std::make_unique<PosixFile>(OpenRegular(path.c_str(), O_RDONLY | O_NOFOLLOW, site));
}

std::unique_ptr<File> PosixPlatform::Create(const std::string& path, Site site) {
  // Only a regular file of that name is replaced. A symbolic link is not followed (a link
  // planted under the output's name must not redirect the write to some other file), and
  // anything else (a directory, FIFO or device) is left alone; all are refused before anything
  // is truncated.
  struct stat st;
  if (::lstat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) {
    throw IoFailure(ErrnoError(EACCES), site);
  }
  return std::make_unique<PosixFile>(
      OpenRegular(path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_NOFOLLOW, site));
}

std::optional<FileId> PosixPlatform::IdOf(const std::string& path) {
  struct stat st;
  if (::stat(path.c_str(), &st) != 0) return std::nullopt;
  return FileId{static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)};
}

void PosixPlatform::Remove(const std::string& path) { ::unlink(path.c_str()); }

std::string PosixPlatform::CurrentFolder(Site site) {
  std::string folder(256, '\0');
  while (::getcwd(folder.data(), folder.size()) == nullptr) {
    if (errno != ERANGE) throw IoFailure(ErrnoError(errno), site);
    folder.resize(folder.size() * 2);
  }
  folder.resize(std::char_traits<char>::length(folder.c_str()));
  return folder;
}

void PosixPlatform::EnterFolder(const std::string& folder, bool create, Site site) {
  if (create && ::mkdir(folder.c_str(), 0777) != 0) {
    if (errno != EEXIST) throw IoFailure(ErrnoError(errno), site);
    if (!IsDirectory(folder.c_str())) throw IoFailure(ErrnoError(EACCES), site);
  }
  if (::chdir(folder.c_str()) != 0) throw IoFailure(ErrnoError(errno), site);
}

std::string PosixPlatform::DateText() {
  std::time_t now = std::time(nullptr);
  std::tm local{};
  ::localtime_r(&now, &local);
  char text[128];
  if (plain_date_format_) {
    std::snprintf(text, sizeof text, "%d/%d/%02d", local.tm_mon + 1, local.tm_mday,
                  local.tm_year % 100);
    return text;
  }
  std::size_t n = std::strftime(text, sizeof text, "%x", &local);
  return std::string(text, n);
}

}  // namespace brumlet
