#pragma once
// Fatal run-time errors: "运行时出错!" with the code and message, then exit(-1).

#include <optional>

#include "runtime/Text.h"

namespace ovx {

inline constexpr int kErrorIndexAboveCount = 1;
inline constexpr int kErrorIndexBelowOne = 4;

// Shows the error through the current Interaction (caption "错误", error icon) and ends the
// process with exit code -1. Never returns.
[[noreturn]] void FatalError(std::optional<int> code, const Text& message);

// The message text as shown: "运行时出错!\r\n\r\n错误代码：1\r\n\r\n错误信息：...\r\n".
Text FatalErrorText(std::optional<int> code, const Text& message);

}  // namespace ovx
