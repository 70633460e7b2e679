// Temporary trees for runs. RunTree: D:\Projects holds the project files, the
// run files go to a private temporary directory inside the tree. ProgramTree:
// D:\Prog is the program directory, with its projects directory.
#pragma once

#include <cstdlib>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "dialogs/ScriptedResponder.h"
#include "platform/AnsiLiteral.h"
#include "platform/CodePage.h"
#include "project/HLObject.h"
#include "settings/WorkDirs.h"
#include "support/ErrorOf.h"
#include "support/TempTree.h"
#include "util/Exception.h"

namespace hv::test {

class RunTree : public TempTree {
  protected:
    void SetUp() override {
        TempTree::SetUp();
        if (const char* tmp = std::getenv("TMPDIR")) savedTmp_ = tmp;
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
        savedTmp_ ? setenv("TMPDIR", savedTmp_->c_str(), 1) : unsetenv("TMPDIR");
        TempTree::TearDown();
    }

    // A project file D:\Projects\<name>.hlj over D:\Work, archive in D:\Arc,
    // every file taken; Edit adjusts it before it is saved.
    std::unique_ptr<THL_HalvoraProject> NewProject(
        const std::string& name, uint8_t arcType,
        const std::function<void(THL_HalvoraProject&)>& edit = nullptr) {
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
        if (edit) edit(*p);
        p->SaveToFile();
        return p;
    }

    // A file below the tree root (UTF-8 POSIX path) dated in the past, so that
    // an archive made now is newer.
    std::string OldFile(const std::string& rel, const std::string& content = "data") {
        std::string p = CreateFile(rel, content);
        SetOld(p);
        return p;
    }

    std::string RunFile(const std::string& ext) const {
        return Posix(THL_HalvoraProject::RunTempBase() + ext);
    }

    ScriptedResponder responder_;
    std::vector<std::string> warnings_;

  private:
    std::string savedProjectsDir_;
    std::optional<std::string> savedTmp_;
    bool savedDebug_ = false;
};

class ProgramTree : public TempTree {
  protected:
    void SetUp() override {
        TempTree::SetUp();
        CreateDir("d/Prog/Projects");
        workdirs::SetProgramDir("D:\\Prog\\");
        cwd_.emplace();
    }
    void TearDown() override {
        cwd_.reset();
        TempTree::TearDown();
    }
    // Saves a project over D:\Work, archive NAME.ARJ in D:\Arc (no place when
    // Places is false), depending on Deps; returns its full file name.
    std::string SaveProject(const std::string& file, const std::string& name,
                            const std::vector<std::string>& deps = {}, bool places = true) {
        THL_HalvoraProject p;
        p.FileName = file;
        p.SetName(name);
        p.SetRootDir("D:\\Work");
        if (places) p.SavePlaces().Add("D:\\Arc");
        for (const auto& d : deps) p.Projects().Add(d);
        p.ArcType = 2;  // ARJ
        p.SetArcName(name + ".ARJ");
        p.SaveToFile();
        return p.GetFileName();
    }

    // The messages of one kind of box, in order.
    std::vector<std::string> Shown(const std::string& function) const {
        std::vector<std::string> out;
        for (const auto& r : responder_.RequestsOf(function)) out.push_back(r.message);
        return out;
    }

    ScriptedResponder responder_;

  private:
    std::optional<CurrentDirGuard> cwd_;
};

}  // namespace hv::test
