#include "ui/frmConfigWizardLink.h"

using namespace Qt::Literals::StringLiterals;

namespace orvella {

frmConfigWizardLink::frmConfigWizardLink(const QString& text, QWidget* parent) : QPushButton(text, parent)
{
    setAccessibleName(text);
    setFlat(true);
    setCursor(Qt::PointingHandCursor);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    // The palette's link colour, so the link follows light and dark themes.
    setStyleSheet(u"QPushButton { color: palette(link); text-decoration: underline; border: none; "
                  u"padding: 1px 2px; text-align: left; }"
                  u"QPushButton:focus { border: 1px dotted palette(text); padding: 0px 1px; }"_s);
}

} // namespace orvella
