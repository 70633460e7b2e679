// Typed INI sections: a table of variable descriptors written to or restored
// from one section in one call; string lists stored as Count, Index, S0, S1...;
// the settings file and its "Configuration" section; the drive map.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <vector>
#include <string_view>
#include <variant>

#include "platform/Platform.h"
#include "settings/IniFile.h"
#include "util/StringList.h"
#include "util/Variant.h"

namespace hv {

// ---- write switch ---------------------------------------------------------------
// False until start-up has finished; while false, SaveIniSection and
// WriteIniValue write nothing (string lists are not affected).
bool SaveEnabled();
void SetSaveEnabled(bool value);

// ---- descriptors -------------------------------------------------------------------
// The program variable a descriptor refers to.
using TIniRef = std::variant<bool*, int32_t*, double*, std::string*>;

// One entry of a descriptor table. Kind: B boolean (bool*), C/S text
// (std::string*), D date-time (double*), I integer (int32_t*), N floating
// point (double*).
struct TIniVar {
    std::string_view name;  // the INI key, at most 20 characters
    char kind;
    TIniRef ref;
};

// Erases Section and writes every variable in table order (nothing while
// SaveEnabled is false). A failing entry is shown and skipped.
void SaveIniSection(TIniFile& ini, const std::string& section, std::span<const TIniVar> vars);
// Restores every variable; absent keys and failing entries keep their value
// (failures are shown).
void RestIniSection(TIniFile& ini, const std::string& section, std::span<const TIniVar> vars);
// The same on SettingsIni().
void SaveSection(const std::string& section, std::span<const TIniVar> vars);
void RestSection(const std::string& section, std::span<const TIniVar> vars);

// Writes one value by its type (nothing while SaveEnabled is false): boolean
// 0/1, integers decimal, single/double/currency as quoted decimal text, date as
// YYYYMMDD, text quoted. Other types raise EConvertError
// "Неизвестный тип переменной: " + Key.
void WriteIniValue(TIniFile& ini, const std::string& section, const std::string& key,
                   const TVarValue& value);
// The stored value by Kind (B, D, I, C/S, N; upper case or lower), or Default.
// Another Kind raises EConvertError "Неизвестный тип переменной: " + Key; an
// N value that does not convert raises EConvertError.
TVarValue ReadIniValue(const TIniFile& ini, const std::string& section, const std::string& key,
                       const TVarValue& def, char kind);

// ---- string-list sections ------------------------------------------------------------
// Erases Section, then Count, Index and the strings quoted as S0, S1, ...
void SaveIniStrings(TIniFile& ini, const std::string& section, const TStringList& strings,
                    int index);
// Replaces the list's content from Section and returns Index through the
// argument. The count is bounded by the keys the section holds. A null list
// raises Exception "RestIniStrings".
void RestIniStrings(const TIniFile& ini, const std::string& section, TStringList* strings,
                    int& index);

// ---- the settings file ---------------------------------------------------------------
// ProgramDir + ProgramStem + ".ini".
std::string SettingsIniName();
// The shared document of the settings file, created on first use. Changes go
// to disk at once (in one write per update bracket); every call first re-reads
// the file when it changed on disk. A settings file that exists but cannot be
// read is reported once and then never overwritten.
TIniFile& SettingsIni();
// Writes and drops the shared document (program end; tests).
void CloseSettingsIni();

// ---- the Configuration section -----------------------------------------------------------
struct TConfiguration {
    int32_t Version = 0;
    TDateTime LastDate = 0;
    int32_t ScaleBy = 0;
    int32_t MainPrjCount = 0;
    int32_t MainArcIndex = 0;
    int32_t MainPrjIndex = 0;
    bool MainLvViewList = false;
    bool MainCopyToNet = false;
    int32_t SP_aSortBy = 0;
    int32_t SP_fSortBy = 0;
    bool SP_aSortInclude = false;
    bool SP_aSortAscend = false;
    bool SP_fSortAscend = false;
    std::string Password;
    bool PassCheck = true;
};
constexpr int kConfigurationEntries = 15;

// The global settings record.
TConfiguration& Configuration();
// Start-up defaults: LastDate today, Password empty, MainCopyToNet false, the rest as declared.
void ResetConfiguration();
// The descriptor table of a record, in the order of the section.
std::array<TIniVar, kConfigurationEntries> ConfigurationTable(TConfiguration& cfg);
// "Configuration" of SettingsIni() from/into the global record; saving does
// nothing while SaveEnabled is false.
void SaveConfiguration();
void RestConfiguration();

// ---- drive map ----------------------------------------------------------------------
// The section "Drives" (keys A..Z, quoted POSIX paths in 1251). Lines that are
// no drive letter or no absolute path are left out, each described in
// Problems; C is "/" unless the section maps C.
DriveMap ReadDriveMap(const TIniFile& ini, std::vector<std::string>* problems = nullptr);
// Reads the map from the settings file and installs it. The working
// directories are re-expressed under the new map; a map under which the
// program directory has no drive path is refused (false, old map kept).
// What cannot be used is reported in one message.
bool LoadDriveMap();

}  // namespace hv
