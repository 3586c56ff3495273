#pragma once

#include "mail/Accounts.h"
#include "mail/MailCheckCycle.h"
#include "message/CMessage.h"
#include "message/MessageStore.h"
#include "rules/CFilter.h"
#include "rules/CRule.h"
#include "settings/CSettings.h"
#include "speech/CharacterControl.h"
#include "speech/SpeechOutput.h"
#include "support/FakeAgent.h"
#include "ui/OptionsServices.h"
#include "ui/frmMessage.h"

#include <QTemporaryDir>
#include <memory>

class QComboBox;
class QWidget;

namespace orvella::test {

// A program folder with a settings file, two character folders, and the
// program-wide objects the options dialog edits, around a recording character
// and the real check cycle's parameter check.
class OptionsFixture
{
public:
    // iniText is the whole "Zentra.INI" (LF line ends are fine); empty keeps a minimal one.
    explicit OptionsFixture(const QString& iniText = QString());
    ~OptionsFixture();

    QString appPath() const { return m_app.path(); }
    QString charactersPath() const { return m_chars.path(); }
    QString iniPath() const { return m_app.filePath(QStringLiteral("Zentra.INI")); }
    QByteArray iniBytes() const;
    QString ini(const QString& section, const QString& key) const;
    bool fileExists(const QString& name) const;

    std::unique_ptr<CSettings> settings;
    AccountList accounts;
    RuleList rules;
    FilterList filters;
    FakeAgent agent;
    std::unique_ptr<SpeechOutput> speech;
    std::unique_ptr<CharacterControl> character;
    std::unique_ptr<OptionsServices> services;
    QList<ShownMessage> shown; // the message windows opened, in order
    bool modalFlag = false;
    int rememberedTab = -1;

    // The Speak and Play requests made since the last call, in order.
    QStringList takeSpeech();
    // The real check cycle over the accounts, which the dialog's OK checks with.
    MailCheckCycle* cycle() const { return m_cycle.get(); }

private:
    QTemporaryDir m_app;
    QTemporaryDir m_chars;
    QTemporaryDir m_home;
    std::unique_ptr<MessageStore> m_store;
    QList<CMessage> m_newMessages;
    std::unique_ptr<MailCheckCycle> m_cycle;
};

// The voice tags the settings' defaults put before every spoken text.
extern const QString SpeechPrefix;

// Chooses the entry text of list as a user does (also when it is already shown).
void Choose(QComboBox* list, const QString& text);

// Runs action once a modal dialog of that object name shows, from inside its event loop.
void WhenModal(const QString& objectName, std::function<void(QWidget* dialog)> action);

} // namespace orvella::test
