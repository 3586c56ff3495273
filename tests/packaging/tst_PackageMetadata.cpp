// What AppStream's and the desktop's own validators cannot know: that the
// screenshots a software centre shows are the ones in docs/screenshots, at
// the size the metadata declares, and that the newest release, the Debian
// package's version and the program's own version are one.
#include <QFile>
#include <QImageReader>
#include <QRegularExpression>
#include <QTest>
#include <QXmlStreamReader>

using namespace Qt::Literals::StringLiterals;

namespace {

const QString sourceDir = QStringLiteral(ORVELLA_SOURCE_DIR);
// The web site publishes docs/screenshots under this address.
const QString screenshotsUrl = u"https://orvella.example/orvella/screenshots/"_s;

struct Screenshot
{
    QString url;
    QSize size;
};

struct Metainfo
{
    QList<Screenshot> screenshots;
    QStringList releases; // newest first, as AppStream lists them
    QString error;
};

Metainfo readMetainfo()
{
    Metainfo info;
    QFile file(sourceDir + u"/data/"_s + QStringLiteral(ORVELLA_APP_ID) + u".metainfo.xml"_s);
    if (!file.open(QIODevice::ReadOnly)) {
        info.error = file.fileName() + u": "_s + file.errorString();
        return info;
    }
    QXmlStreamReader xml(&file);
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement) continue;
        if (xml.name() == u"image"_s) {
            const auto a = xml.attributes();
            const QSize size(a.value(u"width"_s).toInt(), a.value(u"height"_s).toInt());
            info.screenshots.append({xml.readElementText().trimmed(), size});
        } else if (xml.name() == u"release"_s) {
            info.releases.append(xml.attributes().value(u"version"_s).toString());
        }
    }
    if (xml.hasError()) info.error = file.fileName() + u": "_s + xml.errorString();
    return info;
}

} // namespace

class tst_PackageMetadata : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void screenshotIsInTheRepository_data();
    void screenshotIsInTheRepository();
    void versionIsTheProgramsOwn_data();
    void versionIsTheProgramsOwn();
};

void tst_PackageMetadata::screenshotIsInTheRepository_data()
{
    const Metainfo info = readMetainfo();
    QVERIFY2(info.error.isEmpty(), qPrintable(info.error));
    QVERIFY(!info.screenshots.isEmpty());
    QTest::addColumn<QString>("url");
    QTest::addColumn<QSize>("declared");
    for (const Screenshot& s : info.screenshots)
        QTest::newRow(qPrintable(s.url.section(u'/', -1))) << s.url << s.size;
}

void tst_PackageMetadata::screenshotIsInTheRepository()
{
    QFETCH(QString, url);
    QFETCH(QSize, declared);
    QVERIFY2(url.startsWith(screenshotsUrl), qPrintable(url));
    const QString file = sourceDir + u"/docs/screenshots/"_s + url.mid(screenshotsUrl.size());
    QVERIFY2(QFile::exists(file), qPrintable(file + u" is missing"_s));
    // Software centres lay the page out from the declared size before the image arrives.
    QCOMPARE(QImageReader(file).size(), declared);
}

void tst_PackageMetadata::versionIsTheProgramsOwn_data()
{
    QTest::addColumn<QString>("version");

    const Metainfo info = readMetainfo();
    QVERIFY2(info.error.isEmpty(), qPrintable(info.error));
    QTest::newRow("newest AppStream release") << info.releases.value(0);

    // "orvella (0.1.0) bookworm; urgency=medium": the newest entry comes first.
    QFile changelog(sourceDir + u"/debian/changelog"_s);
    QVERIFY2(changelog.open(QIODevice::ReadOnly), qPrintable(changelog.errorString()));
    static const QRegularExpression entry(u"^orvella \\(([^)]*)\\)"_s);
    QTest::newRow("Debian changelog") << entry.match(QString::fromUtf8(changelog.readLine())).captured(1);
}

void tst_PackageMetadata::versionIsTheProgramsOwn()
{
    QFETCH(QString, version);
    QCOMPARE(version, QStringLiteral(ORVELLA_PROJECT_VERSION));
}

QTEST_GUILESS_MAIN(tst_PackageMetadata)
#include "tst_PackageMetadata.moc"
