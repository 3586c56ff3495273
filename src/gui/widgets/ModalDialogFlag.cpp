#include "gui/widgets/ModalDialogFlag.h"

#include <QDialog>

namespace orvella {

int ModalDialogFlag::exec(QDialog& dialog) const
{
    const bool before = get ? get() : false;
    if (set) set(true);
    const int result = dialog.exec();
    if (set) set(before);
    return result;
}

} // namespace orvella
