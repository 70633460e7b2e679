// The archiver settings: their sections in the settings file (the built-in
// table is what every end-to-end run of arj and zip uses).
#include <gtest/gtest.h>

#include "run/ArcSettings.h"
#include "settings/IniFile.h"
#include "support/ProjectTrees.h"

namespace hv {
namespace {

using Strings = std::vector<std::string>;

TEST(ArcSettings, AnEmptyStoredArcSECountsAsPresent) {
    auto ini = TIniFile::FromText(
        "[ZIPSect]\r\nArcSE=\"\"\r\nArc=\"zip -r <ARCNAME> @<LISTNAME>\"\r\n\r\n"
        "[ARJSect]\r\nArcSE=\"x\"\r\n\r\n");
    THL_ArcList list;
    list.ReadAll(*ini, "");
    EXPECT_EQ(list.FindByType(kArcZip)->Arc, "zip -r <ARCNAME> @<LISTNAME>");
    EXPECT_EQ(list.FindByType(kArcZip)->DeArc, "");
    // Only ArcSE present: the other keys are empty, no defaults apply.
    EXPECT_EQ(list.FindByType(kArcArj)->Arc, "");
    EXPECT_EQ(list.FindByType(kArcArj)->ArcNC, "");
    EXPECT_EQ(list.FindByType(kArcArj)->TipDos, 1);
}

TEST(ArcSettings, WriteAllThenReadAllReproducesTheRecords) {
    auto ini = TIniFile::FromText("[ARJSect]\r\nstale=1\r\n\r\n");
    THL_ArcList list;
    list.ReadAll(*ini, "");
    list.FindByType(kArcRar)->TipDos = 2;
    list.FindByType(kArcZip)->ArcNC = "-e0";
    list.WriteAll(*ini, "");
    EXPECT_EQ(ini->SectionNames(), (Strings{"ARJSect", "ZIPSect", "RARSect"}));
    EXPECT_EQ(ini->KeyNames("ARJSect"), (Strings{"TipDos", "ArcSE", "Arc", "DeArc", "ArcNC"}));
    THL_ArcList again;
    again.ReadAll(*ini, "");
    auto copy = TIniFile::FromText("");
    again.WriteAll(*copy, "");
    EXPECT_EQ(copy->Text(), ini->Text());
    // A list without a record for a type skips that section.
    THL_ArcList partial;
    auto rec = std::make_unique<THL_ArcBase>();
    rec->ArcType = kArcZip;
    partial.AddObject(rec.release());
    auto empty = TIniFile::FromText("");
    partial.WriteAll(*empty, "X");
    EXPECT_EQ(empty->SectionNames(), Strings{"XZIPSect"});
}

TEST(ArcSettings, SectionNameOfAnUnknownTypeIsAnError) {
    for (int bad : {0, 1, 5, 255})
        EXPECT_EQ(test::ErrorOf([&] { SectionName(bad); }), "Неизвестный тип архива"_a) << bad;
}

}  // namespace
}  // namespace hv
