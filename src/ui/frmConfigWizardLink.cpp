#include "ui/frmConfigWizardLink.h"

#include "ui/ControlNames.h"

using namespace Qt::Literals::StringLiterals;

namespace orvella {

frmConfigWizardLink::frmConfigWizardLink(const QString& text, QWidget* parent) : QPushButton(text, parent)
{
    setAccessibleName(AccessibleText(text));
    setFlat(true);
    setCursor(Qt::PointingHandCursor);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    // The palette's link colour, so the link follows light and dark themes; a
    // border that is there all along, so the focus mark moves nothing.
    setStyleSheet(u"QPushButton { color: palette(link); text-decoration: underline; text-align: left; "
                  u"border: 1px solid transparent; padding: 0px 2px; }"
                  u"QPushButton:focus { border: 1px dotted palette(text); }"_s);
}

} // namespace orvella
