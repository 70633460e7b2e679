// TDelphiProject: lists the source files of a Delphi program. Starting from a
// project (.dpr) or unit (.pas) it reads the uses clauses, follows the
// "in '...'" names, finds bare unit names in the search directories and does
// the same for every unit found. A line reader, not a compiler: it strips
// braced and // comments and stops reading a unit at its first routine after
// "implementation".
#pragma once

#include <string>

#include "util/Object.h"
#include "util/StringList.h"

namespace hv {

class TDelphiProject : public TObject {
  public:
    TDelphiProject() = default;
    ~TDelphiProject() override = default;

    void SetSearchDirs(const TStringList& list);
    // Resolves Name to an existing file: as given; a bare name in the search
    // directories in order; a name with a directory part expanded to an absolute path.
    bool FindUnitFile(std::string& name) const;
    // The file names one source file uses, into Out; false (Out untouched) when
    // the file is not found. An "in" name that is not quoted raises
    // Exception "error in 'in'".
    bool ParseUnit(const std::string& fileName, TStringList& out);
    // The whole closure from ProjectFile, into Out: header lines and file
    // names, the object of an entry set to this collector when it is a header
    // or a file that was read.
    void Collect(const std::string& projectFile, TStringList& out);

    const TStringList& Files() const { return files_; }
    const TStringList& SearchDirs() const { return searchDirs_; }
    // Whether a result entry is a header line or a file that was read.
    bool IsMarked(const TStringList& list, int index) const { return list.Objects(index) == this; }

  private:
    TStringList files_;
    TStringList searchDirs_;
};

}  // namespace hv
