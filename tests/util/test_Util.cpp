// Masks, words and number texts; the string list and the object lists: order,
// ownership, refusals; path and directory helpers, the copier and file lists.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <functional>
#include <vector>

#include "platform/AnsiLiteral.h"
#include "platform/CodePage.h"
#include "support/ErrorOf.h"
#include "support/FullDisk.h"
#include "support/TempTree.h"
#include "util/Exception.h"
#include "util/FileUtils.h"
#include "util/StrUtils.h"
#include "util/StringList.h"
#include "util/TypeList.h"

namespace hv {
namespace {

using Strings = std::vector<std::string>;
using Log = std::vector<int>;

// Records the order in which objects are destroyed.
struct Counted : TObject {
    Counted(int id, Log& log) : id(id), log(log) {}
    ~Counted() override { log.push_back(id); }
    int id;
    Log& log;
};

TEST(MatchMask, Table) {
    const struct {
        const char *name, *mask;
        bool ignoreCase, expected;
    } rows[] = {
        {"readme.txt", "*.TXT", true, true},
        {"README.TXT", "R*ME.*", true, true},
        {"ABC", "A*C", true, true},
        {"ABC", "AB", true, false},  // mask shorter than the name
        {"AB", "AB*", true, true},   // a trailing star matches nothing
        {"AXBYC", "A*B*C", true, true},
        {"ABDCXE", "AB*C*D*E", true, false},  // segments out of order
        {"anything.at.all", "**", true, true},
        {"A1C", "A?C", true, true},
        {"data.A01", "*.A?1", true, true},
        {"XAB1YZ", "X*B?*Z", true, true},
        {"readme.txt", "*.TXT", false, false},
        {"a*b", "a*b", false, true},
        {"\xEF\xF0\xE8\xEC\xE5\xF0.txt", "\xCF\xD0*.TXT", true, true},  // Cyrillic
        {"", "A*", true, false},
        {"A", "", true, false},
        // A mask that is not used up matches only with a lone '*' left.
        {"A", "ABC*", true, false},
        {"AB", "AB*C*", true, false},
        // The final segment must lie after what is already matched.
        {"ABC", "AB*BC", true, false},
        {"ABXBC", "AB*BC", true, true},
        // A literal '*' in a name is no wildcard in the name.
        {"a*bc", "a*c", true, true},
    };
    for (const auto& r : rows)
        EXPECT_EQ(MatchMask(r.name, r.mask, r.ignoreCase), r.expected)
            << r.name << " against " << r.mask << (r.ignoreCase ? "" : ", case counting");
}

TEST(Words, WordPos) {
    const std::string line = "uses SysUtils, Classes,Forms ;  Dialogs";
    const std::pair<const char*, int> words[] = {{"USES", 1},   {"sysutils", 6}, {"Classes", 16},
                                                 {"forms", 24}, {"Dialogs", 33}, {"Dialog", -1},
                                                 {"", -1}};
    for (auto [word, pos] : words) EXPECT_EQ(WordPos(line, word, " ,;"), pos) << word;
    EXPECT_EQ(WordPos("", "x", " ,;"), -1);
}

// Line breaks, padding, OEM lists and blank batches are the message and run
// tests' business; the date texts those of the settings file.
TEST(Text, FloatTextIsShortest) {
    const char saved = DecimalSeparator();
    SetDecimalSeparator('.');
    const std::pair<double, std::string> rows[] = {
        {1.5, "1.5"},   {0.1, "0.1"},         {1.0 / 3, "0.333333333333333"},
        {1e20, "1E20"}, {-2.5e-7, "-2.5E-7"}, {100.0, "100"},
    };
    for (const auto& [value, text] : rows) EXPECT_EQ(FloatText(value), text) << text;
    SetDecimalSeparator(saved);  // the other separator: the settings sections' test
}

void AddAll(TStringList& list, const Strings& items) {
    for (const auto& s : items) list.Add(s);
}

TEST(StringList, SortFollowsTheAlphabetIgnoringCase) {
    TStringList list;
    for (const char* s : {"ёлка", "Ель", "ЖУК", "abc", "Яма", "ABD", "еж"}) list.Add(Utf8ToAnsi(s));
    list.Sort();
    Strings expected;
    for (const char* s : {"abc", "ABD", "еж", "Ель", "ёлка", "ЖУК", "Яма"})
        expected.push_back(Utf8ToAnsi(s));
    EXPECT_EQ(list.Strings(), expected);
    EXPECT_EQ(list.IndexOf("ЁЛКА"_a), 4);
    EXPECT_EQ(list.IndexOf("missing"), -1);
}

TEST(StringList, IndexErrorsRaiseAndChangeNothing) {
    TStringList list;
    AddAll(list, {"one", "two", "three"});
    EXPECT_EQ(test::ErrorOf<EListError>([&] { list.Delete(3); }), "List index out of bounds (3)");
    EXPECT_THROW(list.Get(-1), EListError);
    EXPECT_THROW(list.Insert(4, "x"), EListError);
    EXPECT_EQ(list.Strings(), (Strings{"one", "two", "three"}));
}

TEST(StringList, TextSplitsEveryLineBreakKind) {
    TStringList list;
    list.SetText("a\r\nb\nc\rd\r\n\r\ne");
    EXPECT_EQ(list.Strings(), (Strings{"a", "b", "c", "d", "", "e"}));
    EXPECT_EQ(list.Text(), "a\r\nb\r\nc\r\nd\r\n\r\ne\r\n");
    list.SetText("x\r\n");
    EXPECT_EQ(list.Strings(), (Strings{"x"}));
    list.SetText("");
    EXPECT_EQ(list.Text(), "");
}

TEST(StringList, OwnsObjectsOnlyWhenAsked) {
    Log log;
    Counted shared(0, log);
    {
        TStringList plain;
        plain.AddObject("s", &shared);
    }
    EXPECT_TRUE(log.empty());
    {
        TStringList owner(true);
        for (int id = 1; id <= 3; ++id) owner.AddObject("x", new Counted(id, log));
        owner.Delete(1);
        EXPECT_EQ(log, (Log{2}));
        owner.PutObject(0, new Counted(4, log));
        EXPECT_EQ(log, (Log{2, 1}));
        TStringList other;
        other.AddObject("z", &shared);
        EXPECT_THROW(owner.AddStrings(other), EListError);
        EXPECT_THROW(owner.Assign(other), EListError);
        EXPECT_EQ(owner.Count(), 2);
        TStringList copy(owner);  // a view: does not own
        EXPECT_FALSE(copy.OwnsObjects());
        EXPECT_EQ(copy.Objects(1), owner.Objects(1));
    }
    EXPECT_EQ(log, (Log{2, 1, 4, 3}));
}

TEST(StringList, AssignAndAddStringsCopyStringsAndObjects) {
    TObject o;
    TStringList a, b;
    a.AddObject("x", &o);
    a.Add("y");
    b.Add("old");
    b.AddStrings(a);
    EXPECT_EQ(b.Strings(), (Strings{"old", "x", "y"}));
    EXPECT_EQ(b.Objects(1), &o);
    b.AddStrings(b);
    EXPECT_EQ(b.Count(), 6);
    b.Assign(a);
    EXPECT_EQ(b.Strings(), (Strings{"x", "y"}));
    b.Transform([](const std::string& s) { return s + "!"; });
    EXPECT_EQ(b.Strings(), (Strings{"x!", "y!"}));
}

using FileUtilsTree = test::TempTree;

TEST_F(FileUtilsTree, SaveAndLoadThroughWindowsPaths) {
    CreateDir("d/Cfg");
    TStringList list, back;
    AddAll(list, {"[Раздел]"_a, "Key=Значение"_a});
    list.SaveToFile("D:\\Cfg\\test.ini");
    EXPECT_EQ(ReadFile(Root() + "/d/Cfg/test.ini"), list.Text());
    back.LoadFromFile("d:\\cfg\\TEST.INI");
    EXPECT_EQ(back.Strings(), list.Strings());
    // Overwriting leaves no temporary behind.
    list.Add("more");
    list.SaveToFile("D:\\Cfg\\test.ini");
    back.LoadFromFile("D:\\Cfg\\test.ini");
    EXPECT_EQ(back.Count(), 3);
    EXPECT_EQ(Entries("d/Cfg"), Strings{"test.ini"});
}

TEST_F(FileUtilsTree, FailuresRaiseAndKeepTheOldFile) {
    TStringList list;
    EXPECT_THROW(list.LoadFromFile("D:\\missing.txt"), EFOpenError);
    EXPECT_THROW(list.SaveToFile("D:\\NoDir\\x.txt"), EFCreateError);
    std::string ro = CreateFile("d/ro.txt", "keep");
    chmod(ro.c_str(), 0444);
    list.Add("new");
    EXPECT_THROW(list.SaveToFile("D:\\ro.txt"), EFCreateError);
    EXPECT_EQ(ReadFile(ro), "keep");
}

// The owning lists of the system derive from T_zqOwnerList.
class ArcLikeList : public T_zqOwnerList {};

TEST(OwnerList, DestroyingTheListDestroysEveryItemAnObjectListNone) {
    Log log;
    Counted a(1, log), b(2, log);
    {
        T_zqObjectList plain;
        plain.AddObject(&a);
        plain.AddObject(&b);
    }
    EXPECT_TRUE(log.empty());
    {
        ArcLikeList owner;
        owner.AddObject(new Counted(3, log));
        owner.AddObject(nullptr);
        owner.AddObject(new Counted(4, log));
    }
    EXPECT_EQ(log, (Log{3, 4}));
}

TEST(OwnerList, RemoveAndExtractHandOutDeleteObjectAndShrinkingDestroy) {
    Log log;
    T_zqOwnerList list;
    auto* a = new Counted(1, log);
    list.AddObject(a);
    list.AddObject(new Counted(2, log));
    EXPECT_EQ(list.Remove(a), 0);
    EXPECT_EQ(list.DeleteObject(0), nullptr);
    EXPECT_EQ(log, (Log{2}));
    list.AddObject(a);
    EXPECT_EQ(list.Extract(0), a);
    EXPECT_EQ(log, (Log{2}));
    delete a;

    // The cut-off items go in order; growing adds null entries.
    log.clear();
    for (int id = 0; id < 5; ++id) list.AddObject(new Counted(id, log));
    list.SetCount(2);
    EXPECT_EQ(log, (Log{2, 3, 4}));
    list.SetCount(4);
    EXPECT_EQ(list.Items(3), nullptr);
    list.Clear();
    EXPECT_EQ(log, (Log{2, 3, 4, 0, 1}));
    EXPECT_EQ(list.Count(), 0);
}

TEST(OwnerList, AnObjectHeldTwiceIsDestroyedOnce) {
    Log log;
    {
        T_zqOwnerList list;
        auto* a = new Counted(1, log);
        list.AddObject(a);
        list.AddObject(new Counted(2, log));
        list.AddObject(a);
        list.SetCount(2);  // a is still held at index 0
        EXPECT_TRUE(log.empty());
        list.AddObject(a);
        list.DeleteObject(0);  // a is still held at index 2
        EXPECT_TRUE(log.empty());
        list.Insert(0, a);
    }
    EXPECT_EQ(log, (Log{1, 2}));
}

TEST(OwnerList, AssignFromAnotherOwningListIsRefused) {
    Log log;
    T_zqOwnerList a, b;
    a.AddObject(new Counted(1, log));
    b.AddObject(new Counted(2, log));
    EXPECT_EQ(test::ErrorOf<EListError>([&] { b.Assign(a); }),
              "Assign between owning lists would own the objects twice");
    EXPECT_EQ(b.Count(), 1);
    a.Assign(a);  // itself: nothing changes
    EXPECT_EQ(a.Count(), 1);

    // From a plain list the owning list takes the objects over.
    Counted* c = new Counted(3, log);
    T_zqObjectList plain;
    plain.AddObject(c);
    TObject* old = b.Get(0);
    b.Assign(plain);
    EXPECT_EQ(b.Get(0), c);
    delete old;  // Assign drops what it replaces; its owner was the caller
    EXPECT_EQ(log, (Log{2}));
}

// On a plain and on an owning list (whose overrides destroy nothing either).
TEST(CustomList, BadIndexesRaiseAndChangeNothing) {
    Log log;
    T_zqOwnerList owner;
    T_zqObjectList plain;
    TObject* a = new Counted(1, log);
    TObject* b = new Counted(2, log);
    for (T_zqObjectList* list : {&plain, static_cast<T_zqObjectList*>(&owner)}) {
        list->Add(a);
        list->Add(b);
        const struct {
            const char* what;
            std::function<void()> op;
            const char* message;
        } rows[] = {
            {"Get", [&] { list->Get(2); }, "List index out of bounds (2)"},
            {"GetNegative", [&] { list->Get(-1); }, "List index out of bounds (-1)"},
            {"Put", [&] { list->Put(5, a); }, "List index out of bounds (5)"},
            {"Extract", [&] { list->Extract(2); }, "List index out of bounds (2)"},
            {"MoveTarget", [&] { list->Move(0, 2); }, "List index out of bounds (2)"},
            {"MoveSource", [&] { list->Move(-1, 0); }, "List index out of bounds (-1)"},
            {"InsertPastCount", [&] { list->Insert(3, a); }, "List index out of bounds (3)"},
            {"SetObject", [&] { list->SetObject(2, a); }, "List index out of bounds (2)"},
            {"DeleteObject", [&] { list->DeleteObject(9); }, "List index out of bounds (9)"},
            {"CapacityBelowCount", [&] { list->SetCapacity(1); },
             "List capacity out of bounds (1)"},
            {"NegativeCount", [&] { list->SetCount(-1); }, "List count out of bounds (-1)"},
        };
        for (const auto& r : rows) {
            EXPECT_EQ(test::ErrorOf<EListError>(r.op), r.message) << r.what;
            ASSERT_EQ(list->Count(), 2) << r.what;
            EXPECT_EQ(list->Items(0), a) << r.what;
            EXPECT_EQ(list->Items(1), b) << r.what;
        }
        EXPECT_TRUE(log.empty());
    }
}

// ---- files ---------------------------------------------------------------------------

std::string Pattern(size_t n) {
    std::string s(n, '\0');
    for (size_t i = 0; i < n; ++i) s[i] = static_cast<char>((i * 131 + 7 + i / 251) & 0xFF);
    return s;
}

TEST(PathFunctions, Results) {
    EXPECT_EQ(AddBackslash(" C:\\x "), "C:\\x\\");  // trimmed
    EXPECT_EQ(AddBackslash(""), "");
    EXPECT_EQ(AddBackslash("C:\\"), "C:\\");
    EXPECT_EQ(RemoveBackslash("C:\\x\\ "), "C:\\x");
    EXPECT_EQ(RemoveBackslash("C:\\x\\\\"), "C:\\x\\");   // only one
    EXPECT_EQ(BaseName("C:\\d.d\\name.tar.gz"), "name");  // up to the first dot
    EXPECT_EQ(ResolvePath("D:\\Root", ""), "");
    EXPECT_EQ(ResolvePath("D:\\Root", "C:\\o\\f.txt"), "D:\\Root\\f.txt");
    EXPECT_EQ(ResolvePath("D:\\Root", "\\\\srv\\sh\\f.txt"), "D:\\Root\\f.txt");
    EXPECT_EQ(ResolvePath("D:\\Root", "\\X\\y"), "D:\\X\\y");  // from the drive root
    EXPECT_EQ(ResolvePath("D:\\Root\\", "sub\\f"), "D:\\Root\\sub\\f");
    EXPECT_EQ(RelativePath("C:\\Data", "c:\\data\\x\\y.txt"), "x\\y.txt");  // ignoring case
    // Only whole components are a prefix.
    EXPECT_EQ(RelativePath("D:\\Work", "D:\\Work2\\a.txt"), "D:\\Work2\\a.txt");
    EXPECT_EQ(RelativePath("D:\\Work\\", "d:\\work"), "");
    EXPECT_EQ(RelativePath("D:\\Work", "E:\\Work\\a"), "E:\\Work\\a");

    EXPECT_TRUE(IsNetworkPath("\\\\srv\\x"));
    EXPECT_TRUE(IsNetworkPath("//srv/x"));
    EXPECT_FALSE(IsNetworkPath("C:\\x"));
}

TEST_F(FileUtilsTree, TempFileNameCountsUpWithinEightCharacters) {
    CreateDir("d/T");
    EXPECT_EQ(TempFileName("D:\\T", "ABC.BAT", false), "ABC1.BAT");
    CreateFile("d/T/abc1.bat");  // taken whatever its case
    EXPECT_EQ(TempFileName("D:\\T\\", "C:\\elsewhere\\ABC.BAT", true), "ABC2.BAT");
    EXPECT_TRUE(Exists(Root() + "/d/T/ABC2.BAT"));
    EXPECT_EQ(TempFileName("", "D:\\T\\ABC.BAT", false), "ABC3.BAT");

    EXPECT_EQ(TempFileName("D:\\T", "LONGNAME1", false), "LONGNAME11.tmp");
}

TEST_F(FileUtilsTree, DirectoryHelpers) {
    EXPECT_TRUE(ForceDir("D:\\a\\b\\c\\"));
    EXPECT_TRUE(Exists(Root() + "/d/a/b/c"));
    EXPECT_TRUE(ForceDir("D:\\a\\b\\c"));
    CreateFile("d/file");
    EXPECT_FALSE(ForceDir("D:\\file\\sub"));

    EXPECT_TRUE(IsDirEmpty("D:\\missing"));
    CreateFile("d/a/b/c/.hidden");
    EXPECT_TRUE(IsDirEmpty("D:\\a\\b\\c"));
    EXPECT_FALSE(IsDirEmpty("D:\\a"));  // holds a directory

    CreateFile("d/W/one.txt", std::string(123, 'x'));
    EXPECT_EQ(FileSizeOf("D:\\W\\one.txt"), 123);
    EXPECT_EQ(FileSizeOf("D:\\W\\*.txt"), 123);
    EXPECT_EQ(FileSizeOf("D:\\W\\none.txt"), -static_cast<int64_t>(kErrFileNotFound));
    EXPECT_LT(FileSizeOf("D:\\NoDir\\none.txt"), 0);
}

TEST_F(FileUtilsTree, DeleteMatchingAndDeleteTree) {
    for (const char* f : {"d/W/a.bak", "d/W/b.BAK", "d/W/.h.bak", "d/W/c.txt"}) CreateFile(f);
    CreateDir("d/W/sub.bak");
    EXPECT_TRUE(DeleteMatching("D:\\W\\*.bak"));
    EXPECT_EQ(Entries("d/W"), (Strings{"c.txt", "sub.bak"}));
    EXPECT_TRUE(DeleteMatching("D:\\W\\*.none"));

    for (const char* f : {"d/T/f1", "d/T/sub/f2", "d/T/sub/deeper/f3", "d/T/.git/objects/x"})
        CreateFile(f);
    std::string ro = CreateFile("d/T/sub/ro.txt");
    chmod(ro.c_str(), 0444);
    EXPECT_TRUE(DeleteTree("D:\\T\\"));
    EXPECT_TRUE(Exists(Root() + "/d/T"));
    EXPECT_TRUE(Entries("d/T").empty());
    EXPECT_TRUE(DeleteTree("D:\\Missing"));
}

// ---- the copier ------------------------------------------------------------------

class Copier : public FileUtilsTree {
  protected:
    void SetUp() override {
        FileUtilsTree::SetUp();
        CreateDir("d/dst");
    }
    std::string Src(size_t n) {
        CreateFile("d/src/data.bin", Pattern(n));
        return "D:\\src\\data.bin";
    }
};

// Diskette copies keep their exact length; a directory as the target takes the name.
TEST_F(Copier, CopiesKeepTheirExactLength) {
    for (size_t n : {16384u, 1024u, 1000u, 0u, 16385u, 5000u}) {
        SCOPED_TRACE(n);
        std::string src = Src(n);
        ASSERT_TRUE(CopyFileEx(src, n == 5000 ? "A:\\" : "A:\\data.bin"));
        EXPECT_EQ(ReadFile(Root() + "/a/data.bin"), Pattern(n));
        EXPECT_TRUE(VerifyCopy(src, "a:\\DATA.BIN"));
    }
    ASSERT_TRUE(CopyFileEx(Src(5000), "D:\\dst"));
    EXPECT_EQ(ReadFile(Root() + "/d/dst/data.bin"), Pattern(5000));
    EXPECT_TRUE(VerifyCopy("D:\\src\\data.bin", "D:\\dst\\"));
}

// A stop keeps the previous target; verification compares the size, then every byte.
TEST_F(Copier, StopOnSecondCallKeepsThePreviousTarget) {
    std::string src = Src(40000);
    auto stopSecond = [](int* calls) {
        return [calls](int64_t, bool& flag) { flag = ++*calls == 2; };
    };
    int calls = 0;
    CreateFile("d/dst/data.bin", "previous");
    EXPECT_FALSE(CopyFileEx(src, "D:\\dst\\data.bin", stopSecond(&calls)));
    EXPECT_EQ(calls, 2);
    EXPECT_EQ(ReadFile(Root() + "/d/dst/data.bin"), "previous");
    EXPECT_EQ(Entries("d/dst"), (Strings{"data.bin"}));  // no temporary left

    calls = 0;
    EXPECT_FALSE(CopyFileEx(src, "D:\\dst\\new.bin", stopSecond(&calls)));
    EXPECT_EQ(Entries("d/dst"), (Strings{"data.bin"}));

    calls = 0;  // a diskette target is cleared first and the partial copy removed
    CreateFile("a/data.bin", "previous");
    EXPECT_FALSE(CopyFileEx(src, "A:\\data.bin", stopSecond(&calls)));
    EXPECT_TRUE(Entries("a").empty());

    calls = 0;
    EXPECT_FALSE(VerifyCopy(src, "D:\\dst\\data.bin", stopSecond(&calls)));  // sizes differ
    EXPECT_EQ(calls, 0);
    ASSERT_TRUE(CopyFileEx(src, "D:\\dst\\data.bin"));
    EXPECT_FALSE(VerifyCopy(src, "D:\\dst\\data.bin", stopSecond(&calls)));
    EXPECT_EQ(calls, 2);

    // Verification compares the size, then every byte.
    CreateFile("d/dst/short.bin", Pattern(39999));
    EXPECT_FALSE(VerifyCopy(src, "D:\\dst\\short.bin"));
    EXPECT_TRUE(VerifyCopy(src, "D:\\dst\\data.bin"));
    std::string changed = Pattern(40000);
    changed[33333] ^= 1;
    CreateFile("d/dst/changed.bin", changed);
    EXPECT_FALSE(VerifyCopy(src, "D:\\dst\\changed.bin"));
    EXPECT_THROW(VerifyCopy(src, "D:\\dst\\missing.bin"), EFOpenError);
}

TEST_F(Copier, TimeAndAttributesAreCarriedOver) {
    std::string src = Src(5000);
    const int32_t stamp = EncodeDosDateTime({2001, 2, 3, 4, 5, 6});
    ASSERT_TRUE(SetFileDate(src, stamp));
    ASSERT_TRUE(SetFileAttributes(src, kAttrReadOnly));
    for (const char* dest : {"D:\\dst\\data.bin", "A:\\data.bin"}) {
        ASSERT_TRUE(CopyFileEx(src, dest)) << dest;
        EXPECT_EQ(FileAge(dest), stamp) << dest;
        EXPECT_TRUE(GetFileAttributes(dest) & kAttrReadOnly) << dest;
        // A read-only copy is not overwritten behind the user's back.
        EXPECT_THROW(CopyFileEx(src, dest), EFOpenError) << dest;
        EXPECT_EQ(FileAge(dest), stamp) << dest;
    }
}

TEST_F(Copier, BadSourceOrDriveNeverCostsTheTarget) {
    CreateFile("a/keep.bin", "keep");
    CreateDir("d/adir");
    for (const char* bad : {"D:\\nothing.bin", "D:\\adir"}) {
        EXPECT_THROW(CopyFileEx(bad, "A:\\keep.bin"), EFOpenError) << bad;
        EXPECT_EQ(ReadFile(Root() + "/a/keep.bin"), "keep");
    }
    std::string src = Src(100);
    EXPECT_THROW(CopyFileEx(src, "Q:\\x.bin"), EDriveNotExist);
    // A file copied onto itself stays as it is, on a diskette too.
    CreateFile("a/self.bin", "self");
    EXPECT_TRUE(CopyFileEx("A:\\self.bin", "a:\\SELF.BIN"));
    EXPECT_EQ(ReadFile(Root() + "/a/self.bin"), "self");
    EXPECT_TRUE(CopyFileEx(src, "D:\\src\\DATA.BIN"));
    EXPECT_EQ(ReadFile(Root() + "/d/src/data.bin"), Pattern(100));

    // Reading a process's own memory at offset 0 fails with an I/O error.
    DriveMap map = GetDriveMap();
    map['P'] = "/proc/self";
    SetDriveMap(map);
    const std::string text =
        test::ErrorOf<EFREadError>([] { CopyFileEx("P:\\mem", "D:\\dst\\mem.bin"); });
    EXPECT_EQ(text.substr(0, 25), "Read File Error  P:\\mem\r\n");
    EXPECT_GT(text.size(), 25u);
    EXPECT_TRUE(Entries("d/dst").empty());
}

TEST_F(Copier, FullTargetRaisesDiskFullAndKeepsThePreviousCopy) {
    std::string src = Src(1 << 20);
    CreateFile("d/dst/data.bin", "previous");
    {
        test::FullDisk full(64 * 1024);
        EXPECT_THROW(CopyFileEx(src, "D:\\dst\\data.bin"), EDiskFull);
        EXPECT_THROW(CopyFileEx(src, "A:\\data.bin"), EDiskFull);
    }
    EXPECT_EQ(ReadFile(Root() + "/d/dst/data.bin"), "previous");
    EXPECT_EQ(Entries("d/dst"), (Strings{"data.bin"}));
    EXPECT_TRUE(Entries("a").empty());  // no half file left on the diskette
}

// A place more than half full could never be refreshed: the new copy alone
// was asked to fit beside the old one. When the two together fit, the old copy
// makes room; when not, the old copy stays and the error names the cause.
TEST_F(Copier, OldCopyMakesRoomWhenOnlyBothTogetherFit) {
    const std::string src = Src(100000);
    struct Row {
        const char* name;
        int64_t free;
        bool copied;
    };
    for (const Row& r : {Row{"OldAndFreeFit", 60000, true}, Row{"TooSmallEvenSo", 30000, false}}) {
        SCOPED_TRACE(r.name);
        CreateFile("d/dst/data.bin", std::string(50000, 'o'));
        const std::string dst = Root() + "/d/dst";
        SetFreeSpaceHook([&](const std::string& p) -> std::optional<int64_t> {
            if (p.rfind(dst, 0) == 0) return r.free;
            return std::nullopt;
        });
        try {
            EXPECT_TRUE(CopyFileEx(src, "D:\\dst\\data.bin"));
            EXPECT_TRUE(r.copied);
        } catch (const EDiskFull& e) {
            EXPECT_FALSE(r.copied);
            EXPECT_NE(std::string(e.what()).find("D:\\dst\\data.bin"), std::string::npos);
        }
        SetFreeSpaceHook(nullptr);
        EXPECT_EQ(ReadFile(dst + "/data.bin").size(), r.copied ? 100000u : 50000u);
        EXPECT_EQ(Entries("d/dst"), (Strings{"data.bin"}));
    }
}

// Sizes past 32 bits, on sparse files (nothing is written).
TEST_F(Copier, SizesAreSixtyFourBit) {
    const int64_t kBig = 3LL << 30;
    std::string big = CreateFile("d/src/big.bin");
    ASSERT_EQ(truncate(big.c_str(), kBig), 0);
    std::string huge = CreateFile("d/src/huge.bin");
    ASSERT_EQ(truncate(huge.c_str(), (4LL << 30) + 5), 0);
    CreateFile("d/dst/five.bin", "12345");

    EXPECT_EQ(FileSizeOf("D:\\src\\big.bin"), kBig);
    // Cut to 32 bits both sizes would read 5.
    EXPECT_FALSE(VerifyCopy("D:\\src\\huge.bin", "D:\\dst\\five.bin"));

    std::vector<int64_t> seen;
    auto stopAfterOneBlock = [&](int64_t v, bool& flag) {
        seen.push_back(v);
        flag = seen.size() == 2;
    };
    std::string twin = CreateFile("d/dst/big.bin");
    ASSERT_EQ(truncate(twin.c_str(), kBig), 0);
    EXPECT_FALSE(VerifyCopy("D:\\src\\big.bin", "D:\\dst\\big.bin", stopAfterOneBlock));
    EXPECT_EQ(seen, (std::vector<int64_t>{kBig, 16384}));

    auto free = DiskFreeBytes("D:\\");
    if (!free || *free < kBig + (1LL << 30)) GTEST_SKIP() << "too little room for the copy check";
    seen.clear();
    EXPECT_FALSE(CopyFileEx("D:\\src\\big.bin", "D:\\dst\\copy.bin", stopAfterOneBlock));
    EXPECT_EQ(seen, (std::vector<int64_t>{kBig, 16384}));
    EXPECT_FALSE(Exists(Root() + "/d/dst/copy.bin"));
}

// ---- file lists --------------------------------------------------------------------

// AddFiles appends and counts only what its own call added; a sorted scan sorts what
// was there too.
TEST_F(FileUtilsTree, AddFilesAndSortedScans) {
    for (const char* f : {"d/Arc/ARC.A01", "d/Arc/ARC.A02", "d/Arc/OLD.A01", "d/Arc/ARC.A03"})
        CreateFile(f);
    T_zqFileList list;
    EXPECT_EQ(list.AddFiles("D:\\Arc", "*.A01"), 2);
    Strings first = list.Strings();
    EXPECT_EQ(list.AddFiles("d:\\arc\\", "*.A02"), 1);
    ASSERT_EQ(list.Count(), 3);
    EXPECT_EQ(list[0], first[0]);
    EXPECT_EQ(list[1], first[1]);
    EXPECT_EQ(list[2], "D:\\ARC\\ARC.A02");
    std::sort(first.begin(), first.end());
    EXPECT_EQ(first, (Strings{"D:\\ARC\\ARC.A01", "D:\\ARC\\OLD.A01"}));
    EXPECT_EQ(list.AddFiles("D:\\Missing", "*.*"), 0);
    EXPECT_EQ(list.Count(), 3);

    CreateFile("d/S/b.txt");
    CreateFile("d/S/a.txt");
    T_zqFileList sorted;
    sorted.Add("D:\\S\\c.txt");
    EXPECT_EQ(sorted.FillFromDir("D:\\S", "*.txt", true, false, true), 2);
    EXPECT_EQ(sorted.Strings(), (Strings{"D:\\S\\a.txt", "D:\\S\\b.txt", "D:\\S\\c.txt"}));
}

TEST_F(FileUtilsTree, ReadDirsAndFilesPutsSortedDirectoriesFirst) {
    for (const char* f : {"d/Data/zeta/x", "d/Data/ALPHA/x", "d/Data/beta/x", "d/Data/.git/x",
                          "d/Data/b.txt", "d/Data/A.txt", "d/Data/c.doc", "d/Data/sub.txt/x"})
        CreateFile(f);
    T_zqFileList list;
    list.Add("stale");
    EXPECT_EQ(list.ReadDirsAndFiles("d:\\data", "*.txt", true), 6);
    EXPECT_EQ(list.Strings(),
              (Strings{"D:\\DATA\\ALPHA\\", "D:\\DATA\\beta\\", "D:\\DATA\\sub.txt\\",
                       "D:\\DATA\\zeta\\", "D:\\DATA\\A.txt", "D:\\DATA\\b.txt"}));

    // A missing directory still empties the list.
    EXPECT_EQ(list.ReadDirsAndFiles("D:\\Nothing", "*.*", true), 0);
    EXPECT_EQ(list.Count(), 0);
}

}  // namespace
}  // namespace hv
