#pragma once

#include <QString>

namespace orvella::platform {

// The text of an HTML message as a reader sees it, through the GUI library's
// text engine. Without a GUI application (a core test, a tool) the tags are
// dropped by hand and line-ending tags become line breaks.
QString htmlToText(const QString& html);

} // namespace orvella::platform
