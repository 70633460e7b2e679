// The common base of the system's exceptions: one message text in 1251.
#pragma once

#include <stdexcept>
#include <string>

namespace hv {

class Exception : public std::runtime_error {
public:
    explicit Exception(const std::string& message) : std::runtime_error(message) {}
    const std::string Message() const { return what(); }
};

// Declares `class Name : public Base` with the message constructor.
#define HV_DECLARE_EXCEPTION(Name, Base)                                  \
    class Name : public Base {                                            \
    public:                                                               \
        explicit Name(const std::string& message) : Base(message) {}      \
    }

HV_DECLARE_EXCEPTION(EConvertError, Exception);
HV_DECLARE_EXCEPTION(EListError, Exception);
HV_DECLARE_EXCEPTION(EInOutError, Exception);
HV_DECLARE_EXCEPTION(EFOpenError, Exception);
HV_DECLARE_EXCEPTION(EFCreateError, Exception);

}  // namespace hv
