// Small pieces shared by the sources of the archive run.
#pragma once

#include <utility>

namespace hv {

// Sets a value for the length of a scope and puts the old one back.
template <class T>
class Restore {
  public:
    explicit Restore(T& slot) : slot_(slot), saved_(slot) {}
    ~Restore() { slot_ = std::move(saved_); }
    Restore(const Restore&) = delete;
    Restore& operator=(const Restore&) = delete;

  private:
    T& slot_;
    T saved_;
};

}  // namespace hv
