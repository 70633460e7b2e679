// A temporary tree for archive runs: D:\Projects holds the project files, the
// run files go to a private temporary directory inside the tree.
#pragma once

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "dialogs/ScriptedResponder.h"
#include "platform/AnsiLiteral.h"
#include "platform/CodePage.h"
#include "project/HLObject.h"
#include "settings/WorkDirs.h"
#include "support/TempTree.h"

namespace hv::test {

class RunTree : public TempTree {
  protected:
    void SetUp() override {
        TempTree::SetUp();
        const char* tmp = std::getenv("TMPDIR");
        hadTmp_ = tmp != nullptr;
        if (tmp) savedTmp_ = tmp;
        setenv("TMPDIR", CreateDir("d/tmp").c_str(), 1);
        savedProjectsDir_ = workdirs::ProjectsDir();
        savedDebug_ = workdirs::DebugMode();
        workdirs::SetDebugMode(false);
        CreateDir("d/Projects");
        workdirs::SetProjectsDir("D:\\Projects\\");
    }
    void TearDown() override {
        THL_HalvoraProject::RunMessagePump = nullptr;
        workdirs::SetProjectsDir(savedProjectsDir_);
        workdirs::SetDebugMode(savedDebug_);
        if (hadTmp_)
            setenv("TMPDIR", savedTmp_.c_str(), 1);
        else
            unsetenv("TMPDIR");
        TempTree::TearDown();
    }

    // A project file D:\Projects\<name>.hlj over D:\Work, archive in D:\Arc,
    // every file taken; Edit adjusts it before it is saved.
    template <class Edit>
    std::unique_ptr<THL_HalvoraProject> NewProject(const std::string& name, uint8_t arcType,
                                                   Edit edit) {
        auto p = std::make_unique<THL_HalvoraProject>();
        p->FileName = "D:\\Projects\\" + name + ".hlj";
        p->SetName(name);
        p->SetRootDir("D:\\Work");
        p->IncludeAllFiles = true;
        p->IncludeSubDirs = true;
        p->ArcType = arcType;
        p->CompressType = 2;
        p->SavePlaces().Add("D:\\Arc");
        p->OnMessage = [this](const std::string& text, bool&) { warnings_.push_back(text); };
        edit(*p);
        p->SaveToFile();
        return p;
    }
    std::unique_ptr<THL_HalvoraProject> NewProject(const std::string& name, uint8_t arcType) {
        return NewProject(name, arcType, [](THL_HalvoraProject&) {});
    }

    // A file below the tree root (UTF-8 POSIX path) dated in the past, so that
    // an archive made now is newer.
    std::string OldFile(const std::string& rel, const std::string& content = "data") {
        std::string p = CreateFile(rel, content);
        auto w = ToWindowsPath(p);
        EXPECT_TRUE(w && SetFileDate(*w, EncodeDosDateTime({2020, 5, 17, 10, 30, 0})));
        return p;
    }

    std::string RunFile(const std::string& ext) const {
        return Posix(THL_HalvoraProject::RunTempBase() + ext);
    }

    ScriptedResponder responder_;
    std::vector<std::string> warnings_;

  private:
    std::string savedProjectsDir_;
    std::string savedTmp_;
    bool hadTmp_ = false;
    bool savedDebug_ = false;
};

}  // namespace hv::test
