#include "core/BatchFrontEnd.h"

#include <string>

#include "core/Log.h"

namespace orvik {

MessageBoxResult DefaultAnswer(MessageBoxButtons buttons) {
    switch (buttons) {
        case MessageBoxButtons::YesNo:
        case MessageBoxButtons::YesNoCancel:
            return MessageBoxResult::No;
        case MessageBoxButtons::OkCancel:
            return MessageBoxResult::Cancel;
        case MessageBoxButtons::Ok:
            break;
    }
    return MessageBoxResult::Ok;
}

MessageBoxResult BatchFrontEnd::ShowMessageBox(std::string_view text, std::string_view caption,
                                               MessageBoxButtons buttons, MessageBoxIcon) {
    std::string line(caption);
    if (!line.empty()) line += ": ";
    line += text;
    UxSaveLog(run_, line, __FILE__, __LINE__);
    return DefaultAnswer(buttons);
}

}  // namespace orvik
