// What the command line hands a run to: one of the program's modes, with its arguments.
#pragma once

#include "platform/platform.h"

namespace brumlet {

class Mode {
 public:
  virtual ~Mode() = default;
  /// Runs the mode and returns the exit code; throws Rejection or RunFailure to end early.
  virtual int Run(Platform& platform) = 0;
  /// After a rejection that ends the current file, once its message is shown: closes what the
  /// mode has open for it, then deletes its output. A failing close throws RunFailure.
  virtual void AbortCurrentFile(Platform& platform) = 0;
};

}  // namespace brumlet
