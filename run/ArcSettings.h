// Settings of the external archivers: one record per archiver with its
// command templates, kept in the settings file.
#pragma once

#include <cstdint>
#include <string>

#include "util/TypeList.h"

namespace hv {

class TIniFile;

enum : uint8_t { kArcNone = 0, kArcInternal = 1, kArcArj = 2, kArcZip = 3, kArcRar = 4 };

// Section of an archiver's record: "ARJSect", "ZIPSect", "RARSect";
// any other type raises "Неизвестный тип архива".
std::string SectionName(int arcType);

class THL_ArcBase : public TObject {
public:
    std::string ArcSE;  // makes a self-extracting archive
    std::string Arc;    // makes or updates a normal archive
    std::string DeArc;  // unpacks (stored and edited only)
    uint8_t ArcType = 0;
    uint8_t TipDos = 1;  // 1: a DOS program (stored and edited only)
    std::string ArcNC;   // the modifier for storing without compression

    // Reads the record; a section without "ArcSE" gives the built-in defaults of ArcType.
    void ReadFromIni(const TIniFile& ini, const std::string& section);
    void WriteToIni(TIniFile& ini, const std::string& section) const;
    // The built-in defaults of ArcType (nothing for a type outside 2..4).
    void SetDefaults();
};

class THL_ArcList : public T_zqOwnerList {
public:
    // Appends the records of ArcType 2, 3 and 4 read from Prefix + SectionName.
    void ReadAll(const TIniFile& ini, const std::string& prefix);
    // Rewrites those sections; a type without a record is skipped.
    void WriteAll(TIniFile& ini, const std::string& prefix) const;
    THL_ArcBase* FindByType(int arcType) const;
    THL_ArcBase* Items(int index) const { return static_cast<THL_ArcBase*>(Get(index)); }
};

}  // namespace hv
