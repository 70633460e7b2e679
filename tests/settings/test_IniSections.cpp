#include <gtest/gtest.h>

#include "dialogs/ScriptedResponder.h"
#include "platform/AnsiLiteral.h"
#include "platform/CodePage.h"
#include "settings/IniSections.h"
#include "settings/WorkDirs.h"
#include "support/TempTree.h"
#include "util/Exception.h"
#include "util/StrUtils.h"

namespace hv {
namespace {

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
    std::vector<std::string> Errors() const {
        std::vector<std::string> out;
        for (const auto& r : responder.RequestsOf("ShowError")) out.push_back(r.message);
        return out;
    }

    ScriptedResponder responder;
    char separator_ = '.';
};

TConfiguration Distinct() {
    TConfiguration c;
    c.Version = 3;
    c.LastDate = EncodeDate(2002, 1, 5);
    c.ScaleBy = 96;
    c.MainPrjCount = 2;
    c.MainArcIndex = -1;
    c.MainPrjIndex = 1;
    c.MainLvViewList = true;
    c.MainCopyToNet = false;
    c.SP_aSortBy = 4;
    c.SP_fSortBy = 5;
    c.SP_aSortInclude = true;
    c.SP_aSortAscend = false;
    c.SP_fSortAscend = true;
    c.Password = "pw";
    c.PassCheck = false;
    return c;
}

bool Same(const TConfiguration& a, const TConfiguration& b) {
    return a.Version == b.Version && a.LastDate == b.LastDate && a.ScaleBy == b.ScaleBy &&
           a.MainPrjCount == b.MainPrjCount && a.MainArcIndex == b.MainArcIndex &&
           a.MainPrjIndex == b.MainPrjIndex && a.MainLvViewList == b.MainLvViewList &&
           a.MainCopyToNet == b.MainCopyToNet && a.SP_aSortBy == b.SP_aSortBy &&
           a.SP_fSortBy == b.SP_fSortBy && a.SP_aSortInclude == b.SP_aSortInclude &&
           a.SP_aSortAscend == b.SP_aSortAscend && a.SP_fSortAscend == b.SP_fSortAscend &&
           a.Password == b.Password && a.PassCheck == b.PassCheck;
}

TEST_F(Sections, ConfigurationIsWrittenExactlyAndReadBack) {
    Configuration() = Distinct();
    Configuration().LastDate += 0.6;  // the time of day is not kept
    SaveConfiguration();
    EXPECT_EQ(
        SettingsText(),
        "[Configuration]\r\nVersion=3\r\nLastDate=20020105\r\nScaleBy=96\r\nMainPrjCount=2\r\n"
        "MainArcIndex=-1\r\nMainPrjIndex=1\r\nMainLvViewList=1\r\nMainCopyToNet=0\r\n"
        "SP_aSortBy=4\r\nSP_fSortBy=5\r\nSP_aSortInclude=1\r\nSP_aSortAscend=0\r\n"
        "SP_fSortAscend=1\r\nPassword=\"pw\"\r\nPassCheck=0\r\n\r\n");
    CloseSettingsIni();
    ResetConfiguration();
    RestConfiguration();
    EXPECT_TRUE(Same(Configuration(), Distinct()));
    EXPECT_EQ(ConfigurationTable(Configuration()).size(), 15u);
    EXPECT_TRUE(Errors().empty());
}

TEST_F(Sections, SwitchedOffSavingLeavesTheFileUntouched) {
    const std::string before = "[Configuration]\r\nVersion=1\r\n\r\n[Other]\r\nA=1\r\n\r\n";
    CreateFile("d/prog/halvora.ini", before);
    SetSaveEnabled(false);
    Configuration() = Distinct();
    SaveConfiguration();
    auto table = ConfigurationTable(Configuration());
    TIniFile ini("D:\\prog\\halvora.ini");
    SaveIniSection(ini, "Configuration", table);
    WriteIniValue(ini, "Configuration", "Version", TVarValue::Int32(9));
    EXPECT_FALSE(ini.Modified());
    CloseSettingsIni();
    EXPECT_EQ(SettingsText(), before);
}

TEST_F(Sections, AbsentKeysKeepEveryValue) {
    auto ini = TIniFile::FromText("[Configuration]\r\nUnrelated=1\r\n");
    TConfiguration c = Distinct();
    auto table = ConfigurationTable(c);
    RestIniSection(*ini, "Configuration", table);
    EXPECT_TRUE(Same(c, Distinct()));
}

TEST_F(Sections, RestoredValuesTable) {
    struct Row {
        const char* name;
        const char* line;
        bool b0, b1;       // Flag from prior false / prior true
        int32_t i;         // Num from prior 7
        TDateTime d;       // When from prior 1999-09-09
        const char* text;  // Text from prior "prior"
    };
    const TDateTime prior = EncodeDate(1999, 9, 9);
    const Row rows[] = {
        {"boolean 5 is true", "Flag=5", true, true, 7, prior, "prior"},
        {"boolean abc keeps the prior value", "Flag=abc", false, true, 7, prior, "prior"},
        {"integer in hex", "Num=0x1F", false, true, 31, prior, "prior"},
        {"integer garbage keeps", "Num=1e3", false, true, 7, prior, "prior"},
        {"date with dashes keeps", "When=2002-01-05", false, true, 7, prior, "prior"},
        {"date YYYYMMDD", "When=20020105", false, true, 7, EncodeDate(2002, 1, 5), "prior"},
        {"impossible date keeps", "When=20029999", false, true, 7, prior, "prior"},
        {"empty text keeps", "Text=", false, true, 7, prior, "prior"},
        {"empty quoted text keeps", "Text=\"\"", false, true, 7, prior, "prior"},
        {"quoted text", "Text=\" x \"", false, true, 7, prior, " x "},
    };
    for (const Row& r : rows) {
        auto ini = TIniFile::FromText(std::string("[S]\r\n") + r.line + "\r\n");
        for (bool start : {false, true}) {
            bool flag = start;
            int32_t num = 7;
            double when = prior;
            std::string text = "prior";
            const TIniVar vars[] = {{"Flag", 'B', &flag},
                                    {"Num", 'I', &num},
                                    {"When", 'd', &when},
                                    {"Text", 'C', &text}};
            RestIniSection(*ini, "S", vars);
            EXPECT_EQ(flag, start ? r.b1 : r.b0) << r.name;
            EXPECT_EQ(num, r.i) << r.name;
            EXPECT_EQ(when, r.d) << r.name;
            EXPECT_EQ(text, r.text) << r.name;
        }
    }
    EXPECT_TRUE(Errors().empty());
}

TEST_F(Sections, SavingEraseKeysTheTableDoesNotName) {
    auto ini = TIniFile::FromText("[S]\r\nStale=1\r\nNum=0\r\n[Keep]\r\nA=1\r\n");
    int32_t num = 5;
    const TIniVar vars[] = {{"Num", 'I', &num}};
    SaveIniSection(*ini, "S", vars);
    EXPECT_EQ(ini->Text(), "[Keep]\r\nA=1\r\n\r\n[S]\r\nNum=5\r\n\r\n");
}

TEST_F(Sections, FailingEntriesAreShownAndSkipped) {
    auto ini = TIniFile::FromText("[S]\r\nNum=abc\r\nAfter=4\r\n");
    bool wrongRef = true;
    double num = 1.5;
    int32_t after = 0;
    const TIniVar save[] = {{"Odd", 'Q', &after}, {"Bad", 'I', &wrongRef}, {"After", 'I', &after}};
    SaveIniSection(*ini, "S", save);
    EXPECT_EQ(Errors(), (std::vector<std::string>{
                            "SaveIniSection: |Неизвестный тип [Q]\r\n переменной \"Odd\""_a,
                            "SaveIniSection: |Ошибка при сохранении переменной\r\n[I] \"Bad\""_a}));
    EXPECT_EQ(ini->ReadString("S", "After", ""), "0");

    auto file = std::make_unique<TIniFile>("D:\\r.ini");
    file->SetText("[S]\r\nNum=abc\r\nAfter=4\r\n");
    responder.Clear();
    const std::string longName = "AVeryLongVariableNameThatGoesOnAndOnForeverAndEver";
    const TIniVar rest[] = {{"Num", 'N', &num}, {longName, 'x', &after}, {"After", 'I', &after}};
    RestIniSection(*file, "S", rest);
    EXPECT_EQ(num, 1.5);
    EXPECT_EQ(after, 4);
    const std::string unknown =
        ("RestIniSection: Неизвестный тип переменной "_a + longName).substr(0, 63);
    EXPECT_EQ(unknown.size(), 63u);
    EXPECT_EQ(Errors(),
              (std::vector<std::string>{
                  "RestIniSection: D:\\r.ini|Ошибка при инициализации переменной\r\n[N] \"Num\""_a,
                  unknown}));
    file->SetWriteBack(TIniWriteBack::Never);
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

TEST_F(Sections, WriteAndReadSingleValues) {
    auto ini = TIniFile::FromText("");
    struct Row {
        const char* key;
        TVarValue value;
        const char* text;
    } rows[] = {
        {"Bool", TVarValue::Boolean(true), "1"},
        {"Int8", TVarValue::Int8(-8), "-8"},
        {"Int16", TVarValue::Int16(300), "300"},
        {"Single", TVarValue::Single(0.5f), "\"0.5\""},
        {"Double", TVarValue::Double(1.0 / 3), "\"0.333333333333333\""},
        {"Currency", TVarValue::Currency(TCurrency{12345}), "\"1.2345\""},
        {"Date", TVarValue::Date(EncodeDate(2024, 2, 29) + 0.5), "20240229"},
        {"Text", TVarValue::Text("a b"), "\"a b\""},
    };
    SetDecimalSeparator('.');
    for (const Row& r : rows) {
        WriteIniValue(*ini, "S", r.key, r.value);
        EXPECT_EQ(ini->ReadString("S", r.key, "?"), r.text) << r.key;
    }
    try {
        WriteIniValue(*ini, "S", "K", TVarValue::Null());
        ADD_FAILURE();
    } catch (const EConvertError& e) {
        EXPECT_EQ(e.Message(), "Неизвестный тип переменной: K"_a);
    }
    try {
        ReadIniValue(*ini, "S", "Bool", TVarValue::Boolean(false), 'Z');
        ADD_FAILURE();
    } catch (const EConvertError& e) {
        EXPECT_EQ(e.Message(), "Неизвестный тип переменной: Bool"_a);
    }
    EXPECT_EQ(ReadIniValue(*ini, "S", "Int16", TVarValue::Int32(0), 'i').AsInteger(), 300);
    EXPECT_EQ(ReadIniValue(*ini, "S", "Text", TVarValue::Text("d"), 's').AsText(), "a b");
    EXPECT_EQ(ReadIniValue(*ini, "S", "Absent", TVarValue::Text("d"), 'C').AsText(), "d");
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

    TStringList sorted;
    sorted.SetSorted(true);
    auto unsortedIni = TIniFile::FromText("[L]\r\nCount=3\r\nS0=b\r\nS1=\"c\"\r\nS2=a\r\n");
    RestIniStrings(*unsortedIni, "L", &sorted, index);
    EXPECT_EQ(sorted.Strings(), (std::vector<std::string>{"a", "b", "c"}));
    EXPECT_EQ(index, 0);
}

TEST_F(Sections, StringListCountsFromCorruptFiles) {
    struct Row {
        const char* name;
        const char* text;
        std::vector<std::string> expected;
    } rows[] = {
        {"huge count is bounded by the keys", "[L]\r\nCount=2000000000\r\nS0=a\r\n", {"a", ""}},
        {"negative count", "[L]\r\nCount=-4\r\nS0=a\r\n", {}},
        {"missing item reads empty", "[L]\r\nCount=2\r\nIndex=0\r\nS1=b\r\n", {"", "b"}},
        {"no section", "", {}},
        {"count in hex", "[L]\r\nCount=0x2\r\nS0=a\r\nS1=b\r\n", {"a", "b"}},
    };
    for (const Row& r : rows) {
        TStringList out;
        int index = 9;
        RestIniStrings(*TIniFile::FromText(r.text), "L", &out, index);
        EXPECT_EQ(out.Strings(), r.expected) << r.name;
    }
    int index = 0;
    try {
        RestIniStrings(*TIniFile::FromText(""), "L", nullptr, index);
        ADD_FAILURE();
    } catch (const Exception& e) {
        EXPECT_EQ(e.Message(), "RestIniStrings");
    }
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

TEST_F(Sections, SaveFailureIsShownNotThrown) {
    TIniFile ini("D:\\missing\\x.ini");
    int32_t v = 1;
    const TIniVar vars[] = {{"V", 'I', &v}};
    SaveIniSection(ini, "S", vars);
    ASSERT_EQ(Errors().size(), 1u);
    EXPECT_EQ(Errors()[0].rfind("Не удалось записать файл|D:\\missing\\x.ini"_a, 0), 0u);
    ini.SetWriteBack(TIniWriteBack::Never);
}

TEST_F(Sections, DriveMapTable) {
    struct Row {
        const char* name;
        std::string text;
        DriveMap expected;
    } rows[] = {
        {"no section", "", {{'C', "/"}}},
        {"empty section", "[Drives]\r\n", {{'C', "/"}}},
        {"only invalid lines",
         "[Drives]\r\nAB=\"/x\"\r\n1=\"/y\"\r\nE=rel\r\nF=\"\"\r\n",
         {{'C', "/"}}},
        {"valid and invalid",
         "[drives]\r\nd=\"/mnt/data/\"\r\nE=\"x/y\"\r\nC=\"/\"\r\n",
         {{'C', "/"}, {'D', "/mnt/data"}}},
        {"no C when not given", "[Drives]\r\nD=/srv\r\n", {{'D', "/srv"}}},
        {"1251 path",
         "[Drives]\r\nR=\"/home/"_a + std::string("Данные"_a) + "\"\r\n",
         {{'R', "/home/Данные"}}},
    };
    for (const Row& r : rows)
        EXPECT_EQ(ReadDriveMap(*TIniFile::FromText(r.text)), r.expected) << r.name;
}

TEST_F(Sections, LoadDriveMapRenamesTheWorkingDirectories) {
    CreateFile("d/prog/halvora.ini",
               "[Drives]\r\nC=\"/\"\r\nD=\"" + Root() + "/d\"\r\nP=\"" + Root() + "/d/prog\"\r\n");
    EXPECT_TRUE(LoadDriveMap());
    EXPECT_EQ(workdirs::ProgramDir(), "P:\\");
    EXPECT_EQ(workdirs::TmpDir(), "P:\\TMP\\");
    EXPECT_EQ(SettingsIniName(), "P:\\halvora.ini");
    EXPECT_TRUE(SettingsIni().SectionExists("Drives"));
}

TEST_F(Sections, LoadDriveMapRefusesAMapWithoutTheProgramDirectory) {
    CreateFile("d/prog/halvora.ini", "[Drives]\r\nQ=\"/nonexistent/elsewhere\"\r\n");
    DriveMap before = GetDriveMap();
    EXPECT_FALSE(LoadDriveMap());
    EXPECT_EQ(GetDriveMap(), before);
    EXPECT_EQ(workdirs::ProgramDir(), "D:\\prog\\");
}

}  // namespace
}  // namespace hv
