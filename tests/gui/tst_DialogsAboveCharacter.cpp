#include "gui/widgets/DialogsAboveCharacter.h"
#include "gui/widgets/StayAboveCharacter.h"

#include <QDialog>
#include <QProcess>
#include <QRegularExpression>
#include <QTest>

using namespace Qt::Literals::StringLiterals;

namespace {

// The top-level X windows from bottom to top, as the X server stacks them.
QList<quint64> stackingOrder()
{
    QProcess tree;
    tree.start(u"xwininfo"_s, {u"-root"_s, u"-children"_s});
    tree.waitForFinished(5000);
    QList<quint64> ids;
    static const QRegularExpression line(u"^\\s+(0x[0-9a-f]+) "_s);
    for (const QString& l : QString::fromUtf8(tree.readAllStandardOutput()).split(u'\n')) {
        const auto m = line.match(l);
        if (m.hasMatch()) ids.prepend(m.captured(1).toULongLong(nullptr, 16)); // xwininfo lists the top first
    }
    return ids;
}

} // namespace

// A dialog of the program stays above the character, however often the
// character shows itself again while it speaks.
class tst_DialogsAboveCharacter : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void dialogStaysAboveTheCharacter();
};

void tst_DialogsAboveCharacter::dialogStaysAboveTheCharacter()
{
    orvella::DialogsAboveCharacter keeper;
    // Stands in for the character: a frameless always-on-top tool window.
    QWidget character(nullptr, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
    character.resize(128, 128);
    QDialog question;
    orvella::StayAboveCharacter(&question);
    question.setWindowTitle(u"Remove All"_s);
    question.resize(300, 120);
    question.show();
    QVERIFY(QTest::qWaitForWindowExposed(&question));
    QVERIFY(question.windowFlags() & Qt::WindowStaysOnTopHint);

    for (int round = 0; round < 2; ++round) {
        character.hide();
        character.show(); // the character shows itself for the next words
        QVERIFY(QTest::qWaitForWindowExposed(&character));
        QTRY_VERIFY(stackingOrder().indexOf(question.winId()) > stackingOrder().indexOf(character.winId()));
    }
}

QTEST_MAIN(tst_DialogsAboveCharacter)
#include "tst_DialogsAboveCharacter.moc"
