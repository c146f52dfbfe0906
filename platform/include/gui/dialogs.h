// Message boxes captioned with the application title, and the clipboard.
#pragma once

#include <string>
#include <string_view>

namespace gui {

// An information box with an OK button. `caption` empty: the application title.
void MsgInfo(std::string_view text, std::string_view caption = {});
// An error box with an OK button. `caption` empty: the application title.
void MsgStop(std::string_view text, std::string_view caption = {});

// Puts UTF-8 text on the clipboard.
void setClipboardText(std::string_view text);
std::string clipboardText();

}  // namespace gui
