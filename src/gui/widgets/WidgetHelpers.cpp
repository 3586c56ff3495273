#include "gui/widgets/WidgetHelpers.h"

#include "core/settings/Program.h"
#include "core/speech/CharacterControl.h"
#include "core/speech/SpeechOutput.h"
#include "gui/widgets/Dialogs.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QLineEdit>
#include <QTreeView>

using namespace Qt::Literals::StringLiterals;

namespace orvella {

void SetFullRowSelect(QAbstractItemView* list)
{
    if (!list) return;
    list->setSelectionBehavior(QAbstractItemView::SelectRows);
    if (auto* tree = qobject_cast<QTreeView*>(list)) tree->setAllColumnsShowFocus(true);
}

bool RejectNonDigit(int keyCode)
{
    return !((keyCode >= 48 && keyCode <= 57) || keyCode == 8);
}

void FillGestureList(QComboBox* list, const IAgent& agent)
{
    if (!list) return;
    list->clear();
    list->addItems(GestureChoices(agent));
}

void BrowseForSound(QLineEdit* textBox, QWidget* parent, SpeechOutput* speech)
{
    const QString file = Dialogs::openFileName(parent, u"Please select WAV file"_s, AppPath() + u"/Sounds"_s,
                                               u"WAV Files (*.WAV *.wav)"_s, u"wav"_s);
    if (file.isEmpty()) return;
    if (textBox) textBox->setText(file);
    if (speech) speech->PlayWAVFile(file, u"None"_s, false);
}

} // namespace orvella
