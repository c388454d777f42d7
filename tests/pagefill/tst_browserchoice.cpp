#include <pagefill/browserchoice.h>

#include <QDir>
#include <QFile>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;
using namespace Kuaidi;

class TestBrowserChoice final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void findBrowser_firstPlaceWithAProgram_data();
    void findBrowser_firstPlaceWithAProgram();
    void browserFor_chosenProgramIsLookedForNowhereElse();
    void savedChoice_neverABackendTheBuildLacks();

private:
    QTemporaryDir m_dir;
};

void TestBrowserChoice::initTestCase()
{
    QStandardPaths::setTestModeEnabled(true);
    QSettings().clear();
}

namespace {

// An empty file standing for a browser's program.
QString program(const QString &root, const QString &name, bool executable = true)
{
    const QString path = QDir(root).filePath(name);
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    file.open(QIODevice::WriteOnly);
    file.setPermissions(executable ? QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner
                                   : QFile::ReadOwner | QFile::WriteOwner);
    return QFileInfo(path).absoluteFilePath();
}

} // namespace

void TestBrowserChoice::findBrowser_firstPlaceWithAProgram_data()
{
    QTest::addColumn<QStringList>("present");     // files made, "-" before a name: not executable
    QTest::addColumn<QString>("expectedName");    // empty: none found
    QTest::addColumn<QString>("expectedProgram"); // relative to the folder
    QTest::addColumn<int>("looked");

    QTest::newRow("nothing installed") << QStringList() << QString() << QString() << 4;
    QTest::newRow("Edge before Chromium")
        << QStringList{u"edge/msedge"_s, u"bin/chromium"_s} << u"Microsoft Edge"_s << u"edge/msedge"_s << 1;
    QTest::newRow("a command on the search path")
        << QStringList{u"bin/chromium"_s} << u"Chromium"_s << u"bin/chromium"_s << 4;
    QTest::newRow("a file that is no program is passed over")
        << QStringList{u"-edge/msedge"_s, u"chrome/chrome"_s} << u"Google Chrome"_s << u"chrome/chrome"_s
        << 2;
}

void TestBrowserChoice::findBrowser_firstPlaceWithAProgram()
{
    QFETCH(QStringList, present);
    QFETCH(QString, expectedName);
    QFETCH(QString, expectedProgram);
    QFETCH(int, looked);
    const QTemporaryDir dir;
    const QString root = dir.path();
    for (const QString &name : present)
        program(root, name.startsWith(u'-') ? name.mid(1) : name, !name.startsWith(u'-'));
    const QList<BrowserPlace> places{{u"Microsoft Edge"_s, u"edge"_s, root + u"/edge/msedge"_s},
                                     {u"Google Chrome"_s, u"chrome"_s, root + u"/chrome/chrome"_s},
                                     {u"Chromium"_s, u"chromium"_s, u"chromium-browser"_s},
                                     {u"Chromium"_s, u"chromium"_s, u"chromium"_s}};

    const BrowserSearch search = findBrowser(places, {root + u"/bin"_s});
    QCOMPARE(search.found.has_value(), !expectedName.isEmpty());
    if (search.found) {
        QCOMPARE(search.found->name, expectedName);
        QCOMPARE(search.found->program, QDir(root).filePath(expectedProgram));
    }
    // Where it looked, for the message that says so.
    QCOMPARE(search.looked.size(), looked);
    QCOMPARE(search.looked.first(), QDir::toNativeSeparators(root + u"/edge/msedge"_s));
    if (looked == 4)
        QCOMPARE(search.looked.last(), u"PATH 中的 chromium"_s);
}

void TestBrowserChoice::browserFor_chosenProgramIsLookedForNowhereElse()
{
    const QString chosen = program(m_dir.path(), u"apps/Google Chrome"_s);
    BrowserSearch search = browserFor({PageBackend::OwnBrowser, chosen});
    QVERIFY(search.found);
    QCOMPARE(search.found->name, u"Google Chrome"_s);
    QCOMPARE(search.found->profileName, u"chrome"_s);
    QCOMPARE(browserFromProgram(u"C:/Program Files/Microsoft/Edge/Application/msedge.exe"_s).profileName,
             u"edge"_s);
    QCOMPARE(browserFromProgram(u"/usr/bin/chromium"_s).name, u"Chromium"_s);
    QCOMPARE(browserFromProgram(u"/opt/brave/brave"_s).profileName, u"browser"_s);

    const QString gone = QDir(m_dir.path()).filePath(u"apps/removed-browser"_s);
    search = browserFor({PageBackend::OwnBrowser, gone});
    QVERIFY(!search.found);
    QCOMPARE(search.looked, QStringList{QDir::toNativeSeparators(gone)});
}

void TestBrowserChoice::savedChoice_neverABackendTheBuildLacks()
{
    const QList<PageBackend> built = builtPageBackends();
    QSettings().clear();
    if (!built.isEmpty())
        QCOMPARE(savedBrowserChoice().backend, built.first()); // the embedded one where built

    for (const PageBackend backend : {PageBackend::Embedded, PageBackend::OwnBrowser}) {
        saveBrowserChoice({backend, u"/opt/chromium/chrome"_s});
        const BrowserChoice saved = savedBrowserChoice();
        QCOMPARE(saved.program, u"/opt/chromium/chrome"_s);
        if (built.contains(backend))
            QCOMPARE(saved.backend, backend);
        else if (!built.isEmpty())
            QCOMPARE(saved.backend, built.first());
    }
}

QTEST_GUILESS_MAIN(TestBrowserChoice)
#include "tst_browserchoice.moc"
