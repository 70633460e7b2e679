// The program's entry sequence: working directories and settings, the
// windows in their order with their fonts and placement, the main loop, and
// saving everything at exit.
#pragma once

#include <memory>
#include <string>

namespace hv {

class TFormArc;
class TFormBar;
class TFormMain;
class TFormOtl;
class TFormSetProject;
class TFormView;

// One run of the program, in three steps that tests can take one by one.
class TProgramSession {
  public:
    // ProgramDir empty: the program directory of the platform and its drive map.
    explicit TProgramSession(std::string programDir = {});
    ~TProgramSession();
    TProgramSession(const TProgramSession&) = delete;
    TProgramSession& operator=(const TProgramSession&) = delete;

    // Working directories, settings, windows, fonts and placement, the date
    // box; false when the user chose to abandon start-up after an error.
    bool Start();
    // Shows the main window and runs the main loop; its exit status.
    int Loop();
    // Saves fonts and placement and, when start-up finished, the project
    // list, the editor's sort settings and the Configuration section, in one
    // write of the settings file.
    void Shutdown();

    TFormBar* Bar() const { return bar_.get(); }
    TFormMain* Main() const { return main_.get(); }
    TFormOtl* Otl() const { return otl_.get(); }
    TFormArc* Browser() const { return browser_.get(); }
    TFormSetProject* Editor() const { return editor_.get(); }
    TFormView* View() const { return view_.get(); }

  private:
    std::string programDir_;
    std::unique_ptr<TFormBar> bar_;
    std::unique_ptr<TFormMain> main_;
    std::unique_ptr<TFormOtl> otl_;
    std::unique_ptr<TFormArc> browser_;
    std::unique_ptr<TFormSetProject> editor_;
    std::unique_ptr<TFormView> view_;
};

// Runs the program inside an existing THalvoraApplication; the exit status.
int RunApplication();

// The shared progress window and text viewer, while the program runs.
TFormBar* SharedBar();
TFormView* SharedView();

}  // namespace hv
