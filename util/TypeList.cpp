#include "util/TypeList.h"

#include <algorithm>
#include <cstdio>
#include <unordered_set>

#include "platform/CodePage.h"
#include "util/Exception.h"
#include "util/FileUtils.h"
#include "util/StrUtils.h"

namespace hv {

// ---- T_zqCustomList ------------------------------------------------------------

T_zqCustomList::~T_zqCustomList() {
    T_zqCustomList::Clear();
}

void T_zqCustomList::CheckIndex(int index) const {
    if (index < 0 || index >= static_cast<int>(list_.size()))
        ListError("List index out of bounds (%d)", index);
}

void T_zqCustomList::Grow() {
    int delta = capacity_ > 64 ? capacity_ / 4 : (capacity_ > 8 ? 16 : 4);
    SetCapacity(capacity_ + delta);
}

TObject* T_zqCustomList::Get(int index) const {
    CheckIndex(index);
    return list_[index];
}

void T_zqCustomList::Put(int index, TObject* item) {
    CheckIndex(index);
    list_[index] = item;
}

int T_zqCustomList::GetCapacity() const {
    return capacity_;
}

void T_zqCustomList::SetCapacity(int newCapacity) {
    if (newCapacity < static_cast<int>(list_.size()))
        ListError("List capacity out of bounds (%d)", newCapacity);
    if (newCapacity == capacity_) return;
    if (static_cast<size_t>(newCapacity) < list_.capacity()) {
        std::vector<TObject*> smaller;
        smaller.reserve(static_cast<size_t>(newCapacity));
        smaller.assign(list_.begin(), list_.end());
        list_.swap(smaller);
    } else {
        list_.reserve(static_cast<size_t>(newCapacity));
    }
    capacity_ = newCapacity;
}

int T_zqCustomList::GetCount() const {
    return static_cast<int>(list_.size());
}

void T_zqCustomList::SetCount(int newCount) {
    if (newCount < 0) ListError("List count out of bounds (%d)", newCount);
    if (newCount > capacity_) SetCapacity(newCount);
    list_.resize(static_cast<size_t>(newCount), nullptr);
}

int T_zqCustomList::Add(TObject* item) {
    if (static_cast<int>(list_.size()) == capacity_) Grow();
    list_.push_back(item);
    return static_cast<int>(list_.size()) - 1;
}

void T_zqCustomList::Assign(const T_zqCustomList& source) {
    if (&source == this) return;
    std::vector<TObject*> items = source.list_;
    if (static_cast<int>(items.size()) > capacity_) SetCapacity(static_cast<int>(items.size()));
    list_.swap(items);
}

void T_zqCustomList::Clear() {
    list_.clear();
    SetCapacity(0);
}

TObject* T_zqCustomList::Extract(int index) {
    CheckIndex(index);
    TObject* item = list_[index];
    list_.erase(list_.begin() + index);
    return item;
}

void T_zqCustomList::Exchange(int index1, int index2) {
    CheckIndex(index1);
    CheckIndex(index2);
    std::swap(list_[index1], list_[index2]);
}

int T_zqCustomList::IndexOf(const TObject* item) const {
    auto it = std::find(list_.begin(), list_.end(), item);
    return it == list_.end() ? -1 : static_cast<int>(it - list_.begin());
}

void T_zqCustomList::Insert(int index, TObject* item) {
    if (index < 0 || index > static_cast<int>(list_.size()))
        ListError("List index out of bounds (%d)", index);
    if (static_cast<int>(list_.size()) == capacity_) Grow();
    list_.insert(list_.begin() + index, item);
}

void T_zqCustomList::Move(int curIndex, int newIndex) {
    CheckIndex(curIndex);
    CheckIndex(newIndex);
    if (curIndex == newIndex) return;
    TObject* item = list_[curIndex];
    list_.erase(list_.begin() + curIndex);
    list_.insert(list_.begin() + newIndex, item);
}

void T_zqCustomList::Pack() {
    list_.erase(std::remove(list_.begin(), list_.end(), nullptr), list_.end());
}

int T_zqCustomList::Remove(const TObject* item) {
    int index = IndexOf(item);
    if (index >= 0) list_.erase(list_.begin() + index);
    return index;
}

// ---- T_zqObjectList -------------------------------------------------------------

void T_zqObjectList::SetObject(int index, TObject* obj) {
    Put(index, obj);
}

int T_zqObjectList::AddObject(TObject* obj) {
    return Add(obj);
}

TObject* T_zqObjectList::DeleteObject(int index) {
    return Extract(index);
}

int T_zqObjectList::RemoveObject(const TObject* obj) {
    return Remove(obj);
}

// ---- T_zqCustOwnerList ------------------------------------------------------------

T_zqCustOwnerList::~T_zqCustOwnerList() {
    DestroyAll();
}

void T_zqCustOwnerList::DestroyAll() {
    std::unordered_set<TObject*> destroyed;
    const int n = GetCount();
    for (int i = 0; i < n; ++i) {
        TObject* obj = List()[i];
        if (!obj) continue;
        // The entry is nulled before the object goes, so the list never
        // holds a dangling reference while a destructor runs.
        SetObject(i, nullptr);
        if (destroyed.insert(obj).second) delete obj;
    }
    List().clear();
}

void T_zqCustOwnerList::SetCapacity(int newCapacity) {
    T_zqObjectList::SetCapacity(newCapacity);
}

void T_zqCustOwnerList::SetCount(int newCount) {
    const int count = GetCount();
    if (newCount >= 0 && newCount < count) {
        std::unordered_set<TObject*> kept(List().begin(), List().begin() + newCount);
        std::unordered_set<TObject*> destroyed;
        for (int i = newCount; i < count; ++i) {
            TObject* obj = List()[i];
            if (!obj) continue;
            SetObject(i, nullptr);
            if (!kept.count(obj) && destroyed.insert(obj).second) delete obj;
        }
    }
    T_zqObjectList::SetCount(newCount);
}

void T_zqCustOwnerList::Clear() {
    DestroyAll();
    T_zqObjectList::Clear();
}

TObject* T_zqCustOwnerList::DeleteObject(int index) {
    TObject* obj = T_zqObjectList::DeleteObject(index);
    if (obj && IndexOf(obj) < 0) delete obj;
    return nullptr;
}

void T_zqCustOwnerList::Assign(const T_zqCustomList& source) {
    if (&source != this && dynamic_cast<const T_zqCustOwnerList*>(&source)) {
        for (int i = 0; i < source.GetCount(); ++i)
            if (source.Get(i))
                throw EListError("Assign between owning lists would own the objects twice");
    }
    T_zqObjectList::Assign(source);
}

// ---- T_zqFileList -----------------------------------------------------------------

int T_zqFileList::FillFromDir(const std::string& dir, const std::string& mask, bool sorted,
                              bool withDirs, bool withFiles) {
    const std::string path = AnsiUpper(AddBackslash(dir));
    int result = 0;
    TStringList found;
    BeginUpdate();
    try {
        if (withDirs) {
            Clear();
            FindFile f;
            if (f.First(path + "*.*", kAttrDirectory)) {
                do {
                    const FindData& e = f.Data();
                    if (!e.IsDirectory() || e.name == "." || e.name == "..") continue;
                    std::string name = path + e.name + "\\";
                    if (UpperNames) name = AnsiUpper(name);
                    bool accept = true;
                    if (OnFilter) OnFilter(path, e, accept);
                    if (accept) found.Add(name);
                } while (f.Next());
            }
            if (sorted) found.Sort();
            Assign(found);
            result = found.Count();
        }
        if (withFiles) {
            found.Clear();
            FindFile f;
            if (f.First(path + mask, kAttrReadOnly | kAttrHidden | kAttrSystem | kAttrArchive)) {
                do {
                    const FindData& e = f.Data();
                    if (e.IsDirectory()) continue;
                    std::string name = path + e.name;
                    if (UpperNames) name = AnsiUpper(name);
                    bool accept = true;
                    if (OnFilter) OnFilter(path, e, accept);
                    if (accept) {
                        found.Add(name);
                        ++result;
                    }
                } while (f.Next());
            }
            if (withDirs && sorted) found.Sort();
            AddStrings(found);
            if (sorted && !withDirs) Sort();
        }
    } catch (...) {
        EndUpdate();
        throw;
    }
    EndUpdate();
    return result;
}

int T_zqFileList::ReadDirsAndFiles(const std::string& dir, const std::string& mask, bool sorted) {
    return FillFromDir(dir, mask, sorted, true, true);
}

int T_zqFileList::AddFiles(const std::string& dir, const std::string& mask) {
    return FillFromDir(dir, mask, false, false, true);
}

bool T_zqFileList::DeleteFiles(const std::string& mask) {
    const bool noMask = mask.empty();
    const bool maskHasPath = ExtractFileName(mask) != mask;
    bool result = true;
    for (int i = Count() - 1; i >= 0; --i) {
        const std::string item = Get(i);
        const std::string name = maskHasPath ? item : ExtractFileName(item);
        if (!noMask && !MatchMask(name, mask, true)) continue;
        // The item is one file, deleted by its own name; a name that is no
        // longer there (or a directory entry) has nothing to delete.
        bool ok = !FileExists(item) || DeleteFile(item);
        if (ok) Delete(i);
        result = result && ok;
    }
    return result;
}

}  // namespace hv
