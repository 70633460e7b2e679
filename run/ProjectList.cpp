#include "run/ProjectList.h"

#include <algorithm>

#include "dialogs/Messages.h"
#include "platform/AnsiLiteral.h"
#include "platform/CodePage.h"
#include "platform/Platform.h"
#include "project/HLObject.h"
#include "run/ArcSettings.h"
#include "settings/IniFile.h"
#include "settings/IniSections.h"
#include "settings/WorkDirs.h"

namespace hv {

namespace {

TDateTime DateOfStamp(int32_t stamp) {
    DosDateTime t = DecodeDosDateTime(stamp);
    TDateTime d = 0;
    if (!TryEncodeDate(t.year, t.month, t.day, d)) return 0;
    return d + EncodeTime(t.hour, t.minute, t.second);
}

}  // namespace

void T_Prj::SetFromProject(THL_HalvoraProject& project) {
    Name = project.Name();
    FileName = project.GetFileName();
    Valid = true;
    // Without storage places, or with an archiver the name cannot be made for,
    // a project has no archive name yet; the run says why when its turn comes.
    ArchiveName.clear();
    if (project.SavePlaces().Count()) {
        try {
            ArchiveName = project.GetArcFileName();
        } catch (const Exception&) {
        }
    }
    int32_t age = ArchiveName.empty() ? -1 : FileAge(ArchiveName);
    ExecDate = age == -1 ? 0 : DateOfStamp(age);
    SaveDate = 0;
}

bool T_Prj::LoadFromFile(const std::string& path) {
    FileName = path;
    ArchiveName.clear();
    Valid = false;
    if (!FileExists(path)) {
        Name = "Файл не найден: "_a + path;
        return false;
    }
    auto project = std::make_unique<THL_HalvoraProject>();
    project->FileName = path;
    try {
        if (!project->IsProjectFile()) {
            Name = "Формат неизвестен: "_a + path;
            return false;
        }
        project->LoadFromFile();
        SetFromProject(*project);
    } catch (const Exception& e) {
        // Unreadable settings in an otherwise recognised file: the entry stays, not valid.
        Name = "Формат неизвестен: "_a + path;
        Valid = false;
        return false;
    }
    return true;
}

T_Prj* T_PrjList::NewItem() {
    auto* item = new T_Prj;
    AddObject(item);
    return item;
}

void LoadProjectList(TIniFile& ini, T_PrjList& list, THL_ArcList* arcList) {
    CurrentDirGuard guard;
    list.Clear();
    int count = ini.ReadInteger("Configuration", "MainPrjCount", 0);
    // A damaged count never makes more entries than the file has sections.
    count = std::clamp(count, 0, static_cast<int>(ini.SectionNames().size()));
    for (int i = 0; i < count; ++i) {
        T_Prj* p = list.NewItem();
        const std::string section = "PrjInfo" + std::to_string(i);
        SetCurrentDir(workdirs::ProjectsDir());
        std::string file = ini.ReadUnquoted(section, "File", "");
        if (!file.empty()) file = ExpandFileName(file);
        p->LoadFromFile(file);
        p->Checked = ini.ReadBool(section, "Checked", false);
        p->SaveDate = ini.ReadDate(section, "Save", 0);
        p->ExecDate = ini.ReadDate(section, "Exec", p->ExecDate);
    }
    if (arcList) arcList->ReadAll(ini, "");
}

void SaveProjectList(TIniFile& ini, const T_PrjList& list, const THL_ArcList* arcList,
                     int prjIndex, int arcIndex) {
    ini.BeginUpdate();
    try {
        ini.EraseSection("ProjectList");
        ini.WriteInteger("Configuration", "MainPrjCount", list.GetCount());
        ini.WriteInteger("Configuration", "MainPrjIndex", prjIndex);
        ini.WriteInteger("Configuration", "MainArcIndex", arcIndex);
        Configuration().MainPrjCount = list.GetCount();
        Configuration().MainPrjIndex = prjIndex;
        Configuration().MainArcIndex = arcIndex;
        const std::string projects = workdirs::ProjectsDir();
        for (int i = 0; i < list.GetCount(); ++i) {
            const T_Prj& p = *list.Items(i);
            const std::string section = "PrjInfo" + std::to_string(i);
            ini.EraseSection(section);
            ini.WriteBool(section, "Checked", p.Checked);
            std::string file = p.FileName;
            if (!projects.empty() && file.size() > projects.size() &&
                SameText(file.substr(0, projects.size()), projects))
                file = file.substr(projects.size());
            ini.WriteQuoted(section, "File", file);
            ini.WriteDate(section, "Exec", p.ExecDate);
            ini.WriteDate(section, "Save", p.SaveDate);
        }
        if (arcList) arcList->WriteAll(ini, "");
    } catch (...) {
        ini.EndUpdate();
        throw;
    }
    ini.EndUpdate();
}

bool CheckDuplicates(const T_PrjList& list, const T_Prj& entry) {
    bool result = true;
    for (int i = 0; i < list.GetCount(); ++i) {
        const T_Prj* other = list.Items(i);
        if (!other || other == &entry) continue;
        std::string lines;
        if (SameText(other->Name, entry.Name)) lines += "Совпадают имена проектов"_a + std::string("\r\n");
        if (SameText(other->FileName, entry.FileName)) {
            lines += "Совпадают имена файлов проектов"_a + std::string("\r\n");
            result = false;
        }
        // An entry without an archive name (no storage place, not readable) clashes with nobody.
        if (!entry.ArchiveName.empty() && SameText(other->ArchiveName, entry.ArchiveName)) {
            lines += "Совпадают имена файлов архивов проектов"_a + std::string("\r\n");
            result = false;
        }
        if (!lines.empty()) ShowError(lines + "|" + other->Name + "\r\n" + entry.Name);
    }
    return result;
}

}  // namespace hv
