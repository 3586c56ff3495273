#pragma once

#include <QString>

class QLabel;
class QWidget;

namespace orvella {

// A caption as a screen reader should say it: without the accelerator marks
// ("&&" stays one "&") and without a trailing colon.
QString AccessibleText(const QString& caption);

// A label for field: the label's accelerator moves the focus to field, and
// field is announced by the label's text.
QLabel* FieldLabel(const QString& caption, QWidget* field, QWidget* parent);

// Names every control under root that has no accessible name yet: buttons
// and check boxes by their caption, the buddy of a label by the label's text.
void NameControls(QWidget* root);

} // namespace orvella
