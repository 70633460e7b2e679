#include "support/TempTree.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace fs = std::filesystem;

namespace hv::test {

void TempTree::SetUp() {
    std::string tmpl = (fs::temp_directory_path() / "hvtest-XXXXXX").string();
    char* made = mkdtemp(tmpl.data());
    ASSERT_NE(made, nullptr);
    root_ = made;
    fs::create_directories(root_ + "/d");
    fs::create_directories(root_ + "/a");
    savedMap_ = GetDriveMap();
    SetDriveMap({{'C', "/"}, {'D', root_ + "/d"}, {'A', root_ + "/a"}});
    SetStandInMedia({root_ + "/a"});
}

void TempTree::TearDown() {
    SetDriveMap(savedMap_);
    SetStandInMedia({});
    std::error_code ec;
    // Read-only files and directories would stop remove_all.
    for (auto it = fs::recursive_directory_iterator(root_, ec);
         !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
        if (!it->is_symlink())
            fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
    }
    fs::remove_all(root_, ec);
}

std::string TempTree::Posix(const std::string& winPath) const {
    auto p = ToPosixPath(winPath);
    return p ? *p : std::string();
}

std::string TempTree::CreateFile(const std::string& rel, const std::string& content) {
    fs::path p = fs::path(root_) / rel;
    fs::create_directories(p.parent_path());
    WritePosixFile(p.string(), content);
    return p.string();
}

std::string TempTree::CreateDir(const std::string& rel) {
    fs::path p = fs::path(root_) / rel;
    fs::create_directories(p);
    return p.string();
}

std::string TempTree::ReadFile(const std::string& posixPath) const {
    return ReadPosixFile(posixPath);
}

bool TempTree::Exists(const std::string& posixPath) const {
    struct stat st;
    return lstat(posixPath.c_str(), &st) == 0;
}

std::vector<std::string> TempTree::Entries(const std::string& rel) const {
    std::vector<std::string> out;
    for (const auto& e : fs::directory_iterator(fs::path(root_) / rel))
        out.push_back(e.path().filename());
    std::sort(out.begin(), out.end());
    return out;
}

void TempTree::SetOld(const std::string& posixPath) const {
    const auto w = ToWindowsPath(posixPath);
    ASSERT_TRUE(w && SetFileDate(*w, EncodeDosDateTime({2020, 5, 17, 10, 30, 0}))) << posixPath;
}

std::string ReadPosixFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void WritePosixFile(const std::string& path, const std::string& content) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(content.data(), static_cast<std::streamsize>(content.size()));
}

}  // namespace hv::test
