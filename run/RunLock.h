// One run at a time: the windowed program and halvora-run share the program
// directory (projects, archives) and the user's fixed run files, so a run
// holds a lock on both for its whole length.
#pragma once

#include <functional>
#include <string>

#include "platform/Process.h"

namespace hv {

class TRunLock {
  public:
    // Takes both locks; false (nothing held) when another run has either.
    bool TryAcquire();
    // Tries until it gets them or KeepWaiting says no; true when held.
    bool Acquire(const std::function<bool()>& keepWaiting);
    void Release();
    bool Held() const { return program_.Locked(); }

    // What a run that finds the lock taken tells the user.
    static std::string BusyText();

  private:
    ExclusiveLock program_;
    ExclusiveLock runFiles_;
};

}  // namespace hv
