// The program's entry sequence: working directories and settings, the
// windows with their fonts and placement, the main loop, and saving at exit.
#pragma once

namespace hv {

class TFormBar;
class TFormView;

// Runs the program inside an existing THalvoraApplication; the exit status.
int RunApplication();

// The shared progress window and text viewer, while the program runs.
TFormBar* SharedBar();
TFormView* SharedView();

}  // namespace hv
