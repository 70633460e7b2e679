// What the sources of the project editor share inside the editor.
#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "editor/BrowserView.h"
#include "editor/SetPrj.h"

namespace hv {

// Raises the editor's Loading counter for a block: changes made meanwhile are
// the window's own, not the user's.
class TLoading {
  public:
    explicit TLoading(int& counter) : n_(counter) { ++n_; }
    ~TLoading() { --n_; }
    TLoading(const TLoading&) = delete;
    TLoading& operator=(const TLoading&) = delete;

  private:
    int& n_;
};

// A directory as the file functions take it: a drive root ("D:") gets its backslash.
inline std::string DirPath(const std::string& dir) {
    return dir.size() == 2 && dir[1] == ':' ? dir + "\\" : dir;
}

// The running found-files scan.
struct TFormSetProject::ScanState {
    std::vector<TFoundRow> pending;  // rows not yet in the model
    int64_t met = 0;                 // files met so far, taken or not
    int64_t takenCount = 0, takenSize = 0;
    int64_t leftCount = 0, leftSize = 0;
    // Files by their Linux path: a file left out by one walk may be taken by another.
    std::unordered_set<std::string> taken;
    std::unordered_map<std::string, int64_t> left;
    int64_t leftMetSize = 0;    // sizes of Left, for the counts shown while the scan runs
    bool windowLocked = false;  // the data area is disabled while the scan pumps events
};

}  // namespace hv
