#include "runtime/Fatal.h"

#include <cstdio>
#include <cstdlib>
#include <string>

#include "runtime/Interaction.h"

namespace ovx {

Text FatalErrorText(std::optional<int> code, const Text& message) {
    Text text = "运行时出错!"_t + Text("\r\n\r\n");
    if (code) text += "错误代码："_t + Text(std::to_string(*code)) + Text("\r\n\r\n");
    text += "错误信息："_t + message + Text("\r\n");
    return text;
}

void FatalError(std::optional<int> code, const Text& message) {
    CurrentInteraction().ShowMessage(FatalErrorText(code, message), kMbOk | kMbIconError,
                                     "错误"_t);
    // Other threads may still run: leave without static destructors or atexit handlers.
    std::fflush(nullptr);
    std::_Exit(-1);
}

}  // namespace ovx
