// The message of the exception a piece of code raises.
#pragma once

#include <string>

#include "util/Exception.h"

namespace hv::test {

// What() of the E that F raises; "(no error)" when it raises nothing.
template <class E = Exception, class F>
std::string ErrorOf(F&& f) {
    try {
        f();
    } catch (const E& e) {
        return e.what();
    }
    return "(no error)";
}

}  // namespace hv::test
