// A full disk for tests: while a FullDisk lives, writes of this process past
// Limit bytes of a file fail short (RLIMIT_FSIZE, which root cannot bypass,
// unlike a read-only directory), and SIGXFSZ is ignored so they fail, not kill.
#pragma once

#include <signal.h>
#include <sys/resource.h>

namespace hv::test {

class FullDisk {
  public:
    explicit FullDisk(rlim_t limit) {
        getrlimit(RLIMIT_FSIZE, &saved_);
        const rlimit l{limit, saved_.rlim_max};
        setrlimit(RLIMIT_FSIZE, &l);
    }
    ~FullDisk() {
        setrlimit(RLIMIT_FSIZE, &saved_);
        signal(SIGXFSZ, oldHandler_);
    }
    FullDisk(const FullDisk&) = delete;
    FullDisk& operator=(const FullDisk&) = delete;

  private:
    sighandler_t oldHandler_ = signal(SIGXFSZ, SIG_IGN);
    rlimit saved_{};
};

}  // namespace hv::test
