#include "app/CommandLine.h"

using namespace Qt::Literals::StringLiterals;

namespace orvella {

CommandLine CommandLine::parse(const QStringList& args)
{
    CommandLine cl;
    QStringList rest;
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString& a = args[i];
        auto takeValue = [&](QString& into) {
            if (i + 1 >= args.size()) {
                cl.error = u"option "_s + a + u" needs a file name"_s;
                return;
            }
            into = args[++i];
        };
        if (a == u"--trace"_s)
            takeValue(cl.traceFile);
        else if (a.startsWith(u"--trace="_s))
            cl.traceFile = a.mid(8);
        else if (a == u"--audio-file"_s)
            takeValue(cl.audioFile);
        else if (a.startsWith(u"--audio-file="_s))
            cl.audioFile = a.mid(13);
        else if (a == u"--show"_s)
            cl.show = true;
        else if (a == u"--exit"_s)
            cl.exit = true;
        else if (a == u"--check-now"_s)
            cl.checkNow = true;
        else if (a == u"--read-clipboard"_s)
            cl.readClipboard = true;
        else if (a == u"--help"_s || a == u"-h"_s)
            cl.help = true;
        else if (a == u"--version"_s)
            cl.version = true;
        else if (a.startsWith(u"--"_s) && cl.error.isEmpty())
            cl.error = u"unknown option "_s + a;
        else
            rest << a;
    }

    cl.rest = rest.join(u' ');
    const QString upper = cl.rest.toUpper();
    cl.systemTray = upper.contains(u"-AUTOSTART"_s);
    const qsizetype d = upper.indexOf(u"-D"_s);
    if (d >= 0) {
        cl.hasFolder = true;
        // Upper-casing only finds the switch; Linux paths are case-sensitive.
        cl.folder = cl.rest.mid(d + 2).trimmed();
        while (cl.folder.size() > 1 && cl.folder.endsWith(u'/'))
            cl.folder.chop(1);
    }
    return cl;
}

QString CommandLine::helpText()
{
    return u"Usage: orvella [options] [-AUTOSTART] [-D folder]\n"
           u"\n"
           u"Orvella checks your POP3 mailboxes and has an animated character read new mail aloud.\n"
           u"\n"
           u"  -AUTOSTART            start hidden in the notification area\n"
           u"  -D folder             keep settings, messages and reminders in folder\n"
           u"                        (everything after -D is the folder; give it last)\n"
           u"\n"
           u"Commands for a running Orvella (started if none runs):\n"
           u"  --show                open the main window\n"
           u"  --check-now           check all mail accounts now\n"
           u"  --read-clipboard      read the clipboard's text aloud\n"
           u"  --exit                end the running Orvella, saving everything\n"
           u"\n"
           u"Diagnostics:\n"
           u"  --trace FILE          append the character's requests and events to FILE as JSON lines\n"
           u"                        (also: environment variable ORVELLA_TRACE)\n"
           u"  --audio-file FILE     write all speech and sounds to the WAV file FILE instead of\n"
           u"                        the sound server\n"
           u"  --help                show this help\n"
           u"  --version             show the version\n"_s;
}

} // namespace orvella
