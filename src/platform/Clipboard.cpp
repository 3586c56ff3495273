#include "platform/Clipboard.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>

namespace orvella::platform {

std::optional<QString> clipboardText()
{
    const QClipboard* clipboard = QGuiApplication::clipboard();
    const QMimeData* data = clipboard ? clipboard->mimeData(QClipboard::Clipboard) : nullptr;
    if (!data || !data->hasText()) return std::nullopt;
    return data->text();
}

void setClipboardText(const QString& text)
{
    if (QClipboard* clipboard = QGuiApplication::clipboard()) clipboard->setText(text, QClipboard::Clipboard);
}

} // namespace orvella::platform
