// The typed lists: a list of object references with a fixed set of virtual
// operations, its object layer, the owning lists that destroy their items,
// and the list of file names filled from a directory scan.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "platform/Platform.h"
#include "util/Object.h"
#include "util/StringList.h"

namespace hv {

// Index errors raise EListError "List index out of bounds (%d)"; a capacity
// below the count "List capacity out of bounds (%d)"; a negative count
// "List count out of bounds (%d)". A failed operation leaves the list as it was.
class T_zqCustomList : public TObject {
  public:
    T_zqCustomList() = default;
    ~T_zqCustomList() override;
    T_zqCustomList(const T_zqCustomList&) = delete;
    T_zqCustomList& operator=(const T_zqCustomList&) = delete;

    virtual TObject* Get(int index) const;
    virtual void Put(int index, TObject* item);
    virtual int GetCapacity() const;
    virtual void SetCapacity(int newCapacity);
    virtual int GetCount() const;
    virtual void SetCount(int newCount);  // grows with null entries or shrinks
    virtual int Add(TObject* item);
    // Replaces the content by Source's references, in order. The entries it
    // replaces are dropped, not destroyed.
    virtual void Assign(const T_zqCustomList& source);
    virtual void Clear();
    virtual TObject* Extract(int index);
    virtual void Exchange(int index1, int index2);
    virtual int IndexOf(const TObject* item) const;
    virtual void Insert(int index, TObject* item);  // Index = Count appends
    virtual void Move(int curIndex, int newIndex);
    virtual void Pack();                      // drops the null entries
    virtual int Remove(const TObject* item);  // former index or -1

    TObject* Items(int index) const { return Get(index); }
    void SetItems(int index, TObject* item) { Put(index, item); }
    int Count() const { return GetCount(); }
    int Capacity() const { return GetCapacity(); }

  protected:
    void CheckIndex(int index) const;
    // The entries as they stand, for descendants that need to walk them.
    std::vector<TObject*>& List() { return list_; }
    const std::vector<TObject*>& List() const { return list_; }

  private:
    void Grow();

    std::vector<TObject*> list_;
    int capacity_ = 0;
};

class T_zqObjectList : public T_zqCustomList {
  public:
    virtual void SetObject(int index, TObject* obj);
    virtual int AddObject(TObject* obj);
    virtual TObject* DeleteObject(int index);
    virtual int RemoveObject(const TObject* obj);

    TObject* GetObject(int index) const { return Get(index); }
    TObject* Objects(int index) const { return Get(index); }
};

// Destroys every object that leaves it through Clear, SetCount or
// DeleteObject, and all its objects when it is destroyed. Extract, Remove,
// RemoveObject, Put and SetObject hand objects out or in without destroying
// them. An object held at two indexes is destroyed once, when its last entry
// goes. Assign from another owning list is refused: the objects would be
// owned twice.
class T_zqCustOwnerList : public T_zqObjectList {
  public:
    ~T_zqCustOwnerList() override;

    void SetCapacity(int newCapacity) override;
    void SetCount(int newCount) override;
    void Clear() override;
    TObject* DeleteObject(int index) override;  // destroys the object; returns null
    void Assign(const T_zqCustomList& source) override;

  private:
    void DestroyAll();
};

// The base of the concrete owning lists. A descendant that overrides Clear
// calls it from its own destructor: a destructor reaches only its own class's
// override.
class T_zqOwnerList : public T_zqCustOwnerList {};

// Asked about each candidate entry of a scan; clearing Accept leaves it out.
using TFileFilterEvent =
    std::function<void(const std::string& dir, const FindData& entry, bool& accept)>;

// Full path names from directory scans: "DIR\SUB\" for a directory,
// "DIR\name" for a file; the directory part is upper case, the name keeps its
// case unless UpperNames is set.
class T_zqFileList : public TStringList {
  public:
    // Scans Dir (see the .cpp); returns how many entries it contributed.
    int FillFromDir(const std::string& dir, const std::string& mask, bool sorted, bool withDirs,
                    bool withFiles);
    // Replaces the content by the subdirectories of Dir, then its files matching Mask.
    int ReadDirsAndFiles(const std::string& dir, const std::string& mask, bool sorted);
    // Appends the files of Dir matching Mask; returns how many were added.
    int AddFiles(const std::string& dir, const std::string& mask);
    // Deletes the listed files whose names match Mask (the file-name part, or
    // the whole item when Mask holds a directory) and drops them from the
    // list; every listed file when Mask is empty. Each item is deleted as the
    // one file it names: wildcard characters in an item are part of its name.
    // True when every attempted deletion succeeded.
    bool DeleteFiles(const std::string& mask);
    bool DeleteFiles() { return DeleteFiles(std::string()); }

    bool UpperNames = false;
    TFileFilterEvent OnFilter;
};

}  // namespace hv
