#include "termio/GiveBack.h"

#include "termio/JobControl.h"
#include "termio/Output.h"
#include "termio/StandardError.h"
#include "termio/Terminal.h"

namespace Termio {

TRestoreState Restore;

void GiveBack(bool ForGood) {
  if (ForGood) Restore.ScreenOpen = 0;
  if (Restore.ScreenShown) {
    Restore.ScreenShown = 0;
    WriteAll(Restore.OutFd, Restore.CloseBytes, Restore.CloseLength, true);
  }
  if (Restore.RawApplied) {
    Restore.RawApplied = 0;
    SetMode(Restore.SavedTermios);
  }
  if (ForGood) {
    Restore.TermiosSaved = 0;
    ReleaseStandardError();
  }
}

}  // namespace Termio

void RestoreTerminal() { Termio::GiveBack(true); }
