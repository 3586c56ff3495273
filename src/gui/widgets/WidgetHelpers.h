#pragma once

#include <QString>

class QAbstractItemView;
class QComboBox;
class QLineEdit;
class QWidget;

namespace orvella {

// Gives a new control the object name the tests and the accessibility tree
// find it by, and hands it back for the layout.
template <typename T> T* named(T* w, const QString& name)
{
    w->setObjectName(name);
    return w;
}

class IAgent;
class SpeechOutput;

// Whole rows are selected and highlighted in a report-style list.
void SetFullRowSelect(QAbstractItemView* list);

// True when the key must be discarded from a numeric field: anything but the
// digits 0 to 9 (codes 48 to 57) and backspace (8).
bool RejectNonDigit(int keyCode);

// Fills a gesture list with the character's gesture choices.
void FillGestureList(QComboBox* list, const IAgent& agent);

// Asks for a WAV file from the program's "Sounds" folder; a chosen file goes
// into textBox and is played. Cancelling keeps the text box as it was.
void BrowseForSound(QLineEdit* textBox, QWidget* parent, SpeechOutput* speech);

} // namespace orvella
