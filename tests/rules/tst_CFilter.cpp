#include "platform/ProfileFile.h"
#include "rules/CFilter.h"

#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::Literals::StringLiterals;
using namespace orvella;

namespace {

CFilter filter(int type, const QString& name)
{
    CFilter f;
    f.m_Type = type;
    f.m_Name = name;
    return f;
}

// The line filter walked occurrence by occurrence, as the program always did
// it; the optimised pass must give the same text for every input.
QString referenceLineFilter(QString t, const QString& name)
{
    qsizetype p = t.indexOf(name);
    while (p >= 0) {
        if (p == 0) {
            const qsizetype q = t.indexOf(u"\r\n"_s);
            t = q < 0 ? QString() : t.mid(q + 2);
            p = t.indexOf(name);
        } else if (t.size() <= 2) {
            break;
        } else if (p >= 2 && t[p - 2] == u'\r' && t[p - 1] == u'\n') {
            const qsizetype q = t.indexOf(u"\r\n"_s, p);
            t = q < 0 ? t.left(p) : t.left(p) + t.mid(q + 2);
            if (p >= t.size())
                break;
            p = t.indexOf(name, p);
        } else {
            if (p + 1 >= t.size())
                break;
            p = t.indexOf(name, p + 1);
        }
    }
    return t;
}

} // namespace

class tst_CFilter : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void apply_data();
    void apply();
    void lineFilterMatchesReference();
    void filtersApplyInOrder();
    void displayName();
    void loadAndSave();
    void blanksSurviveARestart_data();
    void blanksSurviveARestart();
};

void tst_CFilter::apply_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expected");
    QTest::newRow("quoted line dropped") << 0 << u">"_s << u"Hi\r\n> quoted\r\nBye"_s << u"Hi\r\nBye"_s;
    QTest::newRow("indented line kept") << 0 << u">"_s << u"Hi\r\n > quoted\r\nBye"_s << u"Hi\r\n > quoted\r\nBye"_s;
    QTest::newRow("inside a line kept") << 0 << u">"_s << u"a > b\r\nc"_s << u"a > b\r\nc"_s;
    QTest::newRow("last line dropped, CR LF stays") << 0 << u">"_s << u"Hi\r\n> end"_s << u"Hi\r\n"_s;
    QTest::newRow("first two lines dropped") << 0 << u">"_s << u"> one\r\n> two\r\nthree"_s << u"three"_s;
    QTest::newRow("position 2 only, text unchanged") << 0 << u">"_s << u"a>bc"_s << u"a>bc"_s;
    QTest::newRow("two characters") << 0 << u">"_s << u"a>"_s << u"a>"_s;
    QTest::newRow("lone LF does not separate") << 0 << u">"_s << u"Hi\n> not a line\r\nBye"_s
                                               << u"Hi\n> not a line\r\nBye"_s;
    QTest::newRow("every line goes") << 0 << u"x"_s << u"x1\r\nx2\r\nx3"_s << u""_s;
    QTest::newRow("empty lines stay") << 0 << u">"_s << u"\r\n>a\r\n\r\n"_s << u"\r\n\r\n"_s;
    QTest::newRow("cut at five hyphens") << 1 << u"-----"_s << u"Body\r\n-----\r\nSig"_s << u"Body\r\n"_s;
    QTest::newRow("equals signs do not cut") << 1 << u"-----"_s << u"Body\r\n=====\r\nSig"_s
                                             << u"Body\r\n=====\r\nSig"_s;
    QTest::newRow("cut text absent") << 1 << u"--"_s << u"no dashes"_s << u"no dashes"_s;
    QTest::newRow("cut is case-sensitive") << 1 << u"Forwarded"_s << u"was forwarded to me"_s
                                           << u"was forwarded to me"_s;
    QTest::newRow("cut at the very start") << 1 << u"Hi"_s << u"Hi there"_s << u""_s;
    // A hand-edited type filters nothing rather than silencing every message.
    QTest::newRow("unknown type filters nothing") << 7 << u">"_s << u"anything"_s << u"anything"_s;
}

void tst_CFilter::apply()
{
    QFETCH(int, type);
    QFETCH(QString, name);
    QFETCH(QString, text);
    QFETCH(QString, expected);
    QCOMPARE(filter(type, name).Apply(text), expected);
}

void tst_CFilter::lineFilterMatchesReference()
{
    QRandomGenerator rng(7);
    const QString alphabet = u"ab>\r\n "_s;
    const QStringList names{u">"_s, u"a"_s, u"ab"_s, u"> "_s, u"aa"_s, u"b>"_s, u"\r\na"_s, u"\n"_s};
    for (int round = 0; round < 4000; ++round) {
        QString text;
        const int len = rng.bounded(0, 24);
        for (int i = 0; i < len; ++i)
            text += alphabet[rng.bounded(int(alphabet.size()))];
        const QString& name = names[rng.bounded(int(names.size()))];
        QCOMPARE(filter(0, name).Apply(text), referenceLineFilter(text, name));
    }
}

void tst_CFilter::filtersApplyInOrder()
{
    const QString text = u"Hi\r\n> keep?\r\n-----\r\n> sig"_s;
    const FilterList cutFirst{filter(1, u"-----"_s), filter(0, u">"_s)};
    QCOMPARE(ApplyFilters(cutFirst, text), u"Hi\r\n"_s);
    QCOMPARE(ApplyFilters({}, text), text);
    QCOMPARE(ApplyFilters({filter(0, u">"_s)}, text), u"Hi\r\n-----\r\n"_s);
}

void tst_CFilter::displayName()
{
    QCOMPARE(filter(0, u">"_s).DisplayName(), u"Don't read lines that start with \">\"."_s);
    QCOMPARE(filter(1, u"--"_s).DisplayName(), u"Read message until you reach \"--\"."_s);
    QCOMPARE(filter(2, u"x"_s).DisplayName(), QString());
}

void tst_CFilter::loadAndSave()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(u"Filters.INI"_s);
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    // Duplicate name in other letter case, a type that is not a number, a gap.
    f.write("[Filter 1]\r\nType=0\r\nName=>\r\n"
            "[Filter 2]\r\nType=1\r\nName=-- \r\n"
            "[Filter 3]\r\nType=x\r\nName=Sent From\r\n"
            "[Filter 4]\r\nType=1\r\nName=sent from\r\n"
            "[Filter 5]\r\nType=1\r\nName=\r\n"
            "[Filter 6]\r\nType=1\r\nName=never read\r\n");
    f.close();
    platform::invalidateProfileCache();
    const FilterList list = LoadFilters(path);
    QCOMPARE(list.size(), 3);
    QCOMPARE(list[0].m_Name, u">"_s);
    QCOMPARE(list[1].m_Name, u"--"_s);
    QCOMPARE(list[2].m_Name, u"Sent From"_s);
    QCOMPARE(list[2].m_Type, 0);

    FilterList shorter{list[0], list[2]};
    QVERIFY(SaveFilters(shorter, path));
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(QString::fromUtf8(f.readAll()),
             u"[Filter 1]\r\nType=0\r\nName=>\r\n[Filter 2]\r\nType=0\r\nName=Sent From\r\n"_s);
    f.close();
    QCOMPARE(LoadFilters(path).size(), 2);
    QVERIFY(LoadFilters(dir.filePath(u"missing.INI"_s)).isEmpty());
}

void tst_CFilter::blanksSurviveARestart_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("filtered");
    // "--" alone would cut the first line already.
    QTest::newRow("signature cut") << 1 << u"-- "_s << u"x--y\r\n-- \r\nsig"_s << u"x--y\r\n"_s;
    QTest::newRow("quoted reply") << 0 << u" >>"_s << u">>a\r\n >>b\r\nc"_s << u">>a\r\nc"_s;
    QTest::newRow("in quotes") << 1 << u"\"cut\""_s << u"cut \"cut\" here"_s << u"cut "_s;
}

void tst_CFilter::blanksSurviveARestart()
{
    QFETCH(int, type);
    QFETCH(QString, name);
    QFETCH(QString, text);
    QFETCH(QString, filtered);
    QTemporaryDir dir;
    const QString path = dir.filePath(u"Filters.INI"_s);
    QVERIFY(SaveFilters({filter(0, u"unrelated"_s), filter(type, name)}, path));
    platform::invalidateProfileCache();
    const FilterList loaded = LoadFilters(path);
    QCOMPARE(loaded.size(), 2);
    QCOMPARE(loaded[1].m_Name, name);
    QCOMPARE(loaded[1].m_Type, type);
    QCOMPARE(ApplyFilters(loaded, text), filtered);
}

QTEST_GUILESS_MAIN(tst_CFilter)
#include "tst_CFilter.moc"
