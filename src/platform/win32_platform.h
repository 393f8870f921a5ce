// The Platform over the Win32 API: wide-character file names kept as UTF-8 inside, handles,
// FindFirstFileW, the console's standard handles and the user's short date format.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <utility>

#include "platform/platform.h"
#include "platform/win32_paths.h"

namespace brumlet {

/// UTF-8 to UTF-16 and back, for the wide-character API.
std::wstring Widen(std::string_view text);
std::string Narrow(std::wstring_view text);

/// The system calls that tests replace, to show under Wine what Wine does not do by itself.
struct Win32Calls {
  /// How many processes share the console (GetConsoleProcessList); 0 without one.
  std::function<DWORD()> console_process_count = [] {
    DWORD ids[2];  // the count is returned even where it does not fit
    return ::GetConsoleProcessList(ids, 2);
  };
  /// True when the handle is a console (GetConsoleMode succeeds on it).
  std::function<bool(HANDLE)> is_console = [](HANDLE handle) {
    DWORD mode = 0;
    return ::GetConsoleMode(handle, &mode) != 0;
  };
  /// ReadConsoleW, without its last argument.
  std::function<BOOL(HANDLE, wchar_t*, DWORD, DWORD*)> read_console =
      [](HANDLE input, wchar_t* buffer, DWORD count, DWORD* read) {
        return ::ReadConsoleW(input, buffer, count, read, nullptr);
      };
  /// FindNextFileW.
  std::function<BOOL(HANDLE, WIN32_FIND_DATAW*)> find_next = ::FindNextFileW;
};

/// Standard input and output as bytes, with no text-mode translation: the program's "\n" line
/// ends become CR LF here and nowhere else. While it exists, the console shows UTF-8, and the
/// code pages it had are put back however the process ends: also on Ctrl+C, Ctrl+Break and
/// the window's closing, which end it without destructors. Lines typed at the console are read
/// as UTF-16 and handed on as UTF-8 (a console's byte reads lose every character outside
/// ASCII); redirected input is read as the bytes it is.
class Win32Console : public Console {
 public:
  explicit Win32Console(Win32Calls calls = {});
  ~Win32Console() override;
  Win32Console(const Win32Console&) = delete;
  Win32Console& operator=(const Win32Console&) = delete;

  void Write(std::string_view text) override;
  void WriteRaw(std::string_view bytes) override;
  int ReadByte() override;

 private:
  // Reads the next line typed at the console into typed_; false at the end of the input.
  bool ReadTypedLine(HANDLE input);

  Win32Calls calls_;
  // The console's code pages before the program ran; 0 when there is no console to restore.
  unsigned previous_output_code_page_ = 0;
  unsigned previous_input_code_page_ = 0;
  std::string typed_;  // the line typed last, as UTF-8, and how much of it has been read
  std::size_t next_typed_ = 0;
};

class Win32Platform : public Platform {
 public:
  explicit Win32Platform(Win32Calls calls = {}) : calls_(calls), console_(std::move(calls)) {}

  bool IsExistingFile(const std::string& path) override;
  std::vector<Match> Search(const std::string& pattern) override;
  std::unique_ptr<File> OpenRead(const std::string& path, Site site) override;
  std::unique_ptr<File> OpenIfPlainFile(const std::string& path, Site site) override;
  std::unique_ptr<File> Create(const std::string& path, Site site) override;
  std::optional<FileId> IdOf(const std::string& path) override;
  void Remove(const std::string& path) override;
  Console& console() override { return console_; }
  std::string DateText() override;
  std::string_view BareName(std::string_view path) const override {
    return path.substr(FolderOfPath(path).size());
  }
  bool ShellExpandsWildcards() const override { return false; }
  bool HasManualPage() const override { return false; }
  bool IsExplorerLaunch() override;
  std::string CurrentFolder(Site site) override;
  void EnterFolder(const std::string& folder, bool create, Site site) override;

 private:
  Win32Calls calls_;
  Win32Console console_;
};

}  // namespace brumlet
