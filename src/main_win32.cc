// brumlet.exe: converts RIFF WAVE files into XI instruments.
#include <windows.h>

#include <string>
#include <vector>

#include "launch.h"
#include "platform/command_line.h"
#include "platform/win32_paths.h"
#include "platform/win32_platform.h"

int main() {
  // A drive without a medium must fail its open like any other, not stop the run with a dialog.
  ::SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);

  // The command line is one string, split by the program itself; the C runtime's own argv (and
  // any wildcard expansion it might do) is not used.
  const std::vector<std::string> args =
      brumlet::SplitCommandLine(brumlet::Narrow(::GetCommandLineW()));

  // The report names the program by its file name, as it was started.
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = ::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (n < path.size()) {
      path.resize(n);
      break;
    }
    path.resize(path.size() * 2);
  }
  std::string module = brumlet::Narrow(path);
  module.erase(0, brumlet::FolderOfPath(module).size());
  if (module.empty()) module = "brumlet.exe";

  brumlet::Win32Platform platform;
  return brumlet::Launch(args, module, platform);
}
