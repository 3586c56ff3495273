#include "OptionsFixture.h"

#include "platform/Dialogs.h"
#include "settings/ModOrvella.h"
#include "settings/Program.h"

#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QStandardPaths>
#include <QTest>
#include <QTimer>

using namespace Qt::Literals::StringLiterals;

namespace orvella::test {

const QString SpeechPrefix = u"\\Pit=50\\\\Spd=150\\\\Chr=\"Normal\"\\"_s;

namespace {

void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

} // namespace

OptionsFixture::OptionsFixture(const QString& iniText)
{
    // Account detection must not find the machine's own mail programs.
    qputenv("HOME", m_home.path().toUtf8());
    qputenv("XDG_CONFIG_HOME", (m_home.path() + u"/.config"_s).toUtf8());
    qunsetenv("WINEPREFIX");
    QStandardPaths::setTestModeEnabled(true);
    QFile::remove(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
                  u"/autostart/orvella.desktop"_s);
    platform::Dialogs::reset();

    Program().AppPath = m_app.path();
    Program().CharactersFolder = m_chars.path();
    // The same character in both folders is listed once.
    writeFile(m_app.filePath(u"vela.acs"_s), "character");
    writeFile(m_app.filePath(u"Other.ACS"_s), "character");
    writeFile(m_chars.filePath(u"vela.acs"_s), "character");
    writeFile(m_chars.filePath(u"third.acs"_s), "character");

    const QString text = iniText.isEmpty()
                             ? u"[Account]\nUserName=Ann\nConnectionType=2\nPOPServer=pop.test\n"
                               u"AccountName=ann\nPassword=679*1372*2079*\n"
                               u"[Character]\nName=vela.acs\nFontName=DejaVu Sans\n"_s
                             : iniText;
    writeFile(iniPath(), text.toUtf8().replace("\n", "\r\n"));

    settings = std::make_unique<CSettings>(m_app.path());
    settings->LoadInitial();
    accounts = LoadAccounts();
    settings->LoadSettings();
    rules = LoadRules();
    filters = LoadFilters();

    speech = std::make_unique<SpeechOutput>(agent, *settings);
    character = std::make_unique<CharacterControl>(agent, *settings);
    character->speech = speech.get();
    character->showMessage = [this](const QString& t, bool say, const QString& g) {
        shown.append({t, say, g});
    };
    character->screenGeometry = [] { return QRect(0, 0, 1000, 800); };
    speech->placeCharacter = [this] { character->SetAgentPos(); };
    QVERIFY(character->InitCharacter());

    m_store = std::make_unique<MessageStore>();
    m_cycle = std::make_unique<MailCheckCycle>(accounts, *settings, *m_store, m_newMessages);
    m_cycle->hooks.showMessage = [this](const QString& t, bool say, const QString& g) {
        shown.append({t, say, g});
    };

    services = std::make_unique<OptionsServices>(*settings, accounts, rules, filters);
    services->agent = &agent;
    services->speech = speech.get();
    services->character = character.get();
    services->checkParameters = [this](const QString& server, const QString& name, bool hasPassword) {
        return m_cycle->CheckParameters(server, name, hasPassword);
    };
    services->modalDialog = {[this] { return modalFlag; }, [this](bool on) { modalFlag = on; }};
    services->rememberTab = [this](int page) { rememberedTab = page; };
    // Left unset, the dialog opens the message window itself; the recorder catches it.
    setShowMessageRecorder(&shown);
    agent.calls.clear();
}

OptionsFixture::~OptionsFixture()
{
    setShowMessageRecorder(nullptr);
    // The accounts write their counters on release: before the folder goes.
    m_cycle.reset();
    services.reset();
    accounts.clear();
}

QByteArray OptionsFixture::iniBytes() const
{
    QFile f(iniPath());
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QString OptionsFixture::ini(const QString& section, const QString& key) const
{
    return ReadIni(section, key, u"<absent>"_s, iniPath());
}

bool OptionsFixture::fileExists(const QString& name) const
{
    return QFile::exists(m_app.filePath(name));
}

QStringList OptionsFixture::takeSpeech()
{
    QStringList out;
    for (const QString& call : agent.takeCalls())
        if (call.startsWith(u"Speak("_s) || call.startsWith(u"Play("_s)) out << call;
    return out;
}

void Choose(QComboBox* list, const QString& text)
{
    const int index = list->findText(text);
    QVERIFY2(index >= 0, qPrintable(text));
    list->setCurrentIndex(index);
    Q_EMIT list->activated(index);
}

void WhenModal(const QString& objectName, std::function<void(QWidget* dialog)> action)
{
    auto* timer = new QTimer(qApp);
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, qApp, [timer, action, objectName] {
        QWidget* dialog = QApplication::activeModalWidget();
        if (!dialog || dialog->objectName() != objectName) return;
        timer->stop();
        timer->deleteLater();
        action(dialog);
    });
    timer->start();
}

} // namespace orvella::test
