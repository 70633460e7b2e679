#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "support/ErrorOf.h"
#include "util/Exception.h"
#include "util/TypeList.h"

namespace hv {
namespace {

using Log = std::vector<int>;

// Records the order in which objects are destroyed.
struct Counted : TObject {
    Counted(int id, Log& log) : id(id), log(log) {}
    ~Counted() override { log.push_back(id); }
    int id;
    Log& log;
};

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
            {"ExchangeSecond", [&] { list->Exchange(0, 3); }, "List index out of bounds (3)"},
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
