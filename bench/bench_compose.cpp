// Prints the time to compose, filter and clean the spoken text of a message
// with a large body: the work the reader does before a message is spoken.
#include "core/message/MailMessage.h"
#include "core/reading/MessageReader.h"
#include "core/rules/Filter.h"
#include "core/settings/Settings.h"
#include "core/speech/IAgent.h"
#include "core/speech/SpeechOutput.h"

#include <QElapsedTimer>
#include <QRandomGenerator>
#include <cstdio>

using namespace Qt::Literals::StringLiterals;
using namespace orvella;

namespace {

// The reader only composes here; nothing is queued.
class NullAgent : public IAgent
{
public:
    bool Load(const QString&, const QString&) override { return true; }
    void Unload(const QString&) override {}
    QString loadError() const override { return {}; }
    bool isLoaded() const override { return true; }
    void setLanguageID(int) override {}
    QString Name() const override { return {}; }
    int OriginalWidth() const override { return 128; }
    int OriginalHeight() const override { return 128; }
    int Width() const override { return 128; }
    int Height() const override { return 128; }
    void setWidth(int) override {}
    void setHeight(int) override {}
    int Left() const override { return 0; }
    int Top() const override { return 0; }
    bool Visible() const override { return false; }
    void MoveTo(int, int) override {}
    int balloonStyle() const override { return 1; }
    void setBalloonStyle(int) override {}
    void setBalloonFontName(const QString&) override {}
    void setBalloonFontSize(int) override {}
    void AddCommand(const QString&, const QString&) override {}
    void setCommandEnabled(const QString&, bool) override {}
    bool commandEnabled(const QString&) const override { return true; }
    QStringList commandNames() const override { return {}; }
    QStringList AnimationNames() const override { return {}; }
    void Show(bool) override {}
    void Hide(bool) override {}
    bool Play(const QString&) override { return true; }
    void Speak(const QString&) override {}
    void SpeakFile(const QString&) override {}
    void Think(const QString&) override {}
    void StopAll() override {}
    void Stop() override {}
};

QString body(qsizetype size)
{
    static const QString lines[] = {u"Hello there, here is the plan for the week.\r\n"_s,
                                    u"> quoted text from the previous message\r\n"_s,
                                    u"*Important*: the NASA meeting moved ~again~.\r\n"_s,
                                    u"--------------------------------------\r\n"_s,
                                    u"Ünïcödé and accents: café, naïve, Straße.\r\n"_s};
    QString text;
    QRandomGenerator rng(1);
    while (text.size() < size)
        text += lines[rng.bounded(int(std::size(lines)))];
    text.truncate(size);
    return text;
}

} // namespace

int main()
{
    Settings settings(u"/nowhere"_s);
    NullAgent agent;
    SpeechOutput speech(agent, settings);
    FilterList filters;
    Filter quoted;
    quoted.m_Type = 0;
    quoted.m_Name = u">"_s;
    Filter signature;
    signature.m_Type = 1;
    signature.m_Name = u"-- \r\n"_s;
    filters << quoted << signature;
    speech.applyFilters = [&](const QString& t) { return ApplyFilters(filters, t); };
    RuleList rules;
    MessageReader reader(speech, settings, rules);

    std::printf("%-10s %14s %14s\n", "body", "compose ms", "per MiB ms");
    for (qsizetype size : {qsizetype(256) * 1024, qsizetype(1024) * 1024, qsizetype(4096) * 1024}) {
        MailMessage m;
        m.m_FullFrom = u"Alice Example <alice@example.com>"_s;
        m.m_Subject = u"Plans for the week"_s;
        m.m_Content = body(size);
        m.m_MesssageIdx = 1;
        double best = 1e18;
        volatile qsizetype sink = 0;
        for (int run = 0; run < 7; ++run) {
            QElapsedTimer t;
            t.start();
            sink = sink + reader.ComposeMessageText(m).size();
            best = std::min(best, t.nsecsElapsed() / 1e6);
        }
        std::printf("%-10s %14.2f %14.2f\n", qPrintable(QString::number(size / 1024) + u" KiB"_s), best,
                    best / (double(size) / (1024 * 1024)));
    }
    std::printf("goal: a 1 MiB body composed, filtered and cleaned in under 20 ms, linear in size\n");
    return 0;
}
