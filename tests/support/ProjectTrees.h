// Temporary trees for projects and runs. ProjectTree: D:\Projects is the
// projects directory. RunTree: besides, the run files go to a private
// temporary directory inside the tree. ProgramTree: D:\Prog is the program
// directory, with its projects directory.
#pragma once

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

class ProjectTree : public TempTree {
  protected:
    void SetUp() override {
        TempTree::SetUp();
        savedProjectsDir_ = workdirs::ProjectsDir();
        CreateDir("d/Projects");
        workdirs::SetProjectsDir("D:\\Projects\\");
    }
    void TearDown() override {
        workdirs::SetProjectsDir(savedProjectsDir_);
        TempTree::TearDown();
    }

    // A test data file of tests/project/data, as bytes.
    static std::string DataFile(const std::string& name) {
        return ReadPosixFile(std::string(HALVORA_SOURCE_DIR) + "/tests/project/data/" + name);
    }
    // Writes bytes to a Windows path on the test drives.
    void Put(const std::string& winPath, const std::string& bytes) {
        std::string p = Posix(winPath);
        CreateDir(p.substr(Root().size() + 1, p.rfind('/') - Root().size() - 1));
        WritePosixFile(p, bytes);
    }
    std::string Get(const std::string& winPath) const { return ReadPosixFile(Posix(winPath)); }

    ScriptedResponder responder_;

  private:
    std::string savedProjectsDir_;
};

// Every line ended by CR LF.
inline std::string CrLf(const std::vector<std::string>& lines) {
    std::string out;
    for (const auto& l : lines) out += l + "\r\n";
    return out;
}

class RunTree : public ProjectTree {
  protected:
    void SetUp() override {
        ProjectTree::SetUp();
        tmp_.emplace("TMPDIR", CreateDir("d/tmp"));
        savedDebug_ = workdirs::DebugMode();
        workdirs::SetDebugMode(false);
    }
    void TearDown() override {
        THL_HalvoraProject::RunMessagePump = nullptr;
        workdirs::SetDebugMode(savedDebug_);
        tmp_.reset();
        ProjectTree::TearDown();
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

    std::vector<std::string> warnings_;

  private:
    std::optional<EnvGuard> tmp_;
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
    // Saves a project over D:\Work, archive NAME.ARJ in D:\Arc, depending on
    // Deps; returns its full file name.
    std::string SaveProject(const std::string& file, const std::string& name,
                            const std::vector<std::string>& deps = {}) {
        THL_HalvoraProject p;
        p.FileName = file;
        p.SetName(name);
        p.SetRootDir("D:\\Work");
        p.SavePlaces().Add("D:\\Arc");
        for (const auto& d : deps) p.Projects().Add(d);
        p.ArcType = 2;  // ARJ
        p.SetArcName(name + ".ARJ");
        p.SaveToFile();
        return p.GetFileName();
    }

    ScriptedResponder responder_;

  private:
    std::optional<CurrentDirGuard> cwd_;
};

}  // namespace hv::test
