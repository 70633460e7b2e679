// The INI document: exact bytes written, tolerant reading, write-back, and
// writing that never loses the old file. Typed sections: the Configuration
// record, descriptor tables, string lists, the settings file (outside edits, an
// unreadable file) and the drive map; a working directory that cannot be made
// (the program's start-up test shows them made); the rules that keep a restored
// window on a screen and the layout texts of columns and splitters (fonts and
// placements written and read back are the window tests' business).
// The project list and the archiver settings as the settings file keeps them
// (what the main window's restart does not show: full paths, dates, entries
// that are no projects; the built-in archiver table is what every end-to-end
// run of arj and zip uses), and the projects a run takes.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "run/ArcSettings.h"
#include "run/ProjectList.h"
#include "run/RunDriver.h"
#include "settings/IniFile.h"
#include "settings/IniSections.h"
#include "settings/Placement.h"
#include "support/FullDisk.h"
#include "support/ProjectTrees.h"
#include "util/StrUtils.h"
#include "util/StringList.h"

namespace hv {
namespace {

using Names = std::vector<std::string>;

class IniFileTest : public test::TempTree {
  protected:
    ScriptedResponder responder;
};

TEST_F(IniFileTest, WrittenFilesHaveTheExactBytes) {
    CreateFile("d/k.ini", "; top comment\r\n[Other]\r\nx = 1\r\nstray line\r\n\r\n[Mine]\nA=1\n");
    {
        TIniFile ini("D:\\a.ini");
        ini.WriteString("First", "Name", "value");
        ini.WriteInteger("First", "Count", -3);
        ini.WriteQuoted("Second", "Text", "a b");
        ini.WriteBool("First", "Flag", true);
        ini.WriteString("FIRST", " name ", "changed");  // same key: keeps its place and spelling
        ini.WriteDate("Second", "When", EncodeDate(2002, 1, 5) + 0.75);
        ini.WriteDate("Second", "Early", EncodeDate(987, 6, 5));
        ini.WriteBool("Second", "Off", false);
        // Unknown sections, comments and stray lines survive a write.
        TIniFile("D:\\k.ini").WriteString("Mine", "B", "2");
    }
    EXPECT_EQ(ReadFile(Posix("D:\\a.ini")),
              "[First]\r\nName=changed\r\nCount=-3\r\nFlag=1\r\n\r\n"
              "[Second]\r\nText=\"a b\"\r\nWhen=20020105\r\nEarly=09870605\r\nOff=0\r\n\r\n");
    EXPECT_EQ(ReadFile(Posix("D:\\k.ini")),
              "; top comment\r\n[Other]\r\nx=1\r\nstray line\r\n\r\n[Mine]\r\nA=1\r\nB=2\r\n\r\n");
}

TEST_F(IniFileTest, ReaderToleratesMalformedText) {
    struct Row {
        const char* name;
        std::string text;
        std::string expected;  // ReadString("S", "K", "def")
    } rows[] = {
        {"header without closing bracket", "[S\r\nK=1\r\n", "def"},
        {"key before any section", "K=1\r\n[S]\r\n", "def"},
        {"empty key name", "[S]\r\n=1\r\n", "def"},
        {"second = belongs to the value", "[S]\r\nK=a=b\r\n", "a=b"},
        {"blanks around names and value", "[ S ]\r\n  k  =  v w  \r\n", "v w"},
        {"LF line ends", "[S]\nK=v\n", "v"},
        {"CR line ends", "[S]\rK=v\r", "v"},
        {"no line end at all", "[S]\r\nK=v", "v"},
        {"first of duplicate keys", "[S]\r\nK=1\r\nK=2\r\n", "1"},
        {"first of duplicate sections", "[S]\r\nL=1\r\n[s]\r\nK=2\r\n", "def"},
        {"commented key", "[S]\r\n;K=1\r\n", "def"},
        {"line without =", "[S]\r\nK\r\n", "def"},
        {"NUL bytes", std::string("[S]\0x\r\nK=v\0w", 13), std::string("v\0w", 3)},
        {"text after the bracket", "[S] trailing\r\nK=v\r\n", "v"},
        {"empty text", "", "def"},
        {"only line ends", "\r\n\n\r\r\n", "def"},
        {"binary", "\xff\xfe[\x01]\x00=\x80\r\n[S]K=1", "def"},
    };
    // That the written text reads back to itself is the INI fuzz target's check.
    for (const Row& r : rows)
        EXPECT_EQ(TIniFile::FromText(r.text)->ReadString("S", "K", "def"), r.expected) << r.name;
}

TEST_F(IniFileTest, IntegerBooleanAndDateValues) {
    auto key = [](const std::string& v) { return TIniFile::FromText("[S]\r\nK=" + v + "\r\n"); };
    // A boolean is the integer read with the default as 1/0: true when not 0.
    const std::pair<const char*, int32_t> numbers[] = {
        {"42", 42},   {"0", 0},    {"5", 5},           {"0x1F", 31},
        {"0X1f", 31}, {"$10", 16}, {"0xFFFFFFFF", -1}, {"-2147483648", INT32_MIN}};
    for (const auto& [value, n] : numbers) {
        EXPECT_EQ(key(value)->ReadInteger("S", "K", 7), n) << value;
        EXPECT_EQ(key(value)->ReadBool("S", "K", n == 0), n != 0) << value;
    }
    for (const char* value : {"0x100000000", "0x", "abc", "12abc", "2147483648", "-", ""}) {
        EXPECT_EQ(key(value)->ReadInteger("S", "K", 7), 7) << value;
        EXPECT_TRUE(key(value)->ReadBool("S", "K", true)) << value;
        EXPECT_FALSE(key(value)->ReadBool("S", "K", false)) << value;
    }
    // Only YYYYMMDD of a real date is a date.
    const TDateTime def = EncodeDate(1999, 9, 9);
    EXPECT_EQ(key("20020105")->ReadDate("S", "K", def), EncodeDate(2002, 1, 5));
    for (const char* bad : {"2002-01-05", "20021305", "20020230", "00000105", "2002010", "2002O105",
                            "", "\"20020105\""})
        EXPECT_EQ(key(bad)->ReadDate("S", "K", def), def) << bad;
}

TEST_F(IniFileTest, UnquotingOnlyWhenTheKeyIsPresent) {
    auto ini =
        TIniFile::FromText("[S]\r\nQ=\"abc\"\r\nOne=\"\r\nTwo=\"\"\r\nOpen=\"a\r\nIn=a\"b\"\r\n");
    EXPECT_EQ(ini->ReadUnquoted("S", "Q", "\"abc\""),
              "abc");  // equal to the default, still unquoted
    EXPECT_EQ(ini->ReadUnquoted("S", "Absent", "\"d\""), "\"d\"");
    EXPECT_EQ(ini->ReadUnquoted("S", "One", "x"), "\"");
    EXPECT_EQ(ini->ReadUnquoted("S", "Two", "x"), "");
    EXPECT_EQ(ini->ReadUnquoted("S", "Open", "x"), "\"a");
    EXPECT_EQ(ini->ReadUnquoted("S", "In", "x"), "a\"b\"");
    EXPECT_EQ(ini->ReadString("S", "Q", ""), "\"abc\"");
}

TEST_F(IniFileTest, ValuesCannotBreakTheLineStructure) {
    auto ini = TIniFile::FromText("");
    ini->WriteQuoted("S", "K", "a\r\n[Evil]\r\nX=1");
    auto again = TIniFile::FromText(ini->Text());
    EXPECT_FALSE(again->SectionExists("Evil"));
    EXPECT_EQ(again->ReadUnquoted("S", "K", ""), "a  [Evil]  X=1");

    for (const char* key : {"", "  ", "a=b", "[x", ";x", "a\nb"})
        EXPECT_THROW(ini->WriteString("S", key, "v"), EConvertError) << "key '" << key << "'";
    EXPECT_THROW(ini->WriteString("a]b", "K", "v"), EConvertError);
}

TEST_F(IniFileTest, StructureOperations) {
    auto ini = TIniFile::FromText("[A]\r\nx=1\r\ny=2\r\nX=3\r\n[B]\r\nz=1\r\n[a]\r\nw=1\r\n");
    EXPECT_EQ(ini->SectionNames(), (Names{"A", "B"}));
    EXPECT_EQ(ini->KeyNames("a"), (Names{"x", "y"}));
    EXPECT_EQ(ini->KeyCount("A"), 2);
    ini->EraseSection("A");
    EXPECT_FALSE(ini->SectionExists("a"));  // the repeated section went too
    EXPECT_EQ(ini->Text(), "[B]\r\nz=1\r\n\r\n");
}

TEST_F(IniFileTest, WriteBackModes) {
    const std::string kv = "[S]\r\nK=v\r\n\r\n";
    {
        TIniFile never("D:\\never.ini", TIniWriteBack::Never);
        never.WriteString("S", "K", "v");
        TIniFile onClose("D:\\close.ini");
        onClose.WriteString("S", "K", "v");
        EXPECT_FALSE(Exists(Posix("D:\\close.ini")));
        TIniFile now("D:\\now.ini", TIniWriteBack::Immediate);
        now.WriteString("S", "K", "v");
        EXPECT_EQ(ReadFile(Posix("D:\\now.ini")), kv);
        // Nested update brackets write once, at the outer end.
        TIniFile bracket("D:\\bracket.ini", TIniWriteBack::Immediate);
        bracket.BeginUpdate();
        bracket.WriteString("S", "K", "v");
        bracket.BeginUpdate();
        bracket.WriteString("S", "L", "w");
        bracket.EndUpdate();
        EXPECT_FALSE(Exists(Posix("D:\\bracket.ini")));
        bracket.EndUpdate();
        EXPECT_EQ(ReadFile(Posix("D:\\bracket.ini")), "[S]\r\nK=v\r\nL=w\r\n\r\n");
    }
    EXPECT_FALSE(Exists(Posix("D:\\never.ini")));
    EXPECT_EQ(ReadFile(Posix("D:\\close.ini")), kv);
    // A write at the end that fails is reported, not thrown from the destructor.
    TIniFile("D:\\nodir\\x.ini").WriteString("S", "K", "v");
    ASSERT_EQ(responder.Records().size(), 1u);
    EXPECT_EQ(responder.Records()[0].request.heading, "Не удалось записать файл"_a);
}

// A full disk in the middle of writing.
// A rename onto a non-empty directory fails after the write.
TEST_F(IniFileTest, FailedSavesLeaveTheOldFileAndNoTemporary) {
    const std::string old = "[S]\r\nK=old\r\n\r\n";
    const std::string big(5000, 'x');
    CreateFile("d/w/full.ini", old);
    TIniFile ini("D:\\w\\full.ini");
    ini.WriteString("S", "K", big);

    std::string message;
    try {
        test::FullDisk full(1000);
        ini.UpdateFile();
    } catch (const EFCreateError& e) {
        message = e.what();
    }

    EXPECT_NE(message.find("Не удалось записать файл|D:\\w\\full.ini"_a), std::string::npos);
    EXPECT_EQ(ReadFile(Posix("D:\\w\\full.ini")), old);
    EXPECT_EQ(Entries("d/w"), Names{"full.ini"});
    EXPECT_TRUE(ini.Modified());  // still pending: a later write succeeds
    ini.UpdateFile();
    EXPECT_EQ(TIniFile("D:\\w\\full.ini").ReadString("S", "K", ""), big);

    CreateFile("d/v/target.ini/inside", "keep");
    EXPECT_THROW(TIniFile::FromText("[S]\r\nK=1\r\n")->SaveToFile("D:\\v\\target.ini"),
                 EFCreateError);
    EXPECT_EQ(Entries("d/v"), Names{"target.ini"});
    EXPECT_EQ(ReadFile(Root() + "/d/v/target.ini/inside"), "keep");
}

// A save is one rename over the old file (projects are saved so too): whoever
// still reads the old one sees it whole, and its permissions stay.
TEST_F(IniFileTest, ReplacementIsOneRenameAndKeepsThePermissions) {
    std::string p = CreateFile("d/p.ini", "[S]\r\n");
    chmod(p.c_str(), 0600);
    const int oldFd = open(p.c_str(), O_RDONLY);
    ASSERT_GE(oldFd, 0);
    TIniFile("D:\\p.ini").WriteString("S", "Password", "\"secret\"");
    char buf[64];
    const ssize_t n = pread(oldFd, buf, sizeof buf, 0);
    close(oldFd);
    EXPECT_EQ(std::string(buf, n > 0 ? n : 0), "[S]\r\n");
    EXPECT_EQ(Entries("d"), Names{"p.ini"});  // no temporary left
    struct stat st;
    ASSERT_EQ(stat(p.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
}

// ---- typed sections ------------------------------------------------------------------

class Sections : public IniFileTest {
  protected:
    void SetUp() override {
        IniFileTest::SetUp();
        CreateDir("d/prog");
        workdirs::SetProgramDir("D:\\prog\\");
        SetSaveEnabled(true);
        separator_ = DecimalSeparator();
    }
    void TearDown() override {
        CloseSettingsIni();
        SetSaveEnabled(false);
        SetDecimalSeparator(separator_);
        IniFileTest::TearDown();
    }
    std::string SettingsText() { return ReadFile(Posix("D:\\prog\\halvora.ini")); }
    Names Errors() const {
        Names out;
        for (const auto& r : responder.RequestsOf("ShowError")) out.push_back(r.message);
        return out;
    }

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
        Names{"RestIniSection: D:\\r.ini|Ошибка при инициализации переменной\r\n[N] \"Num\""_a});
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
    const std::pair<const char*, Names> rows[] = {
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

TEST_F(IniFileTest, ADirectoryThatCannotBeMadeIsNoError) {
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

// ---- the project list, the projects of a run, archiver settings ---------------------

using ProjectListTest = test::ProgramTree;

TEST_F(ProjectListTest, EntriesRoundTripThroughTheSettingsFile) {
    CreateDir("d/Else");
    std::string inside = SaveProject("D:\\Prog\\Projects\\Docs.hlj", "Docs");
    std::string outside = SaveProject("D:\\Else\\Mail.hlj", "Mail");
    CreateFile("d/Prog/Projects/junk.hlj", "not a project\r\n");
    auto ini = TIniFile::FromText("[PrjInfo3]\r\nFile=\"stale.hlj\"\r\n\r\n");
    T_PrjList list;
    for (const std::string& f : {inside, outside, std::string("D:\\Prog\\Projects\\junk.hlj"),
                                 std::string("D:\\Prog\\Projects\\gone.hlj")}) {
        T_Prj* p = list.NewItem();
        p->LoadFromFile(f);
        p->Checked = true;
    }
    list.Items(1)->SaveDate = EncodeDate(2024, 5, 17);
    THL_ArcList arcs;
    arcs.ReadAll(*ini, "");
    SaveProjectList(*ini, list, &arcs, 1, -1);
    // Inside the projects directory the bare name is stored, elsewhere the full path.
    EXPECT_EQ(ini->ReadString("PrjInfo0", "File", ""), "\"Docs.hlj\"");
    EXPECT_EQ(ini->ReadString("PrjInfo1", "File", ""), "\"D:\\Else\\Mail.hlj\"");
    EXPECT_EQ(ini->ReadString("PrjInfo1", "Save", ""), "20240517");

    T_PrjList back;
    LoadProjectList(*ini, back, nullptr);
    ASSERT_EQ(back.GetCount(), 4);  // the stale PrjInfo3 section does not add a fifth
    EXPECT_TRUE(SameText(back.Items(0)->FileName, inside));
    EXPECT_TRUE(SameText(back.Items(0)->ArchiveName, "D:\\Arc\\Docs.ARJ"));
    EXPECT_EQ(back.Items(1)->SaveDate, EncodeDate(2024, 5, 17));
    EXPECT_EQ(back.Items(2)->Name,
              "Формат неизвестен: "_a + std::string("D:\\Prog\\Projects\\junk.hlj"));
    EXPECT_EQ(back.Items(3)->Name,
              "Файл не найден: "_a + std::string("D:\\Prog\\Projects\\gone.hlj"));
    // Unreadable entries keep their mark in the file but never take part.
    EXPECT_TRUE(back.Items(3)->Checked);
    EXPECT_FALSE(back.Items(3)->IsChecked());
}

TEST_F(ProjectListTest, DuplicatesAreShownAndSharedFilesRefused) {
    T_PrjList list;
    T_Prj* a = list.NewItem();
    a->Name = "Same";
    a->FileName = "D:\\a.hlj";
    a->ArchiveName = "D:\\Arc\\a.arj";
    T_Prj* b = list.NewItem();
    b->Name = "same";
    b->FileName = "D:\\b.hlj";
    b->ArchiveName = "D:\\Arc\\b.arj";
    EXPECT_TRUE(CheckDuplicates(list, *b));  // equal names only warn
    b->ArchiveName = "d:\\arc\\A.ARJ";
    EXPECT_FALSE(CheckDuplicates(list, *b));
    const auto shown = responder_.RequestsOf("ShowError");
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_EQ(
        shown[1].message,
        "Совпадают имена проектов\r\nСовпадают имена файлов архивов проектов\r\n|Same\r\nsame"_a);
    // Two entries without an archive name (no storage place yet) do not clash.
    a->Name = "A";
    a->ArchiveName.clear();
    b->ArchiveName.clear();
    EXPECT_TRUE(CheckDuplicates(list, *b));
    EXPECT_EQ(responder_.RequestsOf("ShowError").size(), 2u);
}

// A project that loads but whose archive name cannot be made (no archiver)
// is a project all the same: it stays valid, so the run can say why it cannot run it.
TEST_F(ProjectListTest, RecognisedProjectWithoutArchiveNameStaysValid) {
    THL_HalvoraProject p;
    p.FileName = "D:\\Prog\\Projects\\U.hlj";
    p.SetName("U");
    p.SetRootDir("D:\\Work");
    p.SavePlaces().Add("D:\\Arc");
    p.ArcType = 0;
    p.SaveToFile();
    T_Prj e;
    EXPECT_TRUE(e.LoadFromFile("D:\\Prog\\Projects\\U.hlj"));
    EXPECT_TRUE(e.Valid);
    EXPECT_EQ(e.Name, "U");
    EXPECT_TRUE(e.ArchiveName.empty());
}

class RunDriverTest : public test::ProgramTree {
  protected:
    Names Gathered(const std::string& start) {
        TStringList list;
        TRunDriver::CollectProjectFiles(list, start);
        return list.Strings();
    }
};

TEST_F(RunDriverTest, ProjectsAreGatheredOnceInTheirFullForm) {
    // A depends on B by bare name and again by full path, and on itself; B depends on A (a cycle)
    // and on a project that does not exist.
    SaveProject("D:\\Prog\\Projects\\A.hlj", "A", {"B.hlj", "D:\\Prog\\Projects\\B.hlj", "A.hlj"});
    SaveProject("D:\\Prog\\Projects\\B.hlj", "B", {"D:\\Prog\\Projects\\a.hlj", "Gone.hlj"});
    // The current directory decides nothing.
    CreateDir("d/Other");
    ASSERT_TRUE(SetCurrentDir("D:\\Other"));
    EXPECT_EQ(Gathered("A.hlj"), (Names{"D:\\Prog\\Projects\\A.hlj", "D:\\Prog\\Projects\\B.hlj"}));
    EXPECT_EQ(Gathered("D:\\Prog\\Projects\\B.hlj"),
              (Names{"D:\\Prog\\Projects\\B.hlj", "D:\\Prog\\Projects\\a.hlj"}));
    EXPECT_TRUE(Gathered("Gone.hlj").empty());
}

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
    EXPECT_EQ(ini->SectionNames(), (Names{"ARJSect", "ZIPSect", "RARSect"}));
    EXPECT_EQ(ini->KeyNames("ARJSect"), (Names{"TipDos", "ArcSE", "Arc", "DeArc", "ArcNC"}));
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
    EXPECT_EQ(empty->SectionNames(), Names{"XZIPSect"});
}

TEST(ArcSettings, SectionNameOfAnUnknownTypeIsAnError) {
    for (int bad : {0, 1, 5, 255})
        EXPECT_EQ(test::ErrorOf([&] { SectionName(bad); }), "Неизвестный тип архива"_a) << bad;
}

}  // namespace
}  // namespace hv
