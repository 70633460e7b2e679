// The user's catalogue of projects: entries referring to project files, kept
// in the settings file.
#pragma once

#include <string>

#include "util/TypeList.h"
#include "util/Variant.h"

namespace hv {

class TIniFile;
class THL_HalvoraProject;
class THL_ArcList;

class T_Prj : public TObject {
public:
    bool Checked = false;
    std::string Name;         // the project's name, or why its file could not be read
    std::string FileName;     // full path of the project file
    std::string ArchiveName;  // full path of its archive
    bool Valid = false;
    bool MarkedForRefresh = false;
    TDateTime ExecDate = 0;
    TDateTime SaveDate = 0;

    // Taking part in "all checked": checked and readable.
    bool IsChecked() const { return Valid && Checked; }
    void SetFromProject(THL_HalvoraProject& project);
    // Reads the entry's facts from a project file; false (with the reason as
    // Name) when it is missing or not a project file.
    bool LoadFromFile(const std::string& path);
};

class T_PrjList : public T_zqOwnerList {
public:
    ~T_PrjList() override { Clear(); }
    virtual T_Prj* Items(int index) const { return static_cast<T_Prj*>(Get(index)); }
    virtual void SetItem(int index, T_Prj* item) { Put(index, item); }
    virtual T_Prj* NewItem();
    virtual int AddPrj(T_Prj* item) { return AddObject(item); }
    virtual void Delete(int index) { DeleteObject(index); }
};

// Loads the list from the settings file (MainPrjCount entries "PrjInfo"i,
// relative "File" values resolved against ProjectsDir) and then the archiver
// settings. The current directory is restored.
void LoadProjectList(TIniFile& ini, T_PrjList& list, THL_ArcList* arcList);
// Saves the list with the selection indexes and then the archiver settings.
void SaveProjectList(TIniFile& ini, const T_PrjList& list, const THL_ArcList* arcList,
                     int prjIndex, int arcIndex);
// Compares Entry with every other entry; shows what coincides; false when a
// project file or an archive file is shared.
bool CheckDuplicates(const T_PrjList& list, const T_Prj& entry);

}  // namespace hv
