// The common base of the system's exceptions: one message text in 1251.
#pragma once

#include <cstdio>
#include <stdexcept>
#include <string>

namespace hv {

class Exception : public std::runtime_error {
  public:
    explicit Exception(const std::string& message) : std::runtime_error(message) {}
    const std::string Message() const { return what(); }
};

// Declares `class Name : public Base` with the message constructor.
#define HV_DECLARE_EXCEPTION(Name, Base)                             \
    class Name : public Base {                                       \
      public:                                                        \
        explicit Name(const std::string& message) : Base(message) {} \
    }

HV_DECLARE_EXCEPTION(EConvertError, Exception);
HV_DECLARE_EXCEPTION(EListError, Exception);
// An EListError whose message carries a number ("List index out of bounds (%d)").
[[noreturn]] inline void ListError(const char* format, int value) {
    char buf[96];
    std::snprintf(buf, sizeof buf, format, value);
    throw EListError(buf);
}
HV_DECLARE_EXCEPTION(EInOutError, Exception);
HV_DECLARE_EXCEPTION(EFOpenError, Exception);
HV_DECLARE_EXCEPTION(EFCreateError, Exception);
// Raised by the file copier: a source or comparison file cannot be read, the
// target runs out of room, the target drive does not answer.
HV_DECLARE_EXCEPTION(EFREadError, Exception);
HV_DECLARE_EXCEPTION(EDiskFull, Exception);
HV_DECLARE_EXCEPTION(EDriveNotExist, Exception);

}  // namespace hv
