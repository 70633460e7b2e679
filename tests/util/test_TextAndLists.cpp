// Masks, words and number texts; the string list and the object lists: order,
// ownership, refusals.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <functional>
#include <vector>

#include "platform/AnsiLiteral.h"
#include "platform/CodePage.h"
#include "support/ErrorOf.h"
#include "support/TempTree.h"
#include "util/Exception.h"
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

class StringListFiles : public test::TempTree {};

TEST_F(StringListFiles, SaveAndLoadThroughWindowsPaths) {
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

TEST_F(StringListFiles, FailuresRaiseAndKeepTheOldFile) {
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

}  // namespace
}  // namespace hv
