#include "util/StringList.h"

#include <algorithm>
#include <cstdio>
#include <unordered_set>

#include "platform/CodePage.h"
#include "platform/Platform.h"
#include "util/Exception.h"
#include "util/FileUtils.h"

namespace hv {

TStringList::~TStringList() {
    OnChange = nullptr;  // nobody is to be told about a dying list
    Clear();
}

TStringList::TStringList(const TStringList& other)
    : items_(other.items_), sorted_(other.sorted_), duplicates_(other.duplicates_) {
    // The copy refers to the same objects; only the original owns them.
}

TStringList& TStringList::operator=(const TStringList& other) {
    Assign(other);
    return *this;
}

void TStringList::CheckIndex(int index) const {
    if (index < 0 || index >= Count()) ListError("List index out of bounds (%d)", index);
}

void TStringList::CheckNotSorted() const {
    if (sorted_) throw EListError("Operation not allowed on sorted list");
}

void TStringList::CheckCanTake(const TStringList& source) const {
    if (!ownsObjects_ || &source == this) return;
    for (const Item& it : source.items_)
        if (it.obj) throw EListError("An owning string list cannot take objects of another list");
}

void TStringList::DropObject(TObject* obj) {
    if (!ownsObjects_ || !obj) return;
    // An object listed twice is destroyed only when its last entry goes.
    if (IndexOfObject(obj) >= 0) return;
    delete obj;
}

const std::string& TStringList::Get(int index) const {
    CheckIndex(index);
    return items_[index].s;
}

void TStringList::Put(int index, const std::string& s) {
    CheckNotSorted();
    CheckIndex(index);
    items_[index].s = s;
    Changed();
}

TObject* TStringList::Objects(int index) const {
    CheckIndex(index);
    return items_[index].obj;
}

void TStringList::PutObject(int index, TObject* obj) {
    CheckIndex(index);
    TObject* old = items_[index].obj;
    if (old == obj) return;
    items_[index].obj = obj;
    DropObject(old);
    Changed();
}

int TStringList::Add(const std::string& s) {
    return AddObject(s, nullptr);
}

int TStringList::AddObject(const std::string& s, TObject* obj) {
    int index = Count();
    if (sorted_ && Find(s, index)) {
        switch (duplicates_) {
            case TDuplicates::Ignore:
                if (obj != items_[index].obj) DropObject(obj);
                return index;
            case TDuplicates::Error:
                throw EListError("String list does not allow duplicates");
            case TDuplicates::Accept:
                break;
        }
    }
    InsertItem(index, s, obj);
    return index;
}

void TStringList::Insert(int index, const std::string& s) {
    InsertObject(index, s, nullptr);
}

void TStringList::InsertObject(int index, const std::string& s, TObject* obj) {
    CheckNotSorted();
    if (index < 0 || index > Count()) ListError("List index out of bounds (%d)", index);
    InsertItem(index, s, obj);
}

void TStringList::InsertItem(int index, const std::string& s, TObject* obj) {
    items_.insert(items_.begin() + index, Item{s, obj});
    Changed();
}

void TStringList::Delete(int index) {
    CheckIndex(index);
    TObject* obj = items_[index].obj;
    items_.erase(items_.begin() + index);
    DropObject(obj);
    Changed();
}

void TStringList::Clear() {
    if (items_.empty()) return;
    std::vector<Item> old;
    old.swap(items_);
    if (ownsObjects_) {
        std::unordered_set<TObject*> done;
        for (Item& it : old)
            if (it.obj && done.insert(it.obj).second) delete it.obj;
    }
    Changed();
}

void TStringList::Exchange(int index1, int index2) {
    CheckIndex(index1);
    CheckIndex(index2);
    std::swap(items_[index1], items_[index2]);
    Changed();
}

void TStringList::Move(int curIndex, int newIndex) {
    CheckNotSorted();
    if (curIndex == newIndex) return;
    CheckIndex(curIndex);
    CheckIndex(newIndex);
    Item it = std::move(items_[curIndex]);
    items_.erase(items_.begin() + curIndex);
    items_.insert(items_.begin() + newIndex, std::move(it));
    Changed();
}

int TStringList::IndexOf(const std::string& s) const {
    if (sorted_) {
        int index;
        return Find(s, index) ? index : -1;
    }
    for (int i = 0; i < Count(); ++i)
        if (SameText(items_[i].s, s)) return i;
    return -1;
}

int TStringList::IndexOfObject(const TObject* obj) const {
    for (int i = 0; i < Count(); ++i)
        if (items_[i].obj == obj) return i;
    return -1;
}

bool TStringList::Find(const std::string& s, int& index) const {
    // Lower bound; with Duplicates = Accept the first of equal keys.
    int lo = 0, hi = Count();
    bool found = false;
    while (lo < hi) {
        int mid = lo + (hi - lo) / 2;
        int c = AnsiCollateText(items_[mid].s, s);
        if (c < 0) {
            lo = mid + 1;
        } else {
            if (c == 0) found = true;
            hi = mid;
        }
    }
    index = lo;
    return found;
}

void TStringList::SortItems() {
    std::stable_sort(items_.begin(), items_.end(),
                     [](const Item& a, const Item& b) { return AnsiCollateText(a.s, b.s) < 0; });
}

void TStringList::Sort() {
    if (Count() < 2) return;
    SortItems();
    Changed();
}

void TStringList::CustomSort(const TCompare& compare) {
    if (Count() < 2) return;
    // Sort a permutation so the comparer sees the list as it stands.
    std::vector<int> order(items_.size());
    for (size_t i = 0; i < order.size(); ++i) order[i] = static_cast<int>(i);
    std::stable_sort(order.begin(), order.end(),
                     [&](int a, int b) { return compare(*this, a, b) < 0; });
    std::vector<Item> sorted;
    sorted.reserve(items_.size());
    for (int i : order) sorted.push_back(std::move(items_[i]));
    items_.swap(sorted);
    Changed();
}

void TStringList::SetSorted(bool value) {
    if (value == sorted_) return;
    if (value) Sort();
    sorted_ = value;
}

void TStringList::AddStrings(const TStringList& source) {
    if (&source == this) {
        TStringList copy(source);
        AddStrings(copy);
        return;
    }
    CheckCanTake(source);
    BeginUpdate();
    try {
        for (const Item& it : source.items_) AddObject(it.s, it.obj);
    } catch (...) {
        EndUpdate();
        throw;
    }
    EndUpdate();
}

void TStringList::Assign(const TStringList& source) {
    if (&source == this) return;
    CheckCanTake(source);
    BeginUpdate();
    try {
        Clear();
        if (sorted_) {
            for (const Item& it : source.items_) AddObject(it.s, it.obj);
        } else {
            items_ = source.items_;
            Changed();
        }
    } catch (...) {
        EndUpdate();
        throw;
    }
    EndUpdate();
}

std::vector<std::string> TStringList::Strings() const {
    std::vector<std::string> out;
    out.reserve(items_.size());
    for (const Item& it : items_) out.push_back(it.s);
    return out;
}

void TStringList::Transform(const std::function<std::string(const std::string&)>& f) {
    if (items_.empty()) return;
    for (Item& it : items_) it.s = f(it.s);
    Changed();
}

std::string TStringList::Text() const {
    size_t len = 0;
    for (const Item& it : items_) len += it.s.size() + 2;
    std::string out;
    out.reserve(len);
    for (const Item& it : items_) {
        out += it.s;
        out += "\r\n";
    }
    return out;
}

void TStringList::SetText(const std::string& text) {
    BeginUpdate();
    try {
        Clear();
        size_t p = 0;
        while (p < text.size()) {
            size_t e = text.find_first_of("\r\n", p);
            if (e == std::string::npos) {
                Add(text.substr(p));
                break;
            }
            Add(text.substr(p, e - p));
            p = e + 1;
            if (text[e] == '\r' && p < text.size() && text[p] == '\n') ++p;
        }
    } catch (...) {
        EndUpdate();
        throw;
    }
    EndUpdate();
}

void TStringList::LoadFromFile(const std::string& fileName) {
    File f;
    if (!f.Open(fileName, OpenMode::Read, ShareMode::DenyWrite))
        throw EFOpenError("Cannot open file \"" + fileName + "\". " + LastErrorText());
    std::string data;
    char buf[65536];
    for (;;) {
        int64_t n = f.Read(buf, sizeof buf);
        if (n < 0) throw EInOutError("Read error \"" + fileName + "\". " + LastErrorText());
        if (n == 0) break;
        data.append(buf, static_cast<size_t>(n));
    }
    SetText(data);
}

void TStringList::SaveToFile(const std::string& fileName) const {
    auto fail = [&]() -> EFCreateError {
        return EFCreateError("Cannot create file \"" + fileName + "\". " + LastErrorText());
    };
    uint32_t attr = GetFileAttributes(fileName);
    if (attr != kInvalidAttributes && (attr & (kAttrReadOnly | kAttrDirectory))) {
        SetLastError(kErrAccessDenied);
        throw fail();
    }
    File f;
    std::string temp = CreateSiblingTemp(fileName, f);
    if (temp.empty()) throw fail();
    std::string text = Text();
    bool ok = f.Write(text.data(), static_cast<int64_t>(text.size())) ==
              static_cast<int64_t>(text.size());
    if (ok) ok = f.Flush();
    f.Close();
    if (ok) ok = ReplaceFile(temp, fileName);
    if (!ok) {
        uint32_t err = LastError();
        DeleteFile(temp);
        SetLastError(err);
        throw fail();
    }
}

void TStringList::BeginUpdate() {
    ++updateCount_;
}

void TStringList::EndUpdate() {
    if (updateCount_ == 0) return;
    if (--updateCount_ == 0 && changedInUpdate_) {
        changedInUpdate_ = false;
        if (OnChange) OnChange(*this);
    }
}

void TStringList::Changed() {
    if (updateCount_ > 0) {
        changedInUpdate_ = true;
    } else if (OnChange) {
        OnChange(*this);
    }
}

}  // namespace hv
