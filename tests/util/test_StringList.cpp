#include <gtest/gtest.h>
#include <sys/stat.h>

#include <vector>

#include "platform/AnsiLiteral.h"
#include "platform/CodePage.h"
#include "support/ErrorOf.h"
#include "support/TempTree.h"
#include "util/Exception.h"
#include "util/StringList.h"

namespace hv {
namespace {

using Strings = std::vector<std::string>;

struct Counted : TObject {
    Counted(int id, std::vector<int>& log) : id(id), log(log) {}
    ~Counted() override { log.push_back(id); }
    int id;
    std::vector<int>& log;
};

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

TEST(StringList, SortedListKeepsOrderAndHandlesDuplicates) {
    TStringList list;
    list.SetSorted(true);
    AddAll(list, {"b", "C"});
    EXPECT_EQ(list.Add("a"), 0);
    EXPECT_EQ(list.Add("B"), 1);  // ignored: "b" is there
    EXPECT_EQ(list.Strings(), (Strings{"a", "b", "C"}));
    int index = -1;
    EXPECT_TRUE(list.Find("c", index));
    EXPECT_EQ(index, 2);
    EXPECT_FALSE(list.Find("bb", index));
    EXPECT_EQ(index, 2);
    EXPECT_THROW(list.Insert(0, "x"), EListError);
    EXPECT_THROW(list.Put(0, "x"), EListError);
}

TEST(StringList, IndexErrorsRaiseAndChangeNothing) {
    TStringList list;
    AddAll(list, {"one", "two", "three"});
    EXPECT_EQ(test::ErrorOf<EListError>([&] { list.Delete(3); }), "List index out of bounds (3)");
    EXPECT_THROW(list.Get(-1), EListError);
    EXPECT_THROW(list.Insert(4, "x"), EListError);
    EXPECT_EQ(list.Strings(), (Strings{"one", "two", "three"}));
}

TEST(StringList, OnChangeFiresOnceForABracket) {
    TStringList list;
    int fired = 0;
    list.OnChange = [&](TStringList&) { ++fired; };
    list.Add("x");
    EXPECT_EQ(fired, 1);
    list.BeginUpdate();
    list.BeginUpdate();
    list.Add("y");
    list.Sort();
    list.Delete(0);
    list.EndUpdate();
    EXPECT_EQ(fired, 1);
    list.EndUpdate();
    EXPECT_EQ(fired, 2);
    list.BeginUpdate();
    list.EndUpdate();  // nothing changed: nobody told
    EXPECT_EQ(fired, 2);
    list.EndUpdate();  // unbalanced: ignored
    EXPECT_EQ(list.UpdateCount(), 0);
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
    std::vector<int> log;
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
        EXPECT_EQ(log, (std::vector<int>{2}));
        owner.PutObject(0, new Counted(4, log));
        EXPECT_EQ(log, (std::vector<int>{2, 1}));
        TStringList other;
        other.AddObject("z", &shared);
        EXPECT_THROW(owner.AddStrings(other), EListError);
        EXPECT_THROW(owner.Assign(other), EListError);
        EXPECT_EQ(owner.Count(), 2);
        TStringList copy(owner);  // a view: does not own
        EXPECT_FALSE(copy.OwnsObjects());
        EXPECT_EQ(copy.Objects(1), owner.Objects(1));
    }
    EXPECT_EQ(log, (std::vector<int>{2, 1, 4, 3}));
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
    FindFile f;
    int entries = 0;
    for (bool ok = f.First("D:\\Cfg\\*.*", kAttrAnyFile); ok; ok = f.Next()) ++entries;
    EXPECT_EQ(entries, 1);
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

}  // namespace
}  // namespace hv
