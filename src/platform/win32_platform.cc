#include "platform/win32_platform.h"

#include <windows.h>

#include <algorithm>
#include <atomic>
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

// FILE_ID_INFO, which GetFileInformationByHandleEx gives from Windows 8 on (the headers declare
// it, and its class number, only for builds that need Windows 8, which this one does not):
//   offset 0  volume serial number, 64 bits
//   offset 8  file id, 128 bits, low half first
// All little-endian. Older systems refuse the class, and the 64-bit file index stands in.
constexpr auto kFileIdInfo = static_cast<FILE_INFO_BY_HANDLE_CLASS>(18);
constexpr std::size_t kVolumeSerialAt = 0;
constexpr std::size_t kFileIdAt = 8;
constexpr std::size_t kFileIdInfoSize = 24;

std::uint64_t LoadU64(const Byte* p) { return std::uint64_t{LoadU32(p + 4)} << 32 | LoadU32(p); }

// The identity of the open file: the volume and the 128-bit id where the system has them (the
// 64-bit index is not unique on ReFS), else the volume and the index; nothing when neither is
// known.
std::optional<FileId> IdOfHandle(HANDLE handle) {
  alignas(8) Byte id[kFileIdInfoSize];
  if (::GetFileInformationByHandleEx(handle, kFileIdInfo, id, sizeof id)) {
    return FileId{LoadU64(id + kVolumeSerialAt), LoadU64(id + kFileIdAt),
                  LoadU64(id + kFileIdAt + 8)};
  }
  BY_HANDLE_FILE_INFORMATION info;
  if (!::GetFileInformationByHandle(handle, &info)) return std::nullopt;
  return FileId{info.dwVolumeSerialNumber,
                std::uint64_t{info.nFileIndexHigh} << 32 | info.nFileIndexLow};
}

// The code pages a console had before the program ran, for the console control handler: a
// handler takes no argument of the program's, so this is the one value the Win32 layer keeps for
// the whole process. Written by the console before the handler is installed; output page in the
// upper half, input page in the lower, 0 for a page not to restore.
std::atomic<std::uint64_t>& SavedCodePages() {
  static std::atomic<std::uint64_t> pages{0};
  return pages;
}

void RestoreCodePages(std::uint64_t pages) {
  if (const auto output = static_cast<UINT>(pages >> 32)) ::SetConsoleOutputCP(output);
  if (const auto input = static_cast<UINT>(pages & 0xFFFFFFFF)) ::SetConsoleCP(input);
}

// Ctrl+C, Ctrl+Break and closing the window end the process without unwinding it: the pages are
// put back here, then the system's own handler ends the process as usual.
BOOL WINAPI RestoreCodePagesOnSignal(DWORD) {
  RestoreCodePages(SavedCodePages().load());
  return FALSE;
}

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

  FileId Id() const override { return IdOfHandle(handle_).value_or(FileId{}); }

 private:
  HANDLE handle_;
};

// Every file is opened shared for reading and writing, as other programs expect of a reader;
// the delete share also lets an editor save the name file (a new file renamed over the old one)
// while it is open here.
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// True for a reparse point that names another file: a symbolic link, a junction, a mount point.
// A tag that cannot be read counts as one.
bool IsNameSurrogate(HANDLE handle) {
  FILE_ATTRIBUTE_TAG_INFO tag;
  return !::GetFileInformationByHandleEx(handle, FileAttributeTagInfo, &tag, sizeof tag) ||
         IsReparseTagNameSurrogate(tag.ReparseTag);
}

// `raw`: the handle was opened with FILE_FLAG_OPEN_REPARSE_POINT, so a reparse point is the point
// itself, and one that names another file is refused. Any other reparse point is a file in its
// own right, read through its file system filter: OneDrive's files, deduplicated and cloud files.
// Opened the usual way, links have been followed.
bool IsPlainFile(HANDLE handle, BY_HANDLE_FILE_INFORMATION& info, bool raw) {
  if (::GetFileType(handle) != FILE_TYPE_DISK || !::GetFileInformationByHandle(handle, &info) ||
      (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    return false;
  }
  return !raw || (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0 ||
         !IsNameSurrogate(handle);
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

Win32Console::Win32Console(Win32Calls calls) : calls_(std::move(calls)) {
  // Names are UTF-8 inside; the console shows them so, and answers typed there arrive so.
  // GetConsoleOutputCP gives 0 when there is no console: output to a file or a pipe.
  previous_output_code_page_ = ::GetConsoleOutputCP();
  previous_input_code_page_ = ::GetConsoleCP();
  SavedCodePages().store(std::uint64_t{previous_output_code_page_} << 32 |
                         previous_input_code_page_);
  if (previous_output_code_page_ != 0 || previous_input_code_page_ != 0) {
    ::SetConsoleCtrlHandler(RestoreCodePagesOnSignal, TRUE);
  }
  if (previous_output_code_page_ != 0) ::SetConsoleOutputCP(CP_UTF8);
  if (previous_input_code_page_ != 0) ::SetConsoleCP(CP_UTF8);
}

Win32Console::~Win32Console() {
  if (previous_output_code_page_ != 0 || previous_input_code_page_ != 0) {
    ::SetConsoleCtrlHandler(RestoreCodePagesOnSignal, FALSE);
  }
  RestoreCodePages(std::uint64_t{previous_output_code_page_} << 32 | previous_input_code_page_);
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

bool Win32Console::ReadTypedLine(HANDLE input) {
  // ReadConsoleW hands over at most a line, and a longer one in pieces; a character outside the
  // Basic Multilingual Plane (two UTF-16 units) is never cut in two.
  constexpr DWORD kChunk = 256;
  wchar_t wide[kChunk + 1];
  DWORD n = 0;
  if (!calls_.read_console(input, wide, kChunk, &n)) {
    // Ctrl+C aborts the read while the control handler ends the process.
    if (::GetLastError() == ERROR_OPERATION_ABORTED) return false;
    Fail(Site::kConsoleRead);
  }
  if (n > 0 && IS_HIGH_SURROGATE(wide[n - 1])) {
    DWORD more = 0;
    if (calls_.read_console(input, wide + n, 1, &more)) n += more;
  }
  // Ctrl+Z at the start of a line ends the input, as a byte read of the console has it.
  if (n == 0 || wide[0] == 0x1A) return false;
  typed_ = Narrow(std::wstring_view(wide, n));
  next_typed_ = 0;
  return true;
}

int Win32Console::ReadByte() {
  if (next_typed_ < typed_.size()) return static_cast<unsigned char>(typed_[next_typed_++]);
  HANDLE in = ::GetStdHandle(STD_INPUT_HANDLE);
  if (in == INVALID_HANDLE_VALUE || in == nullptr) return -1;  // no input at all: empty answers
  if (calls_.is_console(in)) {
    return ReadTypedLine(in) ? static_cast<unsigned char>(typed_[next_typed_++]) : -1;
  }
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
  } while (calls_.find_next(search, &found));
  const DWORD error = ::GetLastError();
  ::FindClose(search);
  // A listing broken off (a network drive gone, say) must not pass for all the matches.
  if (error != ERROR_NO_MORE_FILES) Fail(Site::kSearch, error);

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
  // Looked at before it is opened for reading, without following a link: a device, a pipe, a
  // folder or a link under that name is never read.
  HANDLE query = ::CreateFileW(Widen(path).c_str(), FILE_READ_ATTRIBUTES, kShareAll, nullptr,
                               OPEN_EXISTING,
                               FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (query == INVALID_HANDLE_VALUE) return nullptr;
  BY_HANDLE_FILE_INFORMATION info;
  const bool plain = IsPlainFile(query, info, true);
  const bool reparse = plain && (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
  const std::optional<FileId> id = IdOfHandle(query);
  ::CloseHandle(query);
  if (!plain) return nullptr;
  // A reparse point of another kind (a file kept in the cloud) is read through its filter; kept
  // only if that is still the file looked at.
  HANDLE handle = OpenPlainFile(path, GENERIC_READ, kShareAll, OPEN_EXISTING,
                                reparse ? 0 : FILE_FLAG_OPEN_REPARSE_POINT, site);
  if (!id || IdOfHandle(handle) != id) {
    ::CloseHandle(handle);
    Fail(site, kAccessDenied);
  }
  return std::make_unique<Win32File>(handle);
}

std::unique_ptr<File> Win32Platform::Create(const std::string& path, Site site) {
  // Opened without following a link, so that a symbolic link or junction under the output's
  // name is refused rather than written through, and cut only once it is known to be a file of
  // its own. Others may read it meanwhile, but not write.
  constexpr DWORD kReadWrite = GENERIC_READ | GENERIC_WRITE;
  HANDLE handle = OpenPlainFile(path, kReadWrite, FILE_SHARE_READ, OPEN_ALWAYS,
                                FILE_FLAG_OPEN_REPARSE_POINT, site);
  BY_HANDLE_FILE_INFORMATION info;
  if (::GetFileInformationByHandle(handle, &info) &&
      (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
    // A reparse point of another kind is written through its filter, opened again the usual way;
    // kept only if that is still the same file (no link has taken its name meanwhile).
    const std::optional<FileId> id = IdOfHandle(handle);
    ::CloseHandle(handle);
    handle = OpenPlainFile(path, kReadWrite, FILE_SHARE_READ, OPEN_EXISTING, 0, site);
    if (!id || IdOfHandle(handle) != id) {
      ::CloseHandle(handle);
      Fail(site, kAccessDenied);
    }
  }
  auto file = std::make_unique<Win32File>(handle);
  file->Truncate(site);
  return file;
}

std::optional<FileId> Win32Platform::IdOf(const std::string& path) {
  HANDLE handle = OpenForQuery(path);
  if (handle == INVALID_HANDLE_VALUE) return std::nullopt;
  const std::optional<FileId> id = IdOfHandle(handle);
  ::CloseHandle(handle);
  return id;
}

void Win32Platform::Remove(const std::string& path) { ::DeleteFileW(Widen(path).c_str()); }

bool Win32Platform::IsExplorerLaunch() {
  return calls_.console_process_count() == 1 &&
         calls_.is_console(::GetStdHandle(STD_INPUT_HANDLE)) &&
         calls_.is_console(::GetStdHandle(STD_OUTPUT_HANDLE));
}

std::string Win32Platform::CurrentFolder(Site site) {
  std::wstring folder(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = ::GetCurrentDirectoryW(static_cast<DWORD>(folder.size()), folder.data());
    if (n == 0) Fail(site);
    if (n < folder.size()) return Narrow(std::wstring_view(folder.data(), n));
    folder.resize(n);  // n counts the terminating zero when the buffer was too small
  }
}

void Win32Platform::EnterFolder(const std::string& folder, bool create, Site site) {
  const std::wstring wide = Widen(folder);
  if (create && !::CreateDirectoryW(wide.c_str(), nullptr)) {
    if (::GetLastError() != ERROR_ALREADY_EXISTS) Fail(site);
    const DWORD attributes = ::GetFileAttributesW(wide.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
      Fail(site, kAccessDenied);  // a file has the folder's name, and is left alone
    }
  }
  if (!::SetCurrentDirectoryW(wide.c_str())) Fail(site);
}

std::string Win32Platform::DateText() {
  wchar_t text[128];
  const int n = ::GetDateFormatW(LOCALE_USER_DEFAULT, DATE_SHORTDATE, nullptr, nullptr, text,
                                 static_cast<int>(std::size(text)));
  if (n <= 1) return PlainDate();  // the call failed (or gave nothing): m/d/yy
  return Narrow(std::wstring_view(text, static_cast<std::size_t>(n - 1)));
}

}  // namespace brumlet
