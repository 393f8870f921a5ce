// The Win32 platform layer over a real file system and real standard handles (Wine in the
// Windows build), each test in a folder of its own under the user's temporary folder.
#include "platform/win32_platform.h"

#include <gtest/gtest.h>
#include <windows.h>
#include <winioctl.h>

#include <filesystem>
#include <string>
#include <vector>

namespace brumlet {
namespace {

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
const Byte* Bytes(const char* text) { return reinterpret_cast<const Byte*>(text); }

class Win32PlatformTest : public ::testing::Test {
 protected:
  void SetUp() override {
    wchar_t temp[MAX_PATH + 1];
    ASSERT_NE(::GetTempPathW(MAX_PATH + 1, temp), 0u);
    folder_ = Narrow(temp) + "brumlet-" + std::to_string(::GetCurrentProcessId()) + "-" +
              std::to_string(::GetTickCount64()) + '\\';
    ASSERT_TRUE(::CreateDirectoryW(Widen(folder_).c_str(), nullptr)) << ::GetLastError();
  }
  void TearDown() override {
    std::error_code ignored;  // a read-only file must lose the attribute before it can go
    for (const auto& entry : std::filesystem::recursive_directory_iterator(Widen(folder_), ignored))
      ::SetFileAttributesW(entry.path().c_str(), FILE_ATTRIBUTE_NORMAL);
    std::filesystem::remove_all(Widen(folder_), ignored);
  }

  std::string At(const std::string& name) const { return folder_ + name; }
  HANDLE Open(const std::string& name, DWORD access, DWORD share, DWORD disposition) const {
    return ::CreateFileW(Widen(At(name)).c_str(), access, share, nullptr, disposition, 0, nullptr);
  }
  void Put(const std::string& name, std::string_view bytes = "") const {
    HANDLE h = Open(name, GENERIC_WRITE, 0, CREATE_NEW);
    DWORD n = 0;
    ASSERT_TRUE(::WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &n, nullptr));
    ::CloseHandle(h);
  }
  std::string Get(const std::string& name) const {
    HANDLE h = Open(name, GENERIC_READ, kShareAll, OPEN_EXISTING);
    char bytes[64];
    DWORD n = 0;
    ::ReadFile(h, bytes, sizeof bytes, &n, nullptr);
    ::CloseHandle(h);
    return std::string(bytes, n);
  }
  // The failure text of `operation`, which must fail at the site it is given.
  template <typename Operation>
  std::string FailureOf(Operation operation, Site site = Site::kOutputCreate) {
    try {
      operation(site);
    } catch (const RunFailure& failure) {
      EXPECT_EQ(failure.site(), site) << failure.what();
      return failure.what();
    }
    return "no failure";
  }

  Win32Platform platform_;
  std::string folder_;  // ends in "\"
};

TEST_F(Win32PlatformTest, SearchSortsUpperCasedNamesByCodeAndSkipsDirectories) {
  for (const char* name : {"b.wav", "A.wav", "a2.WAV", "_x.wav", "note.txt"}) Put(name);
  const std::pair<const char*, DWORD> marked[] = {
      {"ro.wav", FILE_ATTRIBUTE_READONLY},
      {"hid.wav", FILE_ATTRIBUTE_HIDDEN},
      {"sys.wav", FILE_ATTRIBUTE_SYSTEM},
  };
  for (const auto& [name, attribute] : marked) {
    Put(name);
    ASSERT_TRUE(::SetFileAttributesW(Widen(At(name)).c_str(), attribute));
  }
  ASSERT_TRUE(::CreateDirectoryW(Widen(At("d.wav")).c_str(), nullptr));
  // "_" comes after the letters once they are upper case, "." before the digits.
  const std::vector<std::string> names = {"A.wav",  "a2.WAV",  "b.wav", "hid.wav",
                                          "ro.wav", "sys.wav", "_x.wav"};
  std::string slashed = folder_;
  for (char& c : slashed) c = c == '\\' ? '/' : c;
  for (const std::string& folder : {folder_, slashed}) {
    const std::vector<Match> matches = platform_.Search(folder + "*.wav");
    ASSERT_EQ(matches.size(), names.size()) << folder;
    for (std::size_t i = 0; i < names.size(); ++i) {
      EXPECT_EQ(matches[i].name, names[i]);
      EXPECT_EQ(matches[i].path, folder + names[i]);
      EXPECT_NO_THROW(platform_.OpenRead(matches[i].path, Site::kSourceOpen)) << names[i];
    }
  }
  EXPECT_TRUE(platform_.Search(At("*.none")).empty());
  EXPECT_TRUE(platform_.Search(At("missing\\*.wav")).empty());
}

TEST_F(Win32PlatformTest, ConsoleWritesCrLfButRawBytesAsTheyAreAndReadsToTheEndOfInput) {
  Put("in.txt", "x\n");
  HANDLE out = Open("out.txt", GENERIC_WRITE, 0, CREATE_NEW);
  HANDLE in = Open("in.txt", GENERIC_READ, 0, OPEN_EXISTING);
  HANDLE pipe, pipe_writer;
  DWORD n = 0;
  ASSERT_TRUE(::CreatePipe(&pipe, &pipe_writer, nullptr, 0));
  ::WriteFile(pipe_writer, "y", 1, &n, nullptr);
  ::CloseHandle(pipe_writer);  // a broken pipe once its byte is read
  const HANDLE saved_out = ::GetStdHandle(STD_OUTPUT_HANDLE);
  const HANDLE saved_in = ::GetStdHandle(STD_INPUT_HANDLE);
  std::vector<int> read;
  EXPECT_NO_THROW({  // and the handles are put back whatever happens
    Win32Console console;
    ::SetStdHandle(STD_OUTPUT_HANDLE, out);
    console.Write("a\nb\n");
    console.WriteRaw("c\n");
    for (HANDLE input : {in, pipe, HANDLE{nullptr}}) {
      ::SetStdHandle(STD_INPUT_HANDLE, input);
      for (int i = 0; i < 3; ++i) read.push_back(console.ReadByte());
    }
  });
  ::SetStdHandle(STD_OUTPUT_HANDLE, saved_out);
  ::SetStdHandle(STD_INPUT_HANDLE, saved_in);
  for (HANDLE h : {out, in, pipe}) ::CloseHandle(h);
  EXPECT_EQ(Get("out.txt"), "a\r\nb\r\nc\n");
  EXPECT_EQ(read, (std::vector<int>{'x', '\n', -1, 'y', -1, -1, -1, -1, -1}));
}

TEST_F(Win32PlatformTest, NamesOutsideTheAnsiCodePageAreUtf8Inside) {
  const std::pair<std::string, std::wstring> names[] = {
      {"gl\xC3\xB6"
       "ckchen.wav",
       L"gl\u00F6ckchen.wav"},
      {"\xE9\x90\x98.wav", L"\u9418.wav"},
  };
  for (const auto& [name, wide] : names) {
    HANDLE h =
        ::CreateFileW((Widen(folder_) + wide).c_str(), 0, 0, nullptr, CREATE_NEW, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
      GTEST_SKIP() << "no file can have that name here (Wine stores names in the character set "
                      "of the Unix locale, which has none for it under C or POSIX)";
    }
    ::CloseHandle(h);
    ::DeleteFileW((Widen(folder_) + wide).c_str());
    auto file = platform_.Create(At(name), Site::kOutputCreate);
    file->Write(Bytes("xy"), 2, Site::kHeaderWrite);
    file->Close(Site::kOutputClose);
    EXPECT_NE(::GetFileAttributesW((Widen(folder_) + wide).c_str()), INVALID_FILE_ATTRIBUTES);
    const std::vector<Match> matches = platform_.Search(At("*.wav"));
    ASSERT_EQ(matches.size(), 1u);
    EXPECT_EQ(matches[0].name, name);
    Byte bytes[2] = {};
    platform_.OpenRead(matches[0].path, Site::kSourceOpen)->ReadExact(bytes, 2, Site::kWavHeadRead);
    EXPECT_EQ(bytes[1], 'y');
    platform_.Remove(At(name));
    EXPECT_FALSE(platform_.IsExistingFile(At(name)));
  }
}

TEST_F(Win32PlatformTest, SharingAndFailuresCarryTheSystemsOwnCodes) {
  Put("locked.wav", "data");
  Put("s.wav");
  ASSERT_TRUE(::CreateDirectoryW(Widen(At("d.xi")).c_str(), nullptr));
  HANDLE lock = Open("locked.wav", GENERIC_READ, 0, OPEN_EXISTING);  // shares nothing
  const struct {
    std::string path, open_read, create;  // "" for a create that succeeds
  } cases[] = {
      {At("missing.wav"), "File not found", ""},
      {At("missing\\a.wav"), "Invalid filename", "Invalid filename"},
      {At("d.xi"), "File access denied", "File access denied"},
      {"NUL", "File access denied", "File access denied"},
      {At("locked.wav"), "I/O error 32", "I/O error 32"},  // ERROR_SHARING_VIOLATION
  };
  for (const auto& c : cases) {
    EXPECT_EQ(FailureOf([&](Site s) { platform_.OpenRead(c.path, s); }, Site::kSourceOpen),
              c.open_read)
        << c.path;
    if (!c.create.empty()) {
      EXPECT_EQ(FailureOf([&](Site s) { platform_.Create(c.path, s); }), c.create) << c.path;
    }
    // A locked name file is found, and then fails to open: looking at it needs no share.
    EXPECT_EQ(platform_.IsExistingFile(c.path), c.path == At("locked.wav")) << c.path;
  }
  ::CloseHandle(lock);
  EXPECT_EQ(Get("locked.wav"), "data");

  // Others may write and delete a source meanwhile, but only read an output.
  auto source = platform_.OpenRead(At("s.wav"), Site::kSourceOpen);
  auto output = platform_.Create(At("o.xi"), Site::kOutputCreate);
  const auto opens = [&](const std::string& name, DWORD access) {
    HANDLE h = Open(name, access, kShareAll, OPEN_EXISTING);
    return h != INVALID_HANDLE_VALUE && ::CloseHandle(h);
  };
  EXPECT_TRUE(opens("s.wav", GENERIC_READ | GENERIC_WRITE));
  EXPECT_TRUE(opens("o.xi", GENERIC_READ));
  EXPECT_FALSE(opens("o.xi", GENERIC_WRITE));
  EXPECT_TRUE(::DeleteFileW(Widen(At("s.wav")).c_str()));
}

TEST_F(Win32PlatformTest, CreateRefusesASymbolicLinkAndLeavesItsTargetAlone) {
  Put("target.wav", "keep");
  const std::wstring link = Widen(At("link.xi"));
  const bool made = ::CreateSymbolicLinkW(link.c_str(), L"target.wav",
                                          SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE);
  const DWORD attributes = ::GetFileAttributesW(link.c_str());
  if (!made || attributes == INVALID_FILE_ATTRIBUTES ||
      !(attributes & FILE_ATTRIBUTE_REPARSE_POINT))
    GTEST_SKIP() << "no symbolic link could be made here (Wine 8 reports success without making "
                    "one; Windows needs developer mode or the privilege)";
  EXPECT_EQ(FailureOf([&](Site s) { platform_.Create(At("link.xi"), s); }), "File access denied");
  EXPECT_EQ(Get("target.wav"), "keep");
}

TEST_F(Win32PlatformTest, OneFileHasOneIdUnderEveryName) {
  Put("one.wav");
  Put("two.wav");
  ASSERT_TRUE(
      ::CreateHardLinkW(Widen(At("hard.wav")).c_str(), Widen(At("one.wav")).c_str(), nullptr));
  const std::optional<FileId> id = platform_.IdOf(At("one.wav"));
  ASSERT_TRUE(id);
  EXPECT_EQ(platform_.OpenRead(At("one.wav"), Site::kSourceOpen)->Id(), *id);
  EXPECT_EQ(platform_.IdOf(At("ONE.WAV")), id);
  EXPECT_EQ(platform_.IdOf(At("hard.wav")), id);
  EXPECT_NE(platform_.IdOf(At("two.wav")), id);
  EXPECT_EQ(platform_.IdOf(At("missing.wav")), std::nullopt);
}

TEST_F(Win32PlatformTest, ASearchThatBreaksOffFailsWithTheSystemsCode) {
  Put("a.wav");
  for (const auto& [error, text] :
       {std::pair<DWORD, std::string>{ERROR_NO_MORE_FILES, "no failure"},
        {ERROR_ACCESS_DENIED, "File access denied"},
        {ERROR_NETNAME_DELETED, "I/O error 64"}}) {
    Win32Calls calls;
    calls.find_next = [error = error](HANDLE, WIN32_FIND_DATAW*) {
      ::SetLastError(error);
      return FALSE;
    };
    EXPECT_EQ(FailureOf([&](Site) { Win32Platform(calls).Search(At("*.wav")); }, Site::kSearch),
              text);
  }
}

TEST_F(Win32PlatformTest, ConsoleCallsDecideExplorerModeAndTypedLinesArriveAsUtf8UntilCtrlZ) {
  EXPECT_FALSE(platform_.IsExplorerLaunch());  // the test runner's streams are pipes or files
  // Standard handles that are only compared, never used: the console calls are injected.
  const HANDLE saved_in = ::GetStdHandle(STD_INPUT_HANDLE);
  const HANDLE saved_out = ::GetStdHandle(STD_OUTPUT_HANDLE);
  const HANDLE in = reinterpret_cast<HANDLE>(0x10), out = reinterpret_cast<HANDLE>(0x20);
  ::SetStdHandle(STD_INPUT_HANDLE, in);
  ::SetStdHandle(STD_OUTPUT_HANDLE, out);
  // Processes on the console, input and output a console, Explorer mode.
  const int cases[][4] = {{1, 1, 1, 1}, {2, 1, 1, 0}, {1, 0, 1, 0}, {1, 1, 0, 0}};
  Win32Calls calls;
  for (const auto& [count, input, output, explorer] : cases) {
    calls.console_process_count = [count = count] { return static_cast<DWORD>(count); };
    calls.is_console = [&](HANDLE h) { return h == in ? input : h == out && output; };
    EXPECT_EQ(Win32Platform(calls).IsExplorerLaunch(), explorer == 1) << count << input << output;
  }
  std::wstring keys = L"Gl\u00F6ckchen\r\n" + std::wstring(255, L'a') + L"\U0001D11E\r\n\x1A\r\nx";
  calls.read_console = [&](HANDLE, wchar_t* to, DWORD count, DWORD* read) {
    // As a console hands a line over: at most `count` units, the rest at the next read.
    *read = static_cast<DWORD>(keys.copy(to, std::min<std::size_t>(count, keys.find('\n') + 1)));
    keys.erase(0, *read);
    return TRUE;
  };
  calls.is_console = [&](HANDLE h) { return h == in; };
  std::string bytes;
  Win32Console console(calls);
  for (int c = console.ReadByte(); c >= 0; c = console.ReadByte()) bytes += static_cast<char>(c);
  ::SetStdHandle(STD_INPUT_HANDLE, saved_in);
  ::SetStdHandle(STD_OUTPUT_HANDLE, saved_out);
  EXPECT_EQ(bytes, "Gl\303\266ckchen\r\n" + std::string(255, 'a') + "\360\235\204\236\r\n");
}

TEST(Win32Program, IntroducesItselfAndCarriesItsManifest) {
  wchar_t self[MAX_PATH];
  std::wstring program(self, ::GetModuleFileNameW(nullptr, self, MAX_PATH));
  program.replace(program.rfind(L'\\'), std::wstring::npos, L"\\..\\brumlet.exe");
  DWORD ignored = 0;
  std::vector<Byte> version(::GetFileVersionInfoSizeW(program.c_str(), &ignored));
  ASSERT_TRUE(::GetFileVersionInfoW(program.c_str(), 0, static_cast<DWORD>(version.size()),
                                    version.data()));
  for (const auto& [key, value] :
       {std::pair<std::wstring, std::string>{L"ProductName", "Brumlet"},
        {L"ProductVersion", "0.26"},
        {L"FileDescription", "Brumlet - WAV to XI instrument converter"},
        {L"LegalCopyright", "Copyright (c) 2026 the Brumlet authors, MIT licence"},
        {L"OriginalFilename", "brumlet.exe"}}) {
    wchar_t* text = nullptr;
    UINT length = 0;
    ::VerQueryValueW(version.data(), (L"\\StringFileInfo\\040904B0\\" + key).c_str(),
                     reinterpret_cast<void**>(&text), &length);
    EXPECT_EQ(Narrow(text ? text : L""), value);
  }
  HMODULE image = ::LoadLibraryExW(program.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  HRSRC found = ::FindResourceW(image, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24));  // RT_MANIFEST
  ASSERT_NE(found, nullptr);
  const std::string manifest(static_cast<const char*>(::LockResource(::LoadResource(image, found))),
                             ::SizeofResource(image, found));
  ::FreeLibrary(image);
  for (const char* setting : {">UTF-8</activeCodePage>", ">true</longPathAware>",
                              "level=\"asInvoker\"", "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"}) {
    EXPECT_NE(manifest.find(setting), std::string::npos) << setting;
  }
}

TEST_F(Win32PlatformTest, FilesTakeSixtyFourBitPositionsButSizesBelowTwoGiB) {
  Put("f.xi", "old contents");
  auto file = platform_.Create(At("f.xi"), Site::kOutputCreate);
  EXPECT_EQ(file->Size(Site::kSourceSize), 0);
  file->Write(Bytes("abc"), 3, Site::kHeaderWrite);
  file->Seek(6, Site::kOutputSeek);
  EXPECT_EQ(file->Size(Site::kSourceSize), 3);  // seeking writes nothing
  file->Truncate(Site::kOutputTruncate);
  EXPECT_EQ(file->Size(Site::kSourceSize), 6);
  constexpr std::int64_t kBeyond4GiB = (std::int64_t{1} << 32) + 5;
  file->Seek(kBeyond4GiB, Site::kOutputSeek);
  EXPECT_EQ(file->Position(Site::kOutputSeek), kBeyond4GiB);
  EXPECT_EQ(file->Size(Site::kSourceSize), 6);
  file->Close(Site::kOutputClose);
  EXPECT_EQ(Get("f.xi"), std::string("abc\0\0\0", 6));

  // Sources as large as a signed 32-bit position allows, and one byte larger (sparse files).
  for (const std::int64_t size : {0x7FFFFFFFll, 0x80000000ll}) {
    HANDLE h = Open("big.wav", GENERIC_WRITE, 0, CREATE_ALWAYS);
    DWORD n = 0;
    ::DeviceIoControl(h, FSCTL_SET_SPARSE, nullptr, 0, nullptr, 0, &n, nullptr);
    ::SetFilePointerEx(h, LARGE_INTEGER{.QuadPart = size}, nullptr, FILE_BEGIN);
    ASSERT_TRUE(::SetEndOfFile(h));
    ::CloseHandle(h);
    auto source = platform_.OpenRead(At("big.wav"), Site::kSourceOpen);
    EXPECT_EQ(FailureOf([&](Site s) { EXPECT_EQ(source->Size(s), size); }, Site::kSourceSize),
              size == 0x7FFFFFFF ? "no failure" : "I/O error 223");
  }
}

}  // namespace
}  // namespace brumlet
