#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "platform/AnsiLiteral.h"
#include "support/TempTree.h"
#include "util/Exception.h"
#include "util/TypeList.h"

namespace hv {
namespace {

// Records the order in which objects are destroyed.
struct Counted : TObject {
    Counted(int id, std::vector<int>& log) : id(id), log(log) {}
    ~Counted() override { log.push_back(id); }
    int id;
    std::vector<int>& log;
};

template <class F>
std::string ListErrorOf(F&& f) {
    try {
        f();
    } catch (const EListError& e) {
        return e.what();
    }
    return "(nothing raised)";
}

TEST(OwnerList, DestroyingTheListDestroysEveryItemAnObjectListNone) {
    std::vector<int> log;
    Counted a(1, log), b(2, log), c(3, log);
    {
        T_zqObjectList plain;
        plain.AddObject(&a);
        plain.AddObject(&b);
        plain.AddObject(&c);
    }
    EXPECT_TRUE(log.empty());
    {
        T_zqOwnerList owner;
        for (int id = 1; id <= 3; ++id) owner.AddObject(new Counted(id, log));
    }
    EXPECT_EQ(log, (std::vector<int>{1, 2, 3}));
}

// The owning lists of the system derive from T_zqOwnerList and add accessors.
class ArcLikeList : public T_zqOwnerList {
  public:
    Counted* Item(int i) const { return static_cast<Counted*>(GetObject(i)); }
};

TEST(OwnerList, DescendantDestroysItsItems) {
    std::vector<int> log;
    {
        ArcLikeList list;
        list.AddObject(new Counted(7, log));
        list.AddObject(nullptr);
        list.AddObject(new Counted(8, log));
        EXPECT_EQ(list.Item(2)->id, 8);
    }
    EXPECT_EQ(log, (std::vector<int>{7, 8}));
}

TEST(OwnerList, RemoveHandsOutDeleteObjectDestroys) {
    std::vector<int> log;
    T_zqOwnerList list;
    auto* a = new Counted(1, log);
    auto* b = new Counted(2, log);
    list.AddObject(a);
    list.AddObject(b);
    EXPECT_EQ(list.Remove(a), 0);
    EXPECT_TRUE(log.empty());
    EXPECT_EQ(list.Count(), 1);
    EXPECT_EQ(list.DeleteObject(0), nullptr);
    EXPECT_EQ(log, (std::vector<int>{2}));
    TObject* out = nullptr;
    list.AddObject(a);
    out = list.Extract(0);
    EXPECT_EQ(out, a);
    EXPECT_EQ(log, (std::vector<int>{2}));
    delete a;
}

TEST(OwnerList, ShrinkingDestroysTheCutOffItemsInOrder) {
    std::vector<int> log;
    T_zqOwnerList list;
    for (int id = 0; id < 5; ++id) list.AddObject(new Counted(id, log));
    list.SetCount(2);
    EXPECT_EQ(log, (std::vector<int>{2, 3, 4}));
    EXPECT_EQ(list.Count(), 2);
    list.SetCount(4);  // grows with null entries
    EXPECT_EQ(list.Items(3), nullptr);
    list.Clear();
    EXPECT_EQ(log, (std::vector<int>{2, 3, 4, 0, 1}));
    EXPECT_EQ(list.Count(), 0);
}

TEST(OwnerList, AnObjectHeldTwiceIsDestroyedOnce) {
    std::vector<int> log;
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
    EXPECT_EQ(log, (std::vector<int>{1, 2}));
}

TEST(OwnerList, AssignFromAnotherOwningListIsRefused) {
    std::vector<int> log;
    T_zqOwnerList a, b;
    a.AddObject(new Counted(1, log));
    b.AddObject(new Counted(2, log));
    EXPECT_EQ(ListErrorOf([&] { b.Assign(a); }),
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
    EXPECT_EQ(log, (std::vector<int>{2}));
}

TEST(CustomList, PackIndexOfMoveExchange) {
    TObject a, b, c;
    T_zqObjectList list;
    list.Add(&a);
    list.Add(nullptr);
    list.Add(&b);
    list.Add(nullptr);
    list.Pack();
    ASSERT_EQ(list.Count(), 2);
    EXPECT_EQ(list.Items(0), &a);
    EXPECT_EQ(list.Items(1), &b);

    list.Add(&a);
    EXPECT_EQ(list.IndexOf(&a), 0);
    EXPECT_EQ(list.IndexOf(&c), -1);
    EXPECT_EQ(list.Remove(&c), -1);
    list.Insert(3, &c);  // Count: appends
    list.Move(3, 0);     // c a b a
    EXPECT_EQ(list.Items(0), &c);
    EXPECT_EQ(list.Items(3), &a);
    list.Exchange(0, 2);  // b a c a
    EXPECT_EQ(list.Items(0), &b);
    EXPECT_EQ(list.Items(2), &c);
    EXPECT_EQ(list.RemoveObject(&a), 1);
    EXPECT_EQ(list.Count(), 3);
    list.SetObject(0, nullptr);
    EXPECT_EQ(list.Objects(0), nullptr);
}

TEST(CustomList, BadIndexesRaiseAndChangeNothing) {
    TObject a, b;
    T_zqObjectList list;
    list.Add(&a);
    list.Add(&b);
    struct Row {
        const char* what;
        std::function<void()> op;
        const char* message;
    };
    const Row rows[] = {
        {"Get", [&] { list.Get(2); }, "List index out of bounds (2)"},
        {"GetNegative", [&] { list.Get(-1); }, "List index out of bounds (-1)"},
        {"Put", [&] { list.Put(5, &a); }, "List index out of bounds (5)"},
        {"Extract", [&] { list.Extract(2); }, "List index out of bounds (2)"},
        {"ExchangeSecond", [&] { list.Exchange(0, 3); }, "List index out of bounds (3)"},
        {"MoveTarget", [&] { list.Move(0, 2); }, "List index out of bounds (2)"},
        {"MoveSource", [&] { list.Move(-1, 0); }, "List index out of bounds (-1)"},
        {"InsertPastCount", [&] { list.Insert(3, &a); }, "List index out of bounds (3)"},
        {"SetObject", [&] { list.SetObject(2, &a); }, "List index out of bounds (2)"},
        {"DeleteObject", [&] { list.DeleteObject(9); }, "List index out of bounds (9)"},
        {"CapacityBelowCount", [&] { list.SetCapacity(1); }, "List capacity out of bounds (1)"},
        {"NegativeCount", [&] { list.SetCount(-1); }, "List count out of bounds (-1)"},
    };
    for (const Row& r : rows) {
        EXPECT_EQ(ListErrorOf(r.op), r.message) << r.what;
        ASSERT_EQ(list.Count(), 2) << r.what;
        EXPECT_EQ(list.Items(0), &a) << r.what;
        EXPECT_EQ(list.Items(1), &b) << r.what;
    }
    list.SetCapacity(100);
    EXPECT_EQ(list.Capacity(), 100);
    list.SetCapacity(2);
    EXPECT_EQ(list.Capacity(), 2);
    for (int i = 0; i < 1000; ++i) list.Add(nullptr);
    EXPECT_GE(list.Capacity(), 1002);
}

TEST(OwnerList, BadIndexDestroysNothing) {
    std::vector<int> log;
    T_zqOwnerList list;
    list.AddObject(new Counted(1, log));
    EXPECT_EQ(ListErrorOf([&] { list.DeleteObject(1); }), "List index out of bounds (1)");
    EXPECT_EQ(ListErrorOf([&] { list.SetCount(-2); }), "List count out of bounds (-2)");
    EXPECT_EQ(ListErrorOf([&] { list.SetCapacity(0); }), "List capacity out of bounds (0)");
    EXPECT_TRUE(log.empty());
    EXPECT_EQ(list.Count(), 1);
}

}  // namespace
}  // namespace hv
