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
    // The palette's link colour, so the link follows light and dark themes.
    // No border or padding: a link inside a sentence ("Please Click Here, to
    // find out ...") would otherwise stand apart from the comma after it as
    // if a blank stood there. Focus shows as the selection's colours, which
    // change the size of nothing.
    setStyleSheet(
        u"QPushButton { color: palette(link); text-decoration: underline; text-align: left; "
        u"border: none; padding: 0px; }"
        u"QPushButton:focus { color: palette(highlighted-text); background-color: palette(highlight); }"_s);
}

} // namespace orvella
