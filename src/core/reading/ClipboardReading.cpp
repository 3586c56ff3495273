#include "core/reading/ClipboardReading.h"

#include "core/settings/Settings.h"
#include "core/speech/SpeechOutput.h"
#include "core/speech/SpeechText.h"
#include "platform/Clipboard.h"

using namespace Qt::Literals::StringLiterals;

namespace orvella {

void ReadClipboard(SpeechOutput& speech)
{
    const Settings& settings = speech.settings();
    if (const auto text = platform::clipboardText()) {
        const QString speakable = RemoveSymbols(
            NeutralizeSpeechTags(SpeakableCase(*text, settings.m_SpellUpper)), settings.m_FilteredSymbols);
        speech.SayAndPlay(speakable, u"Read"_s, true, true);
        return;
    }
    speech.SayAndPlay(u"Sorry. There is no text available in the Clipboard. You can go to any program "
                      u"( For example your web browser or word processor ) and copy a block of text to the "
                      u"clipboard. You can then listen to it, using the clipboard feature of Orvella."_s,
                      u"Read"_s, true, true);
}

} // namespace orvella
