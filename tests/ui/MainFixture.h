// The program started the way a person starts it, inside the window tests:
// a program directory D:\Prog\ with its settings file, projects over real
// trees archived by the real arj, and the run files in the tree's own
// temporary directory.
#pragma once

#include <sys/stat.h>

#include <QAbstractItemView>
#include <QListView>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "UiFixture.h"
#include "app/FormMain.h"
#include "app/PrjView.h"
#include "app/Startup.h"
#include "dialogs/FormBar.h"
#include "dialogs/FormView.h"
#include "project/HLObject.h"
#include "run/ArcSettings.h"
#include "settings/IniSections.h"
#include "settings/WorkDirs.h"
#include "support/Process.h"
#include "ui/Command.h"

namespace hv::test {

struct ProjectShape {
    std::vector<std::string> deps = {};
    const char* title = nullptr;  // the project's name (UTF-8) when it is not the file's
};

class MainTest : public UiTest {
  protected:
    void SetUp() override {
        UiTest::SetUp();
        if (const char* tmp = std::getenv("TMPDIR")) savedTmp_ = tmp;
        if (const char* path = std::getenv("PATH")) savedPath_ = path;
        setenv("TMPDIR", CreateDir("tmp").c_str(), 1);
        responder_ = std::make_unique<ScriptedResponder>();
    }
    void TearDown() override {
        session_.reset();
        workdirs::SetTerminating(false);
        workdirs::SetAppRunning(false);
        savedTmp_.empty() ? unsetenv("TMPDIR") : setenv("TMPDIR", savedTmp_.c_str(), 1);
        setenv("PATH", savedPath_.c_str(), 1);
        UiTest::TearDown();
    }

    // Start-up as the program does it; the main window shown.
    TFormMain& Start() {
        session_ = std::make_unique<TProgramSession>("D:\\Prog\\");
        EXPECT_TRUE(session_->Start());
        session_->Main()->show();
        QCoreApplication::processEvents();
        return *session_->Main();
    }
    // Shut-down as at the end of the main loop.
    void Stop() {
        session_->Shutdown();
        session_.reset();
        workdirs::SetTerminating(false);
    }

    // The settings file: the drive map halvora-run needs, then Text.
    void WriteSettings(const std::string& text) {
        CreateFile("d/Prog/halvora.ini", "[Drives]\r\nD=\"" + Root() + "/d\"\r\n\r\n" + text);
    }
    // The project list of the settings file: names of D:\Prog\Projects\<name>.hlj, checked or not.
    static std::string ListText(const std::vector<std::pair<std::string, bool>>& entries,
                                int selected = 0) {
        std::string s = "[Configuration]\r\nMainPrjCount=" + std::to_string(entries.size()) +
                        "\r\nMainPrjIndex=" + std::to_string(selected) +
                        "\r\nMainArcIndex=" + std::to_string(selected) + "\r\n\r\n";
        for (size_t i = 0; i < entries.size(); ++i)
            s += "[PrjInfo" + std::to_string(i) +
                 "]\r\nChecked=" + (entries[i].second ? "1" : "0") + "\r\nFile=\"" +
                 entries[i].first + ".hlj\"\r\n\r\n";
        return s;
    }

    // D:\Prog\Projects\<name>.hlj over D:\Work\<name> (one old file), archive
    // in D:\Arc\<name>, a copy in D:\Copy\<name>.
    void MakeProject(const std::string& name, const ProjectShape& shape = {}) {
        const std::string file =
            CreateFile("d/Work/" + name + "/data.txt", "data of " + name + "\n");
        auto w = ToWindowsPath(file);
        ASSERT_TRUE(w && SetFileDate(*w, EncodeDosDateTime({2020, 5, 17, 10, 30, 0})));
        CreateDir("d/Arc/" + name);
        CreateDir("d/Copy/" + name);
        THL_HalvoraProject p;
        p.FileName = "D:\\Prog\\Projects\\" + name + ".hlj";
        p.SetName(shape.title ? A(shape.title) : name);
        p.SetRootDir("D:\\Work\\" + name);
        p.IncludeAllFiles = true;
        p.SavePlaces().Add("D:\\Arc\\" + name);
        p.SavePlaces().Add("D:\\Copy\\" + name);
        for (const auto& d : shape.deps) p.Projects().Add(d + ".hlj");
        p.ArcType = kArcArj;
        p.CompressType = 2;
        p.SaveToFile();
    }
    // A tree for the next row of a table: no projects, trees, archives or settings.
    void ClearTree() {
        session_.reset();
        CloseSettingsIni();
        for (const char* dir : {"d/Work", "d/Arc", "d/Copy", "d/Prog/Projects"})
            std::filesystem::remove_all(Root() + "/" + dir);
        std::filesystem::remove(Root() + "/d/Prog/halvora.ini");
        CreateDir("d/Prog/Projects");
    }
    bool Has(const std::string& rel) const { return Exists(Root() + "/" + rel); }

    // An arj that waits before it starts, so that a run can be caught at work.
    void SlowArchiver(int seconds) {
        CreateFile("bin/arj",
                   "#!/bin/sh\nsleep " + std::to_string(seconds) + "\nexec /usr/bin/arj \"$@\"\n");
        chmod((Root() + "/bin/arj").c_str(), 0755);
        setenv("PATH", (Root() + "/bin:" + savedPath_).c_str(), 1);
    }

    TPrjView* Projects() const { return session_->Main()->ProjectView(); }
    TPrjView* Archives() const { return session_->Main()->ArchiveView(); }
    static void ClickRow(TPrjView* view, int row, bool twice = false) {
        ClickIndex(view->Current(), view->Current()->model()->index(row, 0), twice);
    }

    std::unique_ptr<TProgramSession> session_;
    std::string savedTmp_, savedPath_;
};

}  // namespace hv::test
