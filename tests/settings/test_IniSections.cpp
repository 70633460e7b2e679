// Typed sections: the Configuration record, descriptor tables, string lists,
// the settings file and the drive map; a working directory that cannot be made
// (the program's start-up test shows them made); the rules that keep a
// restored window on a screen and the layout texts of columns and splitters
// (fonts and placements written and read back are the window tests' business).
#include <gtest/gtest.h>

#include "dialogs/ScriptedResponder.h"
#include "platform/AnsiLiteral.h"
#include "settings/IniSections.h"
#include "settings/Placement.h"
#include "settings/WorkDirs.h"
#include "support/ErrorOf.h"
#include "support/TempTree.h"
#include "util/StrUtils.h"

namespace hv {
namespace {

using Strings = std::vector<std::string>;

class Sections : public test::TempTree {
  protected:
    void SetUp() override {
        TempTree::SetUp();
        CreateDir("d/prog");
        workdirs::SetProgramDir("D:\\prog\\");
        SetSaveEnabled(true);
        separator_ = DecimalSeparator();
    }
    void TearDown() override {
        CloseSettingsIni();
        SetSaveEnabled(false);
        SetDecimalSeparator(separator_);
        TempTree::TearDown();
    }
    std::string SettingsText() { return ReadFile(Posix("D:\\prog\\halvora.ini")); }
    Strings Errors() const {
        Strings out;
        for (const auto& r : responder.RequestsOf("ShowError")) out.push_back(r.message);
        return out;
    }

    ScriptedResponder responder;
    char separator_ = '.';
};

// Every entry away from its start-up default.
TConfiguration Distinct() {
    return {.Version = 3,
            .LastDate = EncodeDate(2002, 1, 5),
            .ScaleBy = 96,
            .MainPrjCount = 2,
            .MainArcIndex = -1,
            .MainPrjIndex = 1,
            .MainLvViewList = true,
            .MainCopyToNet = true,
            .SP_aSortBy = 4,
            .SP_fSortBy = 5,
            .SP_aSortInclude = true,
            .SP_aSortAscend = true,
            .SP_fSortAscend = true,
            .Password = "pw",
            .PassCheck = false};
}

// The section a record writes.
std::string TextOf(TConfiguration c) {
    auto ini = TIniFile::FromText("");
    SaveIniSection(*ini, "Configuration", ConfigurationTable(c));
    return ini->Text();
}

TEST_F(Sections, ConfigurationIsWrittenExactlyAndReadBack) {
    Configuration() = Distinct();
    Configuration().LastDate += 0.6;  // the time of day is not kept
    SaveConfiguration();
    EXPECT_EQ(
        SettingsText(),
        "[Configuration]\r\nVersion=3\r\nLastDate=20020105\r\nScaleBy=96\r\nMainPrjCount=2\r\n"
        "MainArcIndex=-1\r\nMainPrjIndex=1\r\nMainLvViewList=1\r\nMainCopyToNet=1\r\n"
        "SP_aSortBy=4\r\nSP_fSortBy=5\r\nSP_aSortInclude=1\r\nSP_aSortAscend=1\r\n"
        "SP_fSortAscend=1\r\nPassword=\"pw\"\r\nPassCheck=0\r\n\r\n");
    CloseSettingsIni();
    ResetConfiguration();
    RestConfiguration();
    EXPECT_EQ(TextOf(Configuration()), TextOf(Distinct()));
    // Absent keys keep every value.
    TConfiguration c = Distinct();
    RestIniSection(*TIniFile::FromText("[Configuration]\r\nUnrelated=1\r\n"), "Configuration",
                   ConfigurationTable(c));
    EXPECT_EQ(TextOf(c), TextOf(Distinct()));
    EXPECT_TRUE(Errors().empty());
}

TEST_F(Sections, SwitchedOffSavingLeavesTheFileUntouched) {
    const std::string before = "[Configuration]\r\nVersion=1\r\n\r\n[Other]\r\nA=1\r\n\r\n";
    CreateFile("d/prog/halvora.ini", before);
    SetSaveEnabled(false);
    Configuration() = Distinct();
    SaveConfiguration();
    TIniFile ini("D:\\prog\\halvora.ini");
    SaveIniSection(ini, "Configuration", ConfigurationTable(Configuration()));
    WriteIniValue(ini, "Configuration", "Version", TVarValue::Int32(9));
    EXPECT_FALSE(ini.Modified());
    CloseSettingsIni();
    EXPECT_EQ(SettingsText(), before);
}

// A value that does not convert keeps the prior one; so do empty texts.
TEST_F(Sections, RestoredValuesConvertOrKeepThePriorOnes) {
    const TDateTime prior = EncodeDate(1999, 9, 9);
    // Flag, Num, When and Text restored over false or true, 7, prior and "prior".
    auto restore = [&](const std::string& keys, bool flag) {
        int32_t num = 7;
        double when = prior;
        std::string text = "prior";
        const TIniVar vars[] = {
            {"Flag", 'B', &flag}, {"Num", 'I', &num}, {"When", 'd', &when}, {"Text", 'C', &text}};
        RestIniSection(*TIniFile::FromText("[S]\r\n" + keys + "\r\n"), "S", vars);
        return std::make_tuple(flag, num, when, text);
    };
    for (bool before : {false, true}) {
        EXPECT_EQ(restore("Flag=5\r\nNum=0x1F\r\nWhen=20020105\r\nText=\" x \"", before),
                  std::make_tuple(true, 31, EncodeDate(2002, 1, 5), std::string(" x ")));
        for (const char* keys :
             {"Flag=abc\r\nNum=1e3\r\nWhen=2002-01-05\r\nText=", "When=20029999\r\nText=\"\""})
            EXPECT_EQ(restore(keys, before),
                      std::make_tuple(before, 7, prior, std::string("prior")))
                << keys;
    }
    EXPECT_TRUE(Errors().empty());
}

// Saving erases the keys the table does not name; a save that fails is shown, not thrown.
TEST_F(Sections, SavingEraseKeysTheTableDoesNotName) {
    auto ini = TIniFile::FromText("[S]\r\nStale=1\r\nNum=0\r\n[Keep]\r\nA=1\r\n");
    int32_t num = 5;
    const TIniVar vars[] = {{"Num", 'I', &num}};
    SaveIniSection(*ini, "S", vars);
    EXPECT_EQ(ini->Text(), "[Keep]\r\nA=1\r\n\r\n[S]\r\nNum=5\r\n\r\n");
    TIniFile missing("D:\\missing\\x.ini");
    SaveIniSection(missing, "S", vars);
    ASSERT_EQ(Errors().size(), 1u);
    EXPECT_EQ(Errors()[0].rfind("Не удалось записать файл|D:\\missing\\x.ini"_a, 0), 0u);
    missing.SetWriteBack(TIniWriteBack::Never);
}

// An entry that fails is shown and keeps its value; the rest of the section is read.
TEST_F(Sections, FailingEntriesAreShownAndSkipped) {
    TIniFile file("D:\\r.ini", TIniWriteBack::Never);
    file.SetText("[S]\r\nNum=abc\r\nAfter=4\r\n");
    double num = 1.5;
    int32_t after = 0;
    const TIniVar rest[] = {{"Num", 'N', &num}, {"After", 'I', &after}};
    RestIniSection(file, "S", rest);
    EXPECT_EQ(num, 1.5);
    EXPECT_EQ(after, 4);
    EXPECT_EQ(
        Errors(),
        Strings{"RestIniSection: D:\\r.ini|Ошибка при инициализации переменной\r\n[N] \"Num\""_a});
}

TEST_F(Sections, FloatsUseTheDecimalSeparator) {
    SetDecimalSeparator(',');
    auto ini = TIniFile::FromText("");
    double v = 1.5, w = 0;
    const TIniVar vars[] = {{"V", 'N', &v}};
    SaveIniSection(*ini, "S", vars);
    EXPECT_EQ(ini->ReadString("S", "V", ""), "\"1,5\"");
    const TIniVar back[] = {{"V", 'N', &w}};
    RestIniSection(*ini, "S", back);
    EXPECT_EQ(w, 1.5);
    ini->WriteString("S", "V", "2.5");  // the other separator does not convert
    RestIniSection(*ini, "S", back);
    EXPECT_EQ(w, 1.5);
    EXPECT_EQ(Errors().size(), 1u);
}

TEST_F(Sections, StringListRoundTrip) {
    auto ini = TIniFile::FromText("");
    TStringList in;
    for (const char* s : {"first", "\"quoted\"", " blanks ", ""}) in.Add(s);
    SaveIniStrings(*ini, "L", in, 1);
    EXPECT_EQ(ini->Text(),
              "[L]\r\nCount=4\r\nIndex=1\r\nS0=\"first\"\r\nS1=\"\"quoted\"\"\r\nS2=\" blanks "
              "\"\r\nS3=\"\"\r\n\r\n");
    TStringList out;
    out.Add("old");
    int index = -5;
    RestIniStrings(*ini, "L", &out, index);
    EXPECT_EQ(out.Strings(), in.Strings());  // the quoted item keeps its quotes
    EXPECT_EQ(index, 1);

    // Counts from corrupt files.
    const std::pair<const char*, Strings> rows[] = {
        {"[L]\r\nCount=2000000000\r\nS0=a\r\n", {"a", ""}},  // bounded by the keys
        {"[L]\r\nCount=-4\r\nS0=a\r\n", {}},
        {"[L]\r\nCount=2\r\nIndex=0\r\nS1=b\r\n", {"", "b"}},
        {"", {}},
        {"[L]\r\nCount=0x2\r\nS0=a\r\nS1=b\r\n", {"a", "b"}},
    };
    for (const auto& [text, expected] : rows) {
        TStringList out;
        RestIniStrings(*TIniFile::FromText(text), "L", &out, index);
        EXPECT_EQ(out.Strings(), expected) << text;
    }
    EXPECT_EQ(test::ErrorOf([&] { RestIniStrings(*TIniFile::FromText(""), "L", nullptr, index); }),
              "RestIniStrings");
}

TEST_F(Sections, SettingsFileIsReadAgainAfterOutsideEdits) {
    CreateFile("d/prog/halvora.ini", "[Configuration]\r\nVersion=1\r\n");
    EXPECT_EQ(SettingsIni().ReadInteger("Configuration", "Version", 0), 1);
    test::WritePosixFile(Posix("D:\\prog\\halvora.ini"), "[Configuration]\r\nVersion=22\r\n");
    EXPECT_EQ(SettingsIni().ReadInteger("Configuration", "Version", 0), 22);
    SettingsIni().WriteInteger("Configuration", "ScaleBy", 5);  // on disk at once
    EXPECT_EQ(TIniFile("D:\\prog\\halvora.ini").ReadInteger("Configuration", "ScaleBy", 0), 5);
}

TEST_F(Sections, UnreadableSettingsFileIsReportedOnceAndNeverWritten) {
    CreateFile("d/prog/halvora.ini/x", "");  // a directory where the file should be
    ResetConfiguration();
    RestConfiguration();
    SettingsIni();
    SaveConfiguration();
    EXPECT_EQ(Errors().size(), 1u);
    EXPECT_EQ(responder.Records()[0].request.heading, "Не удается прочитать файл"_a);
}

TEST_F(Sections, DriveMapTable) {
    const std::pair<std::string, DriveMap> rows[] = {
        {"", {{'C', "/"}}},
        {"[Drives]\r\n", {{'C', "/"}}},
        {"[Drives]\r\nAB=\"/x\"\r\n1=\"/y\"\r\nE=rel\r\nF=\"\"\r\n", {{'C', "/"}}},
        {"[drives]\r\nd=\"/mnt/data/\"\r\nE=\"x/y\"\r\nC=\"/\"\r\n",
         {{'C', "/"}, {'D', "/mnt/data"}}},
        // C stays the whole file system unless the section maps it.
        {"[Drives]\r\nD=/srv\r\n", {{'C', "/"}, {'D', "/srv"}}},
        {"[Drives]\r\nR=\"/home/"_a + std::string("Данные"_a) + "\"\r\n",
         {{'C', "/"}, {'R', "/home/Данные"}}},
        {"[Drives]\r\nC=\"/srv\"\r\n", {{'C', "/srv"}}},
    };
    for (const auto& [text, expected] : rows)
        EXPECT_EQ(ReadDriveMap(*TIniFile::FromText(text)), expected) << text;
}

// The map of the README maps D: only: C: stays "/", so the program directory
// keeps a drive path; what cannot be used is named once.
TEST_F(Sections, DriveMapOfOtherLettersKeepsTheProgramDirectory) {
    CreateFile("d/prog/halvora.ini", "[Drives]\r\nQ=\"/nonexistent/elsewhere\"\r\nE=rel\r\n");
    EXPECT_TRUE(LoadDriveMap());
    EXPECT_EQ(GetDriveMap().at('C'), "/");
    EXPECT_EQ(workdirs::ProgramDir().substr(0, 3), "C:\\");
    EXPECT_TRUE(DirectoryExists(workdirs::ProgramDir()));
    ASSERT_EQ(responder.RequestsOf("ShowError").size(), 1u);
    EXPECT_NE(responder.RequestsOf("ShowError")[0].text.find("E: \"rel\""), std::string::npos);
    CloseSettingsIni();

    // A map whose C: lies elsewhere would lose the program directory: refused and said.
    test::WritePosixFile(Root() + "/d/prog/halvora.ini", "[Drives]\r\nC=\"/nonexistent\"\r\n");
    const DriveMap before = GetDriveMap();
    EXPECT_FALSE(LoadDriveMap());
    EXPECT_EQ(GetDriveMap(), before);
    EXPECT_EQ(responder.RequestsOf("ShowError").size(), 2u);
    CloseSettingsIni();

    test::WritePosixFile(
        Root() + "/d/prog/halvora.ini",
        "[Drives]\r\nC=\"/\"\r\nD=\"" + Root() + "/d\"\r\nP=\"" + Root() + "/d/prog\"\r\n");
    EXPECT_TRUE(LoadDriveMap());
    EXPECT_EQ(workdirs::ProgramDir(), "P:\\");
    EXPECT_EQ(workdirs::TmpDir(), "P:\\TMP\\");
    EXPECT_EQ(SettingsIniName(), "P:\\halvora.ini");
}

// ---- working directories and placement ------------------------------------------------

using WorkDirsTest = test::TempTree;

TEST_F(WorkDirsTest, ADirectoryThatCannotBeMadeIsNoError) {
    CurrentDirGuard cwd;
    CreateFile("d/Blocked/TMP", "a file in the way");
    workdirs::InitWorkDirs("D:\\Blocked");
    EXPECT_EQ(workdirs::ProgramDir(), "D:\\Blocked\\");
    EXPECT_FALSE(DirectoryExists("D:\\Blocked\\TMP"));
    EXPECT_TRUE(DirectoryExists("D:\\Blocked\\Save"));
    EXPECT_TRUE(DirectoryExists("D:\\Blocked\\Projects"));
}

TEST(Placement, LayoutTexts) {
    EXPECT_EQ(LayoutText({50, 0, 1234, 12345, -3}), "00500000123499990000");
    struct Row {
        const char* name;
        const char* text;
        int max;
        std::optional<std::vector<int>> out;
    } rows[] = {
        {"complete numbers", "005001200300", 9999, std::vector<int>{50, 120, 300}},
        {"a short tail is dropped", "00500060003", 9999, std::vector<int>{50, 60}},
        {"empty", "", 9999, std::vector<int>{}},
        {"a letter refuses the whole text", "00a00100", 9999, std::nullopt},
        {"a minus refuses the whole text", "0050-0300", 9999, std::nullopt},
        {"blanks refuse the whole text", "0050 0300", 9999, std::nullopt},
        {"a number out of range refuses the whole text", "00509999", 4000, std::nullopt},
    };
    for (const Row& r : rows) EXPECT_EQ(ParseLayoutText(r.text, r.max), r.out) << r.name;
}

TEST(Placement, RestoredWindowsLandOnAScreen) {
    const TRect primary{0, 0, 1600, 900};
    const TRect right{1600, 0, 1280, 1024};
    const TRect current{0, 0, 400, 300};
    struct Row {
        const char* name;
        TRect stored;
        std::vector<TRect> screens;
        TRect out;
    } rows[] = {
        {"on the primary screen", {100, 50, 800, 600}, {primary}, {100, 50, 800, 600}},
        {"slightly off the left edge is kept", {-20, -3, 800, 600}, {primary}, {-20, -3, 800, 600}},
        {"left of every screen", {-5000, 50, 800, 600}, {primary}, {10, 50, 800, 600}},
        {"on a monitor that was removed", {2000, 100, 800, 600}, {primary}, {10, 100, 800, 600}},
        {"on the second monitor", {2000, 100, 800, 600}, {primary, right}, {2000, 100, 800, 600}},
        {"below the bottom", {100, 880, 800, 600}, {primary}, {100, 10, 800, 600}},
        {"size 0 takes the current size", {100, 50, 0, 600}, {primary}, {100, 50, 400, 300}},
        {"negative size", {100, 50, -5, -5}, {primary}, {100, 50, 400, 300}},
        {"larger than the screen", {0, 0, 4000, 3000}, {primary}, {0, 0, 1600, 900}},
        {"larger than the second screen",
         {1700, 0, 3000, 3000},
         {primary, right},
         {1700, 0, 1280, 1024}},
    };
    for (const Row& r : rows)
        EXPECT_EQ(PlaceOnScreens(r.stored, current, r.screens), r.out) << r.name;
}

}  // namespace
}  // namespace hv
