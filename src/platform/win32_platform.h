// The Platform over the Win32 API: wide-character file names kept as UTF-8 inside, handles,
// FindFirstFileW, the console's standard handles and the user's short date format.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/platform.h"
#include "platform/win32_paths.h"

namespace brumlet {

/// UTF-8 to UTF-16 and back, for the wide-character API.
std::wstring Widen(std::string_view text);
std::string Narrow(std::wstring_view text);

/// Standard input and output as bytes, with no text-mode translation: the program's "\n" line
/// ends become CR LF here and nowhere else. While it exists, the console shows UTF-8.
class Win32Console : public Console {
 public:
  Win32Console();
  ~Win32Console() override;
  Win32Console(const Win32Console&) = delete;
  Win32Console& operator=(const Win32Console&) = delete;

  void Write(std::string_view text) override;
  void WriteRaw(std::string_view bytes) override;
  int ReadByte() override;

 private:
  // The console's code pages before the program ran; 0 when there is no console to restore.
  unsigned previous_output_code_page_ = 0;
  unsigned previous_input_code_page_ = 0;
};

class Win32Platform : public Platform {
 public:
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

 private:
  Win32Console console_;
};

}  // namespace brumlet
