#pragma once

#include <QString>

namespace orvella {

// The program-wide values set while the program starts: where its files live
// and the maker's addresses. One instance for the whole run.
struct ProgramValues
{
    QString AppPath;          // program folder, no trailing separator
    QString SupportEMail;     // support e-mail address
    QString SupportURL;       // support web page
    QString OtherProductsURL; // the maker's product page
    bool Exiting = false;     // the program is really ending (Exit, not a closed window)
    QString CharactersFolder; // the installed characters folder
    QString TraceFile;        // --trace FILE or $ORVELLA_TRACE: the character engine's JSON lines
    QString AudioFile;        // --audio-file FILE: all audio goes to this WAV file instead of the sound server
    QString BusNotice;        // why a message bus that did not answer is left alone in this run
};

ProgramValues& Program();

// The program folder; every data file is found relative to it.
inline const QString& AppPath() { return Program().AppPath; }

// Built-in fallbacks when the maker's configuration names no address.
inline constexpr char16_t DefaultSupportEMail[] = u"support@orvella.example";
inline constexpr char16_t DefaultSupportURL[] = u"https://orvella.example/support";
inline constexpr char16_t DefaultOtherProductsURL[] = u"https://orvella.example";
inline constexpr char16_t WebSiteBase[] = u"https://orvella.example";

} // namespace orvella
