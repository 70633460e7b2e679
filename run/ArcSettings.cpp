#include "run/ArcSettings.h"

#include "platform/AnsiLiteral.h"
#include "settings/IniFile.h"
#include "util/Exception.h"

namespace hv {

namespace {

struct Defaults {
    uint8_t type;
    uint8_t tipDos;
    const char* arc;
    const char* arcSE;
    const char* deArc;
    const char* arcNC;
};

// The ARJ archiving template has two blanks before "!<LISTNAME>"; users' edited
// copies in settings files compare against it, so it stays as it is.
constexpr Defaults kDefaults[] = {
    {kArcArj, 1, "Arj u -i -a -v<VOLSIZE> -g<PASSWORD> <NOCOMPR> <ARCNAME>  !<LISTNAME> -y",
     "Arj u -i -a -v<VOLSIZE> -g<PASSWORD> <NOCOMPR> <ARCNAME> !<LISTNAME> -je -y", "Arj x <ARCNAME> -y",
     "-m0"},
    {kArcZip, 1, "PkZIP -a <ARCNAME> @<LISTNAME>", "", "PkUnZIP -a <ARCNAME> @<LISTNAME>", ""},
    {kArcRar, 1, "RAR u -y -v<VOLSIZE>b <NOCOMPR> -p<PASSWORD> <ARCNAME> @<LISTNAME>",
     "RAR u -y -v<VOLSIZE>b <NOCOMPR> -p<PASSWORD> -sfx <ARCNAME> @<LISTNAME>", "RAR x -o+ -y <ARCNAME>",
     "-m0"},
};

// Default of "ArcSE" that no stored value can equal: tells a missing key from an empty one.
const std::string kMarker = "\x01\x02\x03\x04";

}  // namespace

std::string SectionName(int arcType) {
    switch (arcType) {
        case kArcArj: return "ARJSect";
        case kArcZip: return "ZIPSect";
        case kArcRar: return "RARSect";
    }
    throw Exception("Неизвестный тип архива"_a);
}

void THL_ArcBase::SetDefaults() {
    for (const auto& d : kDefaults) {
        if (d.type != ArcType) continue;
        TipDos = d.tipDos;
        Arc = d.arc;
        ArcSE = d.arcSE;
        DeArc = d.deArc;
        ArcNC = d.arcNC;
    }
}

void THL_ArcBase::ReadFromIni(const TIniFile& ini, const std::string& section) {
    std::string se = ini.ReadUnquoted(section, "ArcSE", kMarker);
    if (se != kMarker) {
        ArcSE = se;
        TipDos = static_cast<uint8_t>(ini.ReadInteger(section, "TipDos", 1));
        Arc = ini.ReadUnquoted(section, "Arc", "");
        DeArc = ini.ReadUnquoted(section, "DeArc", "");
        ArcNC = ini.ReadUnquoted(section, "ArcNC", "");
    } else {
        SetDefaults();
    }
}

void THL_ArcBase::WriteToIni(TIniFile& ini, const std::string& section) const {
    ini.WriteInteger(section, "TipDos", TipDos);
    ini.WriteQuoted(section, "ArcSE", ArcSE);
    ini.WriteQuoted(section, "Arc", Arc);
    ini.WriteQuoted(section, "DeArc", DeArc);
    ini.WriteQuoted(section, "ArcNC", ArcNC);
}

void THL_ArcList::ReadAll(const TIniFile& ini, const std::string& prefix) {
    for (int type = kArcArj; type <= kArcRar; ++type) {
        auto rec = std::make_unique<THL_ArcBase>();
        rec->ArcType = static_cast<uint8_t>(type);
        rec->ReadFromIni(ini, prefix + SectionName(type));
        AddObject(rec.release());
    }
}

void THL_ArcList::WriteAll(TIniFile& ini, const std::string& prefix) const {
    for (int type = kArcArj; type <= kArcRar; ++type) {
        const THL_ArcBase* rec = FindByType(type);
        if (!rec) continue;
        std::string section = prefix + SectionName(type);
        ini.EraseSection(section);
        rec->WriteToIni(ini, section);
    }
}

THL_ArcBase* THL_ArcList::FindByType(int arcType) const {
    for (int i = 0; i < GetCount(); ++i) {
        auto* rec = dynamic_cast<THL_ArcBase*>(Get(i));
        if (rec && rec->ArcType == arcType) return rec;
    }
    return nullptr;
}

}  // namespace hv
