#pragma once

#include <QString>
#include <optional>

namespace orvella::platform {

// The clipboard's text in the plain-text format, or nothing when it holds no
// text (a picture, files, or nothing at all).
std::optional<QString> clipboardText();
// Puts text on the clipboard (the one Ctrl+V pastes from).
void setClipboardText(const QString& text);

} // namespace orvella::platform
