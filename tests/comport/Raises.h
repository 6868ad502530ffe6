#pragma once
// One check for "this call raised that error": the type, its code and its text.
#include "comport/ComTypes.h"

#include <gtest/gtest.h>
#include <optional>
#include <string>

namespace quillon::test {

/// Whether op raises E with code and text; a check given as nullopt is left out. Another
/// exception type passes through and fails the test as it would without this check.
template <class E = EComError, class Op>
::testing::AssertionResult Raises(Op&& op, std::optional<int> code,
                                  std::optional<std::string> text = std::nullopt) {
    try {
        op();
    } catch (const E& e) {
        int got = 0;
        if constexpr (requires { e.ErrorCode; }) got = e.ErrorCode;
        if ((!code || got == *code) && (!text || e.Message() == *text))
            return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure()
               << "raised code " << got << ", \"" << e.Message() << "\"";
    }
    return ::testing::AssertionFailure() << "raised nothing";
}

} // namespace quillon::test
