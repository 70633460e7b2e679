// TObject: the polymorphic root of objects held in the system's lists.
// Owning lists destroy their items through a TObject*, so every class whose
// instances go into a list derives from it.
#pragma once

#include <typeinfo>

namespace hv {

class TObject {
  public:
    TObject() = default;
    virtual ~TObject() = default;
    TObject(const TObject&) = default;
    TObject& operator=(const TObject&) = default;
};

// A class reference: tells whether an object is an instance of the class or
// of a descendant. A default-constructed TClass is the empty entry.
struct TClass {
    const std::type_info* type = nullptr;
    bool (*isInstance)(const TObject*) = nullptr;

    bool Empty() const { return isInstance == nullptr; }
    bool InheritsFrom(const TObject* obj) const { return isInstance && obj && isInstance(obj); }
};

template <class T>
TClass ClassOf() {
    return TClass{&typeid(T),
                  [](const TObject* obj) { return dynamic_cast<const T*>(obj) != nullptr; }};
}

}  // namespace hv
