#include "settings/IniSections.h"

#include <algorithm>
#include <memory>

#include "dialogs/Messages.h"
#include "platform/AnsiLiteral.h"
#include "platform/CodePage.h"
#include "settings/WorkDirs.h"
#include "util/Exception.h"
#include "util/FileUtils.h"
#include "util/StrUtils.h"

namespace hv {

namespace {

bool gSaveEnabled = false;

template <class T>
T& Var(const TIniVar& v) {
    T* const* p = std::get_if<T*>(&v.ref);
    if (!p || !*p)
        throw EConvertError("Тип переменной не соответствует виду ["_a + std::string(1, v.kind) +
                            "]: " + std::string(v.name));
    return **p;
}

std::string Quoted(std::string_view name) {
    return "\"" + std::string(name) + "\"";
}

// Closes an update bracket opened before an operation that may throw.
template <class F>
void InUpdate(TIniFile& ini, F&& body) {
    ini.BeginUpdate();
    try {
        body();
    } catch (...) {
        try {
            ini.EndUpdate();
        } catch (...) {
        }
        throw;
    }
    ini.EndUpdate();
}

}  // namespace

bool SaveEnabled() {
    return gSaveEnabled;
}
void SetSaveEnabled(bool value) {
    gSaveEnabled = value;
}

// ---- single values -------------------------------------------------------------------

void WriteIniValue(TIniFile& ini, const std::string& section, const std::string& key,
                   const TVarValue& value) {
    if (!gSaveEnabled) return;
    switch (value.Type()) {
        case TVarType::Boolean:
            ini.WriteBool(section, key, value.AsBoolean());
            break;
        case TVarType::Int8:
        case TVarType::Int16:
        case TVarType::Int32:
            ini.WriteInteger(section, key, value.AsInteger());
            break;
        case TVarType::Single:
        case TVarType::Double:
        case TVarType::Currency:
            ini.WriteFloat(section, key, value.AsDouble());
            break;
        case TVarType::Date:
            ini.WriteDate(section, key, value.AsDate());
            break;
        case TVarType::Text:
            ini.WriteQuoted(section, key, value.AsText());
            break;
        default:
            throw EConvertError("Неизвестный тип переменной: "_a + key);
    }
}

TVarValue ReadIniValue(const TIniFile& ini, const std::string& section, const std::string& key,
                       const TVarValue& def, char kind) {
    switch (AnsiUpperChar(kind)) {
        case 'B':
            return TVarValue::Boolean(ini.ReadBool(section, key, def.AsBoolean()));
        case 'D':
            return TVarValue::Date(ini.ReadDate(section, key, def.AsDate()));
        case 'I':
            return TVarValue::Int32(ini.ReadInteger(section, key, def.AsInteger()));
        case 'C':
        case 'S': {
            std::string v = ini.ReadUnquoted(section, key, {});
            return v.empty() ? def : TVarValue::Text(v);
        }
        case 'N': {
            std::string v = ini.ReadUnquoted(section, key, {});
            if (v.empty()) return def;
            double d;
            if (!ParseIniFloat(v, d))
                throw EConvertError("'" + v + "' is not a valid floating point value");
            return TVarValue::Double(d);
        }
        default:
            throw EConvertError("Неизвестный тип переменной: "_a + key);
    }
}

// ---- typed sections ----------------------------------------------------------------

void SaveIniSection(TIniFile& ini, const std::string& section, std::span<const TIniVar> vars) {
    if (!gSaveEnabled) return;
    try {
        InUpdate(ini, [&] {
            ini.EraseSection(section);
            for (const TIniVar& v : vars) {
                const std::string name(v.name);
                try {
                    TVarValue value;
                    switch (AnsiUpperChar(v.kind)) {
                        case 'B':
                            value = TVarValue::Boolean(Var<bool>(v));
                            break;
                        case 'C':
                        case 'S':
                            value = TVarValue::Text(Var<std::string>(v));
                            break;
                        case 'D':
                            value = TVarValue::Date(Var<double>(v));
                            break;
                        case 'I':
                            value = TVarValue::Int32(Var<int32_t>(v));
                            break;
                        case 'N':
                            value = TVarValue::Double(Var<double>(v));
                            break;
                        default:
                            ShowError("SaveIniSection: |Неизвестный тип ["_a +
                                      std::string(1, v.kind) + "]\r\n" + " переменной "_a +
                                      Quoted(name));
                            continue;
                    }
                    WriteIniValue(ini, section, name, value);
                } catch (const EAbort&) {
                    throw;
                } catch (const std::exception&) {
                    ShowError("SaveIniSection: " + ini.FileName() +
                              "|Ошибка при сохранении переменной"_a + "\r\n[" +
                              std::string(1, v.kind) + "] " + Quoted(name));
                }
            }
        });
    } catch (const EFCreateError& e) {
        // Writing the file back failed; the old file is intact and the changes stay pending.
        ShowError(e.what());
    }
}

void RestIniSection(TIniFile& ini, const std::string& section, std::span<const TIniVar> vars) {
    for (const TIniVar& v : vars) {
        const std::string name(v.name);
        try {
            const char kind = AnsiUpperChar(v.kind);
            switch (kind) {
                case 'B':
                    Var<bool>(v) =
                        ReadIniValue(ini, section, name, TVarValue::Boolean(Var<bool>(v)), kind)
                            .AsBoolean();
                    break;
                case 'C':
                case 'S':
                    Var<std::string>(v) =
                        ReadIniValue(ini, section, name, TVarValue::Text(Var<std::string>(v)), kind)
                            .AsText();
                    break;
                case 'D':
                    Var<double>(v) =
                        ReadIniValue(ini, section, name, TVarValue::Date(Var<double>(v)), kind)
                            .AsDate();
                    break;
                case 'I':
                    Var<int32_t>(v) =
                        ReadIniValue(ini, section, name, TVarValue::Int32(Var<int32_t>(v)), kind)
                            .AsInteger();
                    break;
                case 'N':
                    Var<double>(v) =
                        ReadIniValue(ini, section, name, TVarValue::Double(Var<double>(v)), kind)
                            .AsDouble();
                    break;
                default:
                    ShowError(
                        ("RestIniSection: Неизвестный тип переменной "_a + name).substr(0, 63));
                    break;
            }
        } catch (const EAbort&) {
            throw;
        } catch (const std::exception&) {
            ShowError("RestIniSection: " + ini.FileName() +
                      "|Ошибка при инициализации переменной"_a + "\r\n[" + std::string(1, v.kind) +
                      "] " + Quoted(name));
        }
    }
}

void SaveSection(const std::string& section, std::span<const TIniVar> vars) {
    SaveIniSection(SettingsIni(), section, vars);
}

void RestSection(const std::string& section, std::span<const TIniVar> vars) {
    RestIniSection(SettingsIni(), section, vars);
}

// ---- string lists --------------------------------------------------------------------

void SaveIniStrings(TIniFile& ini, const std::string& section, const TStringList& strings,
                    int index) {
    InUpdate(ini, [&] {
        ini.EraseSection(section);
        ini.WriteInteger(section, "Count", strings.Count());
        ini.WriteInteger(section, "Index", index);
        for (int i = 0; i < strings.Count(); ++i)
            ini.WriteQuoted(section, "S" + std::to_string(i), strings[i]);
    });
}

void RestIniStrings(const TIniFile& ini, const std::string& section, TStringList* strings,
                    int& index) {
    if (!strings) throw Exception("RestIniStrings");
    strings->BeginUpdate();
    try {
        strings->Clear();
        int n = ini.ReadInteger(section, "Count", 0);
        index = ini.ReadInteger(section, "Index", 0);
        // A corrupt count must not make us append millions of empty strings.
        n = std::clamp(n, 0, ini.KeyCount(section));
        for (int i = 0; i < n; ++i)
            strings->Add(ini.ReadUnquoted(section, "S" + std::to_string(i), {}));
    } catch (...) {
        strings->EndUpdate();
        throw;
    }
    strings->EndUpdate();
}

// ---- the settings file ---------------------------------------------------------------

namespace {

struct SettingsHolder {
    std::unique_ptr<TIniFile> ini;
    std::string failedName;  // a settings file that could not be read, reported once
};

SettingsHolder& Holder() {
    static SettingsHolder h;
    return h;
}

}  // namespace

std::string SettingsIniName() {
    return workdirs::ProgramDir() + workdirs::ProgramStem() + ".ini";
}

TIniFile& SettingsIni() {
    SettingsHolder& h = Holder();
    const std::string name = SettingsIniName();
    if (h.ini && (SameText(h.ini->FileName(), name) ||
                  (h.ini->FileName().empty() && h.failedName == name))) {
        try {
            h.ini->Refresh();
        } catch (const std::exception& e) {
            // Unreadable now: keep what we have and never write over the file.
            h.ini->SetWriteBack(TIniWriteBack::Never);
            ShowError(e.what());
        }
        return *h.ini;
    }
    CloseSettingsIni();
    try {
        h.ini = std::make_unique<TIniFile>(name, TIniWriteBack::Immediate);
        h.failedName.clear();
    } catch (const std::exception& e) {
        h.ini = TIniFile::FromText({});
        h.failedName = name;
        ShowError(e.what());
    }
    return *h.ini;
}

void CloseSettingsIni() {
    SettingsHolder& h = Holder();
    if (!h.ini) return;
    try {
        h.ini->Close();
    } catch (const std::exception& e) {
        ShowError(e.what());
    }
    // The document is dropped either way; its destructor must not try again.
    h.ini->SetWriteBack(TIniWriteBack::Never);
    h.ini.reset();
}

// ---- Configuration -------------------------------------------------------------------

TConfiguration& Configuration() {
    static TConfiguration cfg;
    return cfg;
}

void ResetConfiguration() {
    Configuration() = TConfiguration{};
    Configuration().LastDate = Today();
}

std::array<TIniVar, kConfigurationEntries> ConfigurationTable(TConfiguration& c) {
    return {{
        {"Version", 'I', &c.Version},
        {"LastDate", 'D', &c.LastDate},
        {"ScaleBy", 'I', &c.ScaleBy},
        {"MainPrjCount", 'I', &c.MainPrjCount},
        {"MainArcIndex", 'I', &c.MainArcIndex},
        {"MainPrjIndex", 'I', &c.MainPrjIndex},
        {"MainLvViewList", 'B', &c.MainLvViewList},
        {"MainCopyToNet", 'B', &c.MainCopyToNet},
        {"SP_aSortBy", 'I', &c.SP_aSortBy},
        {"SP_fSortBy", 'I', &c.SP_fSortBy},
        {"SP_aSortInclude", 'B', &c.SP_aSortInclude},
        {"SP_aSortAscend", 'B', &c.SP_aSortAscend},
        {"SP_fSortAscend", 'B', &c.SP_fSortAscend},
        {"Password", 'C', &c.Password},
        {"PassCheck", 'B', &c.PassCheck},
    }};
}

void SaveConfiguration() {
    if (!gSaveEnabled) return;
    auto table = ConfigurationTable(Configuration());
    SaveSection("Configuration", table);
}

void RestConfiguration() {
    auto table = ConfigurationTable(Configuration());
    RestSection("Configuration", table);
}

// ---- drive map -----------------------------------------------------------------------

DriveMap ReadDriveMap(const TIniFile& ini, std::vector<std::string>* problems) {
    DriveMap map;
    auto problem = [problems](const std::string& text) {
        if (problems) problems->push_back(text);
    };
    for (const std::string& key : ini.KeyNames("Drives")) {
        const char letter = key.size() == 1 ? AnsiUpperChar(key[0]) : 0;
        if (letter < 'A' || letter > 'Z') {
            problem("\"" + key + "\" - не буква диска"_a);
            continue;
        }
        const std::string raw = ini.ReadUnquoted("Drives", key, {});
        std::string path = AnsiToUtf8(raw);
        if (path.empty() || path[0] != '/') {
            problem(std::string(1, letter) + ": \"" + raw + "\" - не абсолютный путь Linux"_a);
            continue;
        }
        while (path.size() > 1 && path.back() == '/') path.pop_back();
        map[letter] = path;
    }
    // C: is the whole file system unless the section says otherwise: a map of
    // other letters only must not take the program's own directory away.
    if (!map.count('C')) map['C'] = "/";
    return map;
}

bool LoadDriveMap() {
    std::vector<std::string> problems;
    DriveMap map = ReadDriveMap(SettingsIni(), &problems);
    auto report = [&problems] {
        if (problems.empty()) return;
        std::string text;
        for (const std::string& p : problems) text += p + "\r\n";
        ShowError("Раздел [Drives] файла настроек|"_a + text);
    };
    DriveMap old = GetDriveMap();
    if (map == old) {
        report();
        return true;
    }

    // The working directories are Windows paths: find where they lie now and
    // what they are called under the new map.
    struct Dir {
        std::string win;
        std::optional<std::string> posix;
    };
    Dir dirs[4] = {{workdirs::ProgramDir(), {}},
                   {workdirs::TmpDir(), {}},
                   {workdirs::ProjectsDir(), {}},
                   {workdirs::SaveDir(), {}}};
    for (Dir& d : dirs)
        if (!d.win.empty()) d.posix = ToPosixPath(d.win);

    // Pending settings belong to the file under the old names.
    CloseSettingsIni();
    SetDriveMap(map);
    std::string renamed[4];
    for (int i = 0; i < 4; ++i) {
        if (!dirs[i].posix) {
            renamed[i] = dirs[i].win;
            continue;
        }
        auto w = ToWindowsPath(*dirs[i].posix);
        if (!w) {
            SetDriveMap(old);
            problems.push_back("каталог программы "_a + Utf8ToAnsi(*dirs[i].posix) +
                               " не лежит ни на одном диске: карта дисков не применена"_a);
            report();
            return false;
        }
        renamed[i] = AddBackslash(*w);
    }
    if (!dirs[0].win.empty()) {
        workdirs::SetProgramDir(renamed[0]);
        workdirs::SetTmpDir(renamed[1]);
        workdirs::SetProjectsDir(renamed[2]);
        workdirs::SetSaveDir(renamed[3]);
    }
    report();
    return true;
}

}  // namespace hv
