#pragma once

#include "platform/Clock.h"
#include "platform/Dialogs.h"
#include "reminders/CReminder.h"
#include "reminders/frmReminder.h"
#include "settings/CSettings.h"
#include "settings/Program.h"
#include "speech/SpeechOutput.h"
#include "support/FakeAgent.h"

#include <QDir>
#include <QFile>
#include <QPointer>
#include <QTemporaryDir>
#include <QWidget>
#include <ctime>
#include <memory>

namespace orvella::test {

// The reminders' tests run in a zone with summer time, so that the clock
// changes are walked through wherever the tests run.
inline bool useBerlinTime()
{
    qputenv("TZ", "Europe/Berlin");
    ::tzset();
    const QDateTime summer(QDate(2024, 7, 1), QTime(12, 0));
    const QDateTime winter(QDate(2024, 1, 1), QTime(12, 0));
    return summer.offsetFromUtc() == 7200 && winter.offsetFromUtc() == 3600;
}

// A local date and time from "yyyy-MM-dd HH:mm" (or with ":ss").
inline QDateTime at(const QString& text)
{
    const QDate date = QDate::fromString(text.left(10), QStringLiteral("yyyy-MM-dd"));
    const QString t = text.mid(11);
    const QTime time =
        QTime::fromString(t, t.size() > 5 ? QStringLiteral("HH:mm:ss") : QStringLiteral("HH:mm"));
    return QDateTime(date, time);
}

// A program folder of its own, settings, a recording character with the
// speech primitives, a controllable clock, and reminder windows that are
// real windows, recorded as they open.
struct ReminderFixture
{
    QTemporaryDir dir;
    std::unique_ptr<CSettings> settings;
    FakeAgent agent;
    std::unique_ptr<SpeechOutput> speech;
    ReminderAlert alert;
    QList<QPointer<QWidget>> windows;

    ReminderFixture()
    {
        Program().AppPath = dir.path();
        settings = std::make_unique<CSettings>(dir.path());
        speech = std::make_unique<SpeechOutput>(agent, *settings);
        alert.speech = speech.get();
        alert.openWindow = [this](const QString& text) -> QWidget* {
            frmReminder* w = frmReminder::Open(speech.get(), text);
            windows << w;
            return w;
        };
        alert.openListWindow = [this](const QString& heading, const QStringList& lines) -> QWidget* {
            frmReminder* w = frmReminder::OpenList(speech.get(), heading, lines);
            windows << w;
            return w;
        };
        platform::Dialogs::reset();
    }
    ~ReminderFixture()
    {
        platform::setClockOverride({});
        platform::Dialogs::reset();
    }
    ReminderFixture(const ReminderFixture&) = delete;
    ReminderFixture& operator=(const ReminderFixture&) = delete;

    static void setNow(const QDateTime& moment)
    {
        platform::setClockOverride([moment] { return moment; });
    }

    QString remindersFolder() const { return dir.path() + QStringLiteral("/reminders"); }

    // The texts the character was asked to speak since the last call, without the voice tags.
    QStringList takeSpoken()
    {
        QStringList spoken;
        for (const QString& call : agent.takeCalls()) {
            if (!call.startsWith(QStringLiteral("Speak("))) continue;
            QString text = call.mid(6, call.size() - 7);
            const qsizetype tagsEnd = text.indexOf(QStringLiteral("\"\\"));
            spoken << (tagsEnd >= 0 ? text.mid(tagsEnd + 2) : text);
        }
        return spoken;
    }

    // A saved reminder with contents, due at when.
    std::unique_ptr<CReminder> makeSaved(const QString& contents, const QDateTime& when,
                                         int recurs = CReminder::Never, int every = 1)
    {
        auto r = std::make_unique<CReminder>();
        r->m_Contents = contents;
        r->m_When = when;
        r->m_Recurs = recurs;
        r->m_Every = every;
        r->m_Popup = false;
        r->Save(true);
        return r;
    }

    void writeFile(const QString& name, const QByteArray& bytes) const
    {
        QDir().mkpath(remindersFolder());
        QFile f(remindersFolder() + u'/' + name);
        if (f.open(QIODevice::WriteOnly)) f.write(bytes);
    }
    QByteArray readFile(const QString& name) const
    {
        QFile f(remindersFolder() + u'/' + name);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    int openWindows() const
    {
        int n = 0;
        for (const auto& w : windows)
            n += w && w->isVisible();
        return n;
    }
};

// With ORVELLA_SCREENSHOT_DIR set, saves what widget shows as <name>.png there.
inline void saveShot(QWidget* widget, const QString& name)
{
    const QString folder = qEnvironmentVariable("ORVELLA_SCREENSHOT_DIR");
    if (folder.isEmpty() || !widget) return;
    QDir().mkpath(folder);
    widget->grab().save(folder + u'/' + name + QStringLiteral(".png"));
}

} // namespace orvella::test
