// TObject: the polymorphic root of objects held in the system's lists.
// Owning lists destroy their items through a TObject*, so every class whose
// instances go into a list derives from it.
#pragma once

namespace hv {

class TObject {
  public:
    TObject() = default;
    virtual ~TObject() = default;
    TObject(const TObject&) = default;
    TObject& operator=(const TObject&) = default;
};

}  // namespace hv
