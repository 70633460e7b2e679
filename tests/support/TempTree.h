// Shared fixture: a private temporary tree with a test drive map.
//   D: -> <tmp>/d     the working drive
//   A: -> <tmp>/a     stands for a diskette (a stand-in for a mounted medium)
//   C: -> /           as on every machine
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "platform/Platform.h"

namespace hv::test {

class TempTree : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;

    // POSIX root of the tree.
    const std::string& Root() const { return root_; }
    // POSIX path of a Windows path under D: or A: ("D:\x\y" -> <tmp>/d/x/y); UTF-8.
    std::string Posix(const std::string& winPath) const;
    // Creates a file (parents included) given by a UTF-8 POSIX path relative to the root
    // ("d/Work/a.txt"); returns the absolute POSIX path.
    std::string CreateFile(const std::string& rel, const std::string& content = {});
    std::string CreateDir(const std::string& rel);
    std::string ReadFile(const std::string& posixPath) const;
    bool Exists(const std::string& posixPath) const;
    // The names in a directory below the root, sorted.
    std::vector<std::string> Entries(const std::string& rel) const;
    // Dates a file (POSIX path) in 2020, before any archive a test makes.
    void SetOld(const std::string& posixPath) const;

  private:
    std::string root_;
    DriveMap savedMap_;
};

// Sets an environment variable until the end of its scope.
class EnvGuard {
  public:
    EnvGuard(const char* name, const std::string& value) : name_(name) {
        if (const char* v = std::getenv(name)) old_ = v;
        setenv(name, value.c_str(), 1);
    }
    ~EnvGuard() { old_ ? setenv(name_, old_->c_str(), 1) : unsetenv(name_); }
    EnvGuard(const EnvGuard&) = delete;
    EnvGuard& operator=(const EnvGuard&) = delete;

  private:
    const char* name_;
    std::optional<std::string> old_;
};

// Reads a whole POSIX file; empty when missing.
std::string ReadPosixFile(const std::string& path);
void WritePosixFile(const std::string& path, const std::string& content);

}  // namespace hv::test
