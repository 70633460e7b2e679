#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "dialogs/ScriptedResponder.h"
#include "platform/AnsiLiteral.h"
#include "settings/IniFile.h"
#include "support/TempTree.h"
#include "util/Exception.h"

namespace hv {
namespace {

using test::ReadPosixFile;
using test::WritePosixFile;

class IniFileTest : public test::TempTree {
  protected:
    // Names of files left in a POSIX directory.
    std::vector<std::string> Entries(const std::string& dir) {
        std::vector<std::string> out;
        for (auto& e : std::filesystem::directory_iterator(dir)) out.push_back(e.path().filename());
        std::sort(out.begin(), out.end());
        return out;
    }
    ScriptedResponder responder;
};

TEST_F(IniFileTest, WrittenFileHasTheExactBytes) {
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
    }
    EXPECT_EQ(ReadFile(Posix("D:\\a.ini")),
              "[First]\r\nName=changed\r\nCount=-3\r\nFlag=1\r\n\r\n"
              "[Second]\r\nText=\"a b\"\r\nWhen=20020105\r\nEarly=09870605\r\nOff=0\r\n\r\n");
}

TEST_F(IniFileTest, UnknownSectionsCommentsAndStrayLinesSurviveAWrite) {
    CreateFile("d/k.ini", "; top comment\r\n[Other]\r\nx = 1\r\nstray line\r\n\r\n[Mine]\nA=1\n");
    {
        TIniFile ini("D:\\k.ini");
        ini.WriteString("Mine", "B", "2");
    }
    EXPECT_EQ(ReadFile(Posix("D:\\k.ini")),
              "; top comment\r\n[Other]\r\nx=1\r\nstray line\r\n\r\n[Mine]\r\nA=1\r\nB=2\r\n\r\n");
}

TEST_F(IniFileTest, ReaderToleratesMalformedText) {
    struct Row {
        const char* name;
        std::string text;
        const char* expected;  // ReadString("S", "K", "def")
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
        {"NUL bytes", std::string("[S]\0x\r\nK=v\0w", 13), "v\0w"},
        {"text after the bracket", "[S] trailing\r\nK=v\r\n", "v"},
        {"empty text", "", "def"},
        {"only line ends", "\r\n\n\r\r\n", "def"},
        {"binary", "\xff\xfe[\x01]\x00=\x80\r\n[S]K=1", "def"},
    };
    for (const Row& r : rows) {
        auto ini = TIniFile::FromText(r.text);
        std::string expected =
            r.name == std::string("NUL bytes") ? std::string("v\0w", 3) : r.expected;
        EXPECT_EQ(ini->ReadString("S", "K", "def"), expected) << r.name;
        // The written text reads back to itself.
        std::string once = ini->Text();
        EXPECT_EQ(TIniFile::FromText(once)->Text(), once) << r.name;
    }
}

TEST_F(IniFileTest, IntegerBooleanAndDateValues) {
    struct Row {
        const char* name;
        const char* value;
        int32_t integer;  // ReadInteger with default 7
        bool boolTrue;    // ReadBool with default true
        bool boolFalse;   // ReadBool with default false
    } ints[] = {
        {"decimal", "42", 42, true, true},
        {"zero", "0", 0, false, false},
        {"five is true", "5", 5, true, true},
        {"hex", "0x1F", 31, true, true},
        {"hex upper X", "0X1f", 31, true, true},
        {"dollar hex", "$10", 16, true, true},
        {"hex all ones", "0xFFFFFFFF", -1, true, true},
        {"hex too long", "0x100000000", 7, true, false},
        {"bare 0x", "0x", 7, true, false},
        {"not a number", "abc", 7, true, false},
        {"trailing garbage", "12abc", 7, true, false},
        {"lowest", "-2147483648", INT32_MIN, true, true},
        {"overflow", "2147483648", 7, true, false},
        {"sign only", "-", 7, true, false},
        {"empty", "", 7, true, false},
    };
    for (const Row& r : ints) {
        auto ini = TIniFile::FromText(std::string("[S]\r\nK=") + r.value + "\r\n");
        EXPECT_EQ(ini->ReadInteger("S", "K", 7), r.integer) << r.name;
        EXPECT_EQ(ini->ReadBool("S", "K", true), r.boolTrue) << r.name;
        EXPECT_EQ(ini->ReadBool("S", "K", false), r.boolFalse) << r.name;
    }

    const TDateTime def = EncodeDate(1999, 9, 9);
    struct DateRow {
        const char* name;
        const char* value;
        TDateTime expected;
    } dates[] = {
        {"YYYYMMDD", "20020105", EncodeDate(2002, 1, 5)},
        {"with dashes", "2002-01-05", def},
        {"no such month", "20021305", def},
        {"no such day", "20020230", def},
        {"year zero", "00000105", def},
        {"seven digits", "2002010", def},
        {"letters", "2002O105", def},
        {"empty", "", def},
        {"quoted", "\"20020105\"", def},
    };
    for (const DateRow& r : dates) {
        auto ini = TIniFile::FromText(std::string("[S]\r\nK=") + r.value + "\r\n");
        EXPECT_EQ(ini->ReadDate("S", "K", def), r.expected) << r.name;
    }
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
    EXPECT_EQ(ini->SectionNames(), (std::vector<std::string>{"A", "B"}));
    EXPECT_EQ(ini->KeyNames("a"), (std::vector<std::string>{"x", "y"}));
    EXPECT_EQ(ini->KeyCount("A"), 2);
    ini->DeleteKey("A", "X");
    EXPECT_FALSE(ini->ValueExists("A", "x"));  // the duplicate does not show up
    ini->EraseSection("A");
    EXPECT_FALSE(ini->SectionExists("a"));  // the repeated section went too
    EXPECT_EQ(ini->Text(), "[B]\r\nz=1\r\n\r\n");
    ini->Clear();
    EXPECT_EQ(ini->Text(), "");
}

TEST_F(IniFileTest, WriteBackModes) {
    const std::string never = Posix("D:\\never.ini"), onClose = Posix("D:\\close.ini"),
                      immediate = Posix("D:\\now.ini"), bracket = Posix("D:\\bracket.ini");
    {
        TIniFile a("D:\\never.ini", TIniWriteBack::Never);
        a.WriteString("S", "K", "v");
        TIniFile b("D:\\close.ini");
        b.WriteString("S", "K", "v");
        EXPECT_FALSE(Exists(onClose));
        TIniFile c("D:\\now.ini", TIniWriteBack::Immediate);
        c.WriteString("S", "K", "v");
        EXPECT_EQ(ReadFile(immediate), "[S]\r\nK=v\r\n\r\n");
        TIniFile d("D:\\bracket.ini", TIniWriteBack::Immediate);
        d.BeginUpdate();
        d.WriteString("S", "K", "v");
        d.BeginUpdate();
        d.WriteString("S", "L", "w");
        d.EndUpdate();
        EXPECT_FALSE(Exists(bracket));
        d.EndUpdate();
        EXPECT_EQ(ReadFile(bracket), "[S]\r\nK=v\r\nL=w\r\n\r\n");
    }
    EXPECT_FALSE(Exists(never));
    EXPECT_EQ(ReadFile(onClose), "[S]\r\nK=v\r\n\r\n");
}

TEST_F(IniFileTest, RefreshSeesEditsMadeMeanwhile) {
    CreateFile("d/r.ini", "[S]\r\nK=1\r\n");
    TIniFile ini("D:\\r.ini", TIniWriteBack::Immediate);
    EXPECT_FALSE(ini.Refresh());
    WritePosixFile(Posix("D:\\r.ini"), "[S]\r\nK=22\r\n");
    EXPECT_TRUE(ini.Refresh());
    EXPECT_EQ(ini.ReadString("S", "K", ""), "22");
    // A second holder sees what the first one wrote.
    ini.WriteString("S", "K", "3");
    EXPECT_EQ(TIniFile("D:\\r.ini", TIniWriteBack::Never).ReadString("S", "K", ""), "3");
}

TEST_F(IniFileTest, UnreadableFileIsAnErrorNotAnEmptyDocument) {
    CreateDir("d/dir.ini");
    EXPECT_THROW(TIniFile("D:\\dir.ini"), EFOpenError);
    // Missing is fine.
    EXPECT_EQ(TIniFile("D:\\missing\\x.ini").KeyCount("S"), 0);
}

// A full disk in the middle of writing: RLIMIT_FSIZE makes the write stop
// short, which root cannot bypass (a read-only directory would not stop root).
TEST_F(IniFileTest, FailedWriteLeavesTheOldFileAndNoTemporary) {
    const std::string old = "[S]\r\nK=old\r\n\r\n";
    CreateFile("d/w/full.ini", old);
    TIniFile ini("D:\\w\\full.ini");
    ini.WriteString("S", "K", std::string(5000, 'x'));

    struct rlimit saved;
    getrlimit(RLIMIT_FSIZE, &saved);
    auto oldHandler = signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = saved;
    small.rlim_cur = 1000;
    setrlimit(RLIMIT_FSIZE, &small);
    std::string message;
    try {
        ini.UpdateFile();
    } catch (const EFCreateError& e) {
        message = e.what();
    }
    setrlimit(RLIMIT_FSIZE, &saved);
    signal(SIGXFSZ, oldHandler);

    EXPECT_NE(message.find("Не удалось записать файл|D:\\w\\full.ini"_a), std::string::npos);
    EXPECT_EQ(ReadFile(Posix("D:\\w\\full.ini")), old);
    EXPECT_EQ(Entries(Root() + "/d/w"), std::vector<std::string>{"full.ini"});
    EXPECT_TRUE(ini.Modified());  // still pending: a later write succeeds
    ini.UpdateFile();
    EXPECT_EQ(ini.ReadString("S", "K", ""), std::string(5000, 'x'));
    EXPECT_EQ(TIniFile("D:\\w\\full.ini").ReadString("S", "K", ""), std::string(5000, 'x'));
}

TEST_F(IniFileTest, FailedRenameLeavesNoTemporary) {
    CreateFile("d/v/target.ini/inside", "keep");  // the target is a non-empty directory
    auto ini = TIniFile::FromText("[S]\r\nK=1\r\n");
    EXPECT_THROW(ini->SaveToFile("D:\\v\\target.ini"), EFCreateError);
    EXPECT_EQ(Entries(Root() + "/d/v"), std::vector<std::string>{"target.ini"});
    EXPECT_EQ(ReadFile(Root() + "/d/v/target.ini/inside"), "keep");
}

TEST_F(IniFileTest, ReadOnlyDirectoryForOrdinaryUsers) {
    if (geteuid() == 0) GTEST_SKIP() << "root writes into read-only directories";
    CreateFile("d/ro/s.ini", "[S]\r\nK=1\r\n");
    chmod((Root() + "/d/ro").c_str(), 0555);
    TIniFile ini("D:\\ro\\s.ini");
    ini.WriteString("S", "K", "2");
    EXPECT_THROW(ini.UpdateFile(), EFCreateError);
    chmod((Root() + "/d/ro").c_str(), 0755);
    EXPECT_EQ(ReadFile(Root() + "/d/ro/s.ini"), "[S]\r\nK=1\r\n");
    ini.SetWriteBack(TIniWriteBack::Never);
}

TEST_F(IniFileTest, ReplacementKeepsThePermissionsOfTheOldFile) {
    std::string p = CreateFile("d/p.ini", "[S]\r\n");
    chmod(p.c_str(), 0600);
    TIniFile("D:\\p.ini").WriteString("S", "Password", "\"secret\"");
    struct stat st;
    ASSERT_EQ(stat(p.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
}

TEST_F(IniFileTest, DestructorReportsAFailedWriteInsteadOfThrowing) {
    {
        TIniFile ini("D:\\nodir\\x.ini");
        ini.WriteString("S", "K", "v");
    }
    ASSERT_EQ(responder.Records().size(), 1u);
    EXPECT_EQ(responder.Records()[0].request.heading, "Не удалось записать файл"_a);
}

}  // namespace
}  // namespace hv
