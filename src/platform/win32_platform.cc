#include "platform/win32_platform.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <limits>

#include "platform/system_errors.h"
#include "platform/win32_paths.h"

namespace brumlet {
namespace {

// winerror.h codes that the layer reports of its own accord.
constexpr DWORD kAccessDenied = ERROR_ACCESS_DENIED;
constexpr DWORD kFileTooLarge = ERROR_FILE_TOO_LARGE;

[[noreturn]] void Fail(Site site, DWORD code) { throw IoFailure(Win32Error(code), site); }
[[noreturn]] void Fail(Site site) { Fail(site, ::GetLastError()); }

// ReadFile and WriteFile take 32-bit counts; larger requests go in pieces.
constexpr std::size_t kMaxTransfer = 1u << 30;

class Win32File : public File {
 public:
  explicit Win32File(HANDLE handle) : handle_(handle) {}
  ~Win32File() override {
    if (handle_ != INVALID_HANDLE_VALUE) ::CloseHandle(handle_);
  }
  Win32File(const Win32File&) = delete;
  Win32File& operator=(const Win32File&) = delete;

  std::size_t Read(Byte* buffer, std::size_t count, Site site) override {
    std::size_t done = 0;
    while (done < count) {
      DWORD n = 0;
      const auto ask = static_cast<DWORD>(std::min(count - done, kMaxTransfer));
      if (!::ReadFile(handle_, buffer + done, ask, &n, nullptr)) Fail(site);
      if (n == 0) break;
      done += n;
    }
    return done;
  }

  void Write(const Byte* data, std::size_t count, Site site) override {
    std::size_t done = 0;
    while (done < count) {
      DWORD n = 0;
      const auto ask = static_cast<DWORD>(std::min(count - done, kMaxTransfer));
      if (!::WriteFile(handle_, data + done, ask, &n, nullptr)) Fail(site);
      if (n == 0) throw IoFailure(IoError::ShortWrite(), site);
      done += n;
    }
  }

  void Seek(std::int64_t position, Site site) override {
    LARGE_INTEGER to;
    to.QuadPart = position;
    if (!::SetFilePointerEx(handle_, to, nullptr, FILE_BEGIN)) Fail(site);
  }

  std::int64_t Position(Site site) override {
    LARGE_INTEGER zero{}, at;
    if (!::SetFilePointerEx(handle_, zero, &at, FILE_CURRENT)) Fail(site);
    return at.QuadPart;
  }

  std::int64_t Size(Site site) override {
    LARGE_INTEGER size;
    if (!::GetFileSizeEx(handle_, &size)) Fail(site);
    if (size.QuadPart > std::numeric_limits<std::int32_t>::max()) Fail(site, kFileTooLarge);
    return size.QuadPart;
  }

  void Truncate(Site site) override {
    // Extending this way reads back as zero bytes: the file system zero-fills past the data
    // that was written.
    if (!::SetEndOfFile(handle_)) Fail(site);
  }

  void Close(Site site) override {
    HANDLE handle = handle_;
    handle_ = INVALID_HANDLE_VALUE;
    if (!::CloseHandle(handle)) Fail(site);
  }

  FileId Id() const override {
    BY_HANDLE_FILE_INFORMATION info;
    if (!::GetFileInformationByHandle(handle_, &info)) return {};
    return {info.dwVolumeSerialNumber,
            std::uint64_t{info.nFileIndexHigh} << 32 | info.nFileIndexLow};
  }

 private:
  HANDLE handle_;
};

// Every file is opened shared for reading and writing, as other programs expect of a reader;
// the delete share also lets an editor save the name file (a new file renamed over the old one)
// while it is open here.
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// `raw`: the handle was opened with FILE_FLAG_OPEN_REPARSE_POINT, so a reparse point is the point
// itself (a link, or the stub of a cloud, deduplicated or compressed file) and is refused. Opened
// the usual way, links have been followed, and a reparse point that is left is a file in its own
// right, read through its file system filter: a file in a OneDrive folder, for one, shows the
// attribute to most programs.
bool IsPlainFile(HANDLE handle, BY_HANDLE_FILE_INFORMATION& info, bool raw) {
  const DWORD refused = FILE_ATTRIBUTE_DIRECTORY | (raw ? FILE_ATTRIBUTE_REPARSE_POINT : 0);
  return ::GetFileType(handle) == FILE_TYPE_DISK && ::GetFileInformationByHandle(handle, &info) &&
         (info.dwFileAttributes & refused) == 0;
}

// Opens `path` and keeps it only when it is a file on disk: a device (CON, NUL, COM1), a pipe, a
// directory or a link itself cannot be read to its end, rewound or replaced, and is refused as
// access denied.
HANDLE OpenPlainFile(const std::string& path, DWORD access, DWORD share, DWORD disposition,
                     DWORD flags, Site site) {
  HANDLE handle = ::CreateFileW(Widen(path).c_str(), access, share, nullptr, disposition,
                                FILE_ATTRIBUTE_NORMAL | flags, nullptr);
  if (handle == INVALID_HANDLE_VALUE) Fail(site);
  BY_HANDLE_FILE_INFORMATION info;
  if (!IsPlainFile(handle, info, (flags & FILE_FLAG_OPEN_REPARSE_POINT) != 0)) {
    ::CloseHandle(handle);
    Fail(site, kAccessDenied);
  }
  return handle;
}

// A handle for looking at what `path` is, directories included, without reading it.
HANDLE OpenForQuery(const std::string& path) {
  return ::CreateFileW(Widen(path).c_str(), FILE_READ_ATTRIBUTES, kShareAll, nullptr, OPEN_EXISTING,
                       FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

std::string PlainDate() {
  SYSTEMTIME now;
  ::GetLocalTime(&now);
  char text[32];
  std::snprintf(text, sizeof text, "%u/%u/%02u", now.wMonth, now.wDay, now.wYear % 100u);
  return text;
}

}  // namespace

std::wstring Widen(std::string_view text) {
  if (text.empty()) return {};
  const int size = static_cast<int>(text.size());
  const int n = ::MultiByteToWideChar(CP_UTF8, 0, text.data(), size, nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(n), L'\0');
  ::MultiByteToWideChar(CP_UTF8, 0, text.data(), size, wide.data(), n);
  return wide;
}

std::string Narrow(std::wstring_view text) {
  if (text.empty()) return {};
  const int size = static_cast<int>(text.size());
  const int n = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), size, nullptr, 0, nullptr, nullptr);
  std::string narrow(static_cast<std::size_t>(n), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, text.data(), size, narrow.data(), n, nullptr, nullptr);
  return narrow;
}

Win32Console::Win32Console() {
  // Names are UTF-8 inside; the console shows them so, and answers typed there arrive so.
  // GetConsoleOutputCP gives 0 when there is no console: output to a file or a pipe.
  previous_output_code_page_ = ::GetConsoleOutputCP();
  previous_input_code_page_ = ::GetConsoleCP();
  if (previous_output_code_page_ != 0) ::SetConsoleOutputCP(CP_UTF8);
  if (previous_input_code_page_ != 0) ::SetConsoleCP(CP_UTF8);
}

Win32Console::~Win32Console() {
  if (previous_output_code_page_ != 0) ::SetConsoleOutputCP(previous_output_code_page_);
  if (previous_input_code_page_ != 0) ::SetConsoleCP(previous_input_code_page_);
}

void Win32Console::Write(std::string_view text) {
  std::string lines;
  lines.reserve(text.size() + 8);
  for (char c : text) {
    if (c == '\n') lines += '\r';
    lines += c;
  }
  WriteRaw(lines);
}

void Win32Console::WriteRaw(std::string_view bytes) {
  HANDLE out = ::GetStdHandle(STD_OUTPUT_HANDLE);
  if (out == INVALID_HANDLE_VALUE || out == nullptr)
    Fail(Site::kConsoleWrite, ERROR_INVALID_HANDLE);
  while (!bytes.empty()) {
    DWORD n = 0;
    const auto ask = static_cast<DWORD>(std::min(bytes.size(), kMaxTransfer));
    if (!::WriteFile(out, bytes.data(), ask, &n, nullptr)) Fail(Site::kConsoleWrite);
    if (n == 0) throw IoFailure(IoError::ShortWrite(), Site::kConsoleWrite);
    bytes.remove_prefix(n);
  }
}

int Win32Console::ReadByte() {
  HANDLE in = ::GetStdHandle(STD_INPUT_HANDLE);
  if (in == INVALID_HANDLE_VALUE || in == nullptr) return -1;  // no input at all: empty answers
  unsigned char c;
  DWORD n = 0;
  if (!::ReadFile(in, &c, 1, &n, nullptr)) {
    const DWORD error = ::GetLastError();
    // The writer of a pipe has gone, or the handle was closed: the end of the input.
    if (error == ERROR_BROKEN_PIPE || error == ERROR_HANDLE_EOF || error == ERROR_INVALID_HANDLE) {
      return -1;
    }
    Fail(Site::kConsoleRead, error);
  }
  return n == 1 ? c : -1;
}

bool Win32Platform::IsExistingFile(const std::string& path) {
  HANDLE handle = OpenForQuery(path);
  if (handle == INVALID_HANDLE_VALUE) return false;
  BY_HANDLE_FILE_INFORMATION info;
  // A link to a file counts as the file: the query opened what it points to.
  const bool plain = IsPlainFile(handle, info, false);
  ::CloseHandle(handle);
  return plain;
}

std::vector<Match> Win32Platform::Search(const std::string& pattern) {
  WIN32_FIND_DATAW found;
  HANDLE search = ::FindFirstFileW(Widen(pattern).c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return {};
  std::vector<std::wstring> names;
  do {
    // Directories (and links to them) are not sources; read-only, hidden and system files are.
    if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0)
      names.emplace_back(found.cFileName);
  } while (::FindNextFileW(search, &found));
  ::FindClose(search);

  // The order NTFS lists names in, whatever the file system at hand: ordinal, upper-cased.
  std::sort(names.begin(), names.end(), [](const std::wstring& a, const std::wstring& b) {
    return ::CompareStringOrdinal(a.data(), static_cast<int>(a.size()), b.data(),
                                  static_cast<int>(b.size()), TRUE) == CSTR_LESS_THAN;
  });
  const std::string folder(FolderOfPath(pattern));
  std::vector<Match> matches;
  for (const std::wstring& wide : names) {
    std::string name = Narrow(wide);
    matches.push_back({folder + name, name});
  }
  return matches;
}

std::unique_ptr<File> Win32Platform::OpenRead(const std::string& path, Site site) {
  return std::make_unique<Win32File>(
      OpenPlainFile(path, GENERIC_READ, kShareAll, OPEN_EXISTING, 0, site));
}

std::unique_ptr<File> Win32Platform::OpenIfPlainFile(const std::string& path, Site site) {
  const DWORD attributes = ::GetFileAttributesW(Widen(path).c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES ||
      (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) != 0) {
    return nullptr;
  }
  return std::make_unique<Win32File>(
      OpenPlainFile(path, GENERIC_READ, kShareAll, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, site));
}

std::unique_ptr<File> Win32Platform::Create(const std::string& path, Site site) {
  // Opened without following a link, so that a symbolic link or junction under the output's
  // name is refused rather than written through, and cut only once it is known to be a file of
  // its own. Others may read it meanwhile, but not write.
  HANDLE handle = OpenPlainFile(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, OPEN_ALWAYS,
                                FILE_FLAG_OPEN_REPARSE_POINT, site);
  auto file = std::make_unique<Win32File>(handle);
  file->Truncate(site);
  return file;
}

std::optional<FileId> Win32Platform::IdOf(const std::string& path) {
  HANDLE handle = OpenForQuery(path);
  if (handle == INVALID_HANDLE_VALUE) return std::nullopt;
  BY_HANDLE_FILE_INFORMATION info;
  const bool known = ::GetFileInformationByHandle(handle, &info);
  ::CloseHandle(handle);
  if (!known) return std::nullopt;
  return FileId{info.dwVolumeSerialNumber,
                std::uint64_t{info.nFileIndexHigh} << 32 | info.nFileIndexLow};
}

void Win32Platform::Remove(const std::string& path) { ::DeleteFileW(Widen(path).c_str()); }

std::string Win32Platform::DateText() {
  wchar_t text[128];
  const int n = ::GetDateFormatW(LOCALE_USER_DEFAULT, DATE_SHORTDATE, nullptr, nullptr, text,
                                 static_cast<int>(std::size(text)));
  if (n <= 1) return PlainDate();  // the call failed (or gave nothing): m/d/yy
  return Narrow(std::wstring_view(text, static_cast<std::size_t>(n - 1)));
}

}  // namespace brumlet
