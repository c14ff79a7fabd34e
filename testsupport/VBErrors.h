#pragma once
// Run-time errors in test assertions: EXPECT_EQ(testenv::errorOf([] { vb::CLng("x"); }), 13);
#include "platform/VBError.h"

#include <functional>

namespace testenv {

// The number of the VBError that f raises; 0 when it raises none.
inline int errorOf(const std::function<void()>& f) {
    try {
        f();
    } catch (const VBError& e) {
        return e.number();
    }
    return 0;
}

} // namespace testenv
