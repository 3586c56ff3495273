#include "gui/widgets/ControlNames.h"

#include <QAbstractButton>
#include <QGroupBox>
#include <QLabel>

using namespace Qt::Literals::StringLiterals;

namespace orvella {

QString AccessibleText(const QString& caption)
{
    QString out;
    out.reserve(caption.size());
    for (qsizetype i = 0; i < caption.size(); ++i) {
        if (caption[i] == u'&') {
            if (i + 1 < caption.size() && caption[i + 1] == u'&') out += caption[++i];
            continue;
        }
        out += caption[i];
    }
    out = out.trimmed();
    if (out.endsWith(u':')) out.chop(1);
    return out.trimmed();
}

QLabel* FieldLabel(const QString& caption, QWidget* field, QWidget* parent)
{
    auto* label = new QLabel(caption, parent);
    label->setBuddy(field);
    if (field) field->setAccessibleName(AccessibleText(caption));
    return label;
}

void NameControls(QWidget* root)
{
    if (!root) return;
    for (QAbstractButton* b : root->findChildren<QAbstractButton*>())
        if (b->accessibleName().isEmpty() && !b->text().isEmpty())
            b->setAccessibleName(AccessibleText(b->text()));
    for (QLabel* l : root->findChildren<QLabel*>())
        if (QWidget* buddy = l->buddy(); buddy && buddy->accessibleName().isEmpty())
            buddy->setAccessibleName(AccessibleText(l->text()));
    for (QGroupBox* g : root->findChildren<QGroupBox*>())
        if (g->accessibleName().isEmpty() && !g->title().isEmpty())
            g->setAccessibleName(AccessibleText(g->title()));
}

} // namespace orvella
