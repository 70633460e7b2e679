// TStringList: an ordered list of 1251 strings, each with an optional object.
//
// Comparisons (IndexOf, Find, Sort, duplicates) ignore letter case the
// 1251 way; sorting follows the ANSI collation (Cyrillic alphabet order).
// Objects are not owned unless OwnsObjects is set; an owning list destroys an
// object when its entry is deleted, replaced or cleared, and at destruction.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "util/Object.h"

namespace hv {

enum class TDuplicates { Ignore, Accept, Error };

class TStringList : public TObject {
  public:
    using TNotifyEvent = std::function<void(TStringList& sender)>;
    using TCompare = std::function<int(const TStringList& list, int index1, int index2)>;

    TStringList() = default;
    explicit TStringList(bool ownsObjects) : ownsObjects_(ownsObjects) {}
    ~TStringList() override;
    // Copies strings and object references; an owning list cannot be copied.
    TStringList(const TStringList& other);
    TStringList& operator=(const TStringList& other);

    int Count() const { return static_cast<int>(items_.size()); }
    bool Empty() const { return items_.empty(); }

    // Index checks raise EListError "List index out of bounds (%d)".
    const std::string& Get(int index) const;
    const std::string& operator[](int index) const { return Get(index); }
    void Put(int index, const std::string& s);  // not allowed on a sorted list
    TObject* Objects(int index) const;
    void PutObject(int index, TObject* obj);

    // Appends (or, when Sorted, inserts in order); returns the index. On a
    // sorted list a duplicate is handled by Duplicates.
    int Add(const std::string& s);
    int AddObject(const std::string& s, TObject* obj);
    void Insert(int index, const std::string& s);  // not allowed on a sorted list
    void InsertObject(int index, const std::string& s, TObject* obj);
    void Delete(int index);
    void Clear();
    void Exchange(int index1, int index2);
    void Move(int curIndex, int newIndex);

    // First index of S ignoring case, or -1 (binary search on a sorted list).
    int IndexOf(const std::string& s) const;
    int IndexOfObject(const TObject* obj) const;
    // Sorted lists: true when S is present; Index is its place or where it would go.
    bool Find(const std::string& s, int& index) const;

    void Sort();
    void CustomSort(const TCompare& compare);
    bool Sorted() const { return sorted_; }
    void SetSorted(bool value);
    TDuplicates Duplicates() const { return duplicates_; }
    void SetDuplicates(TDuplicates value) { duplicates_ = value; }
    bool OwnsObjects() const { return ownsObjects_; }
    void SetOwnsObjects(bool value) { ownsObjects_ = value; }

    // Appends the strings and objects of Source (AddObject for each).
    void AddStrings(const TStringList& source);
    // Replaces the content by Source's strings and objects.
    void Assign(const TStringList& source);
    // Only the strings, without objects.
    std::vector<std::string> Strings() const;
    // Rewrites every string in place (also on a sorted list: order and flag stay).
    void Transform(const std::function<std::string(const std::string&)>& f);

    // Each line followed by CR LF.
    std::string Text() const;
    // Splits at CR LF, LF or CR; a final line break adds no empty line.
    void SetText(const std::string& text);
    // Windows paths. Loading raises EFOpenError, saving EFCreateError. Saving
    // writes a sibling temporary file and puts it in place when complete.
    void LoadFromFile(const std::string& fileName);
    void SaveToFile(const std::string& fileName) const;

    // Changes made inside the bracket fire OnChange once, at the outer EndUpdate.
    void BeginUpdate();
    void EndUpdate();
    int UpdateCount() const { return updateCount_; }

    TNotifyEvent OnChange;

  protected:
    void Changed();

  private:
    struct Item {
        std::string s;
        TObject* obj = nullptr;
    };

    void CheckIndex(int index) const;
    void CheckNotSorted() const;
    void CheckCanTake(const TStringList& source) const;
    void InsertItem(int index, const std::string& s, TObject* obj);
    void DropObject(TObject* obj);
    void SortItems();

    std::vector<Item> items_;
    bool sorted_ = false;
    bool ownsObjects_ = false;
    TDuplicates duplicates_ = TDuplicates::Ignore;
    int updateCount_ = 0;
    bool changedInUpdate_ = false;
};

}  // namespace hv
