// The INI document: exact bytes written, tolerant reading, write-back, and
// writing that never loses the old file. Outside edits and an unreadable file
// are the settings file's tests.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "dialogs/ScriptedResponder.h"
#include "platform/AnsiLiteral.h"
#include "settings/IniFile.h"
#include "support/FullDisk.h"
#include "support/TempTree.h"
#include "util/Exception.h"

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
    ini->DeleteKey("A", "X");
    EXPECT_FALSE(ini->ValueExists("A", "x"));  // the duplicate does not show up
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


}  // namespace
}  // namespace hv
