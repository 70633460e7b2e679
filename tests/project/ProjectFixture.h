// A temporary tree with the projects directory on D: and helpers for reading
// project files byte for byte.
#pragma once

#include <functional>
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

}  // namespace hv::test
