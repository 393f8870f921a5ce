#include "launch.h"

#include <new>

#include "brumlet.h"
#include "explorer.h"
#include "messages.h"
#include "output_file.h"

namespace brumlet {
namespace {

// Runs `body`; a RunFailure or any exception it does not expect becomes a report and exit 1.
template <typename Body>
int Guarded(Body body, std::string_view module, Console& console) {
  try {
    return body();
  } catch (const RunFailure& failure) {
    PrintFailureReport(failure, module, console);
  } catch (const std::bad_alloc&) {
    PrintFailureReport(OutOfMemory(), module, console);
  } catch (const std::exception& exception) {
    PrintFailureReport(UnexpectedFailure(exception.what()), module, console);
  } catch (...) {
    PrintFailureReport(UnexpectedFailure(""), module, console);
  }
  return exit_code::kRunFailure;
}

int RunPlan(const std::vector<PlannedRun>& runs, std::string_view module, Platform& platform) {
  const std::string start = platform.CurrentFolder(Site::kRunFolder);
  int first_failure = exit_code::kSuccess;
  // Files dropped together are one run to the user: none of them replaces another's output.
  RunOutputs written;
  for (const PlannedRun& run : runs) {
    const int code = Guarded(
        [&] {
          platform.EnterFolder(start, false, Site::kRunFolder);
          if (!run.folder.empty()) {
            platform.EnterFolder(run.folder, run.create_folder, Site::kRunFolder);
          }
          return RunBrumlet(run.args, module, platform, written);
        },
        module, platform.console());
    if (first_failure == exit_code::kSuccess) first_failure = code;
  }
  return first_failure;
}

// Waits until Enter is pressed, or the input ends. A line feed first is what is left of an
// answer that ended at its carriage return, not a key pressed now.
void WaitForEnter(Console& console) {
  try {
    console.Write(kPressEnterToClose);
    int c = console.ReadByte();
    if (c == '\n') c = console.ReadByte();
    while (c >= 0 && c != '\n') c = console.ReadByte();
  } catch (const RunFailure&) {
    // Nothing to wait on: the window is already gone.
  }
}

}  // namespace

int Launch(const std::vector<std::string>& args, std::string_view module, Platform& platform) {
  Console& console = platform.console();
  const auto as_typed = [&] { return RunBrumlet(args, module, platform); };
  if (!platform.IsExplorerLaunch()) return Guarded(as_typed, module, console);
  const int code = Guarded(
      [&] {
        const auto runs = PlanDroppedFiles(args, platform);
        return runs ? RunPlan(*runs, module, platform) : as_typed();
      },
      module, console);
  WaitForEnter(console);
  return code;
}

}  // namespace brumlet
