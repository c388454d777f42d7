#include "browserchoice.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>

using namespace Qt::StringLiterals;

namespace Kuaidi {

namespace {

const auto BackendKey = "editor/pageBackend"_L1;
const auto ProgramKey = "editor/browserProgram"_L1;
const auto OwnBrowserValue = "ownBrowser"_L1;
const auto EmbeddedValue = "embedded"_L1;

struct KnownBrowser
{
    QString name;
    QString profileName;
};

const KnownBrowser Edge{u"Microsoft Edge"_s, u"edge"_s};
const KnownBrowser Chrome{u"Google Chrome"_s, u"chrome"_s};
const KnownBrowser Chromium{u"Chromium"_s, u"chromium"_s};

QString isExecutableFile(const QString &path)
{
    const QFileInfo info(path);
    return info.isFile() && info.isExecutable() ? info.absoluteFilePath() : QString();
}

} // namespace

QList<PageBackend> builtPageBackends()
{
    QList<PageBackend> backends;
#ifdef KUAIDI_HAS_WEBENGINE
    backends.append(PageBackend::Embedded);
#endif
#ifdef KUAIDI_HAS_DEVTOOLS
    backends.append(PageBackend::OwnBrowser);
#endif
    return backends;
}

QList<BrowserPlace> usualBrowserPlaces()
{
    QList<BrowserPlace> places;
    const auto add = [&places](const KnownBrowser &browser, const QString &program) {
        places.append({browser.name, browser.profileName, program});
    };
#if defined(Q_OS_WIN)
    // Per-machine installs first, then the per-user ones under LOCALAPPDATA.
    const QStringList roots{qEnvironmentVariable("ProgramFiles(x86)"), qEnvironmentVariable("ProgramFiles"),
                            qEnvironmentVariable("LOCALAPPDATA")};
    const QList<std::pair<KnownBrowser, QString>> folders{{Edge, u"Microsoft/Edge/Application/msedge.exe"_s},
                                                          {Chrome, u"Google/Chrome/Application/chrome.exe"_s},
                                                          {Chromium, u"Chromium/Application/chrome.exe"_s}};
    for (const auto &[browser, tail] : folders) {
        for (const QString &root : roots) {
            if (!root.isEmpty())
                add(browser, QDir::cleanPath(QDir::fromNativeSeparators(root) % u'/' % tail));
        }
    }
#elif defined(Q_OS_MACOS)
    const QList<std::pair<KnownBrowser, QString>> bundles{
        {Edge, u"Microsoft Edge.app/Contents/MacOS/Microsoft Edge"_s},
        {Chrome, u"Google Chrome.app/Contents/MacOS/Google Chrome"_s},
        {Chromium, u"Chromium.app/Contents/MacOS/Chromium"_s}};
    for (const auto &[browser, tail] : bundles) {
        add(browser, u"/Applications/"_s + tail);
        add(browser, QDir::homePath() % u"/Applications/"_s % tail);
    }
#else
    for (const QString &command : {u"microsoft-edge"_s, u"microsoft-edge-stable"_s})
        add(Edge, command);
    for (const QString &command : {u"google-chrome"_s, u"google-chrome-stable"_s})
        add(Chrome, command);
    for (const QString &command : {u"chromium"_s, u"chromium-browser"_s})
        add(Chromium, command);
#endif
    return places;
}

BrowserSearch findBrowser(const QList<BrowserPlace> &places, const QStringList &searchPath)
{
    BrowserSearch search;
    for (const BrowserPlace &place : places) {
        QString program;
        if (QDir::isAbsolutePath(place.program)) {
            search.looked.append(QDir::toNativeSeparators(place.program));
            program = isExecutableFile(place.program);
        } else {
            search.looked.append(u"PATH 中的 "_s + place.program);
            if (!searchPath.isEmpty())
                program = QStandardPaths::findExecutable(place.program, searchPath);
        }
        if (!program.isEmpty()) {
            search.found = InstalledBrowser{place.name, program, place.profileName};
            return search;
        }
    }
    return search;
}

BrowserSearch findBrowser()
{
    const QStringList searchPath =
        qEnvironmentVariable("PATH").split(QDir::listSeparator(), Qt::SkipEmptyParts);
    return findBrowser(usualBrowserPlaces(), searchPath);
}

BrowserChoice savedBrowserChoice()
{
    const QSettings settings;
    const QList<PageBackend> built = builtPageBackends();
    BrowserChoice choice;
    choice.backend = settings.value(BackendKey).toString() == OwnBrowserValue ? PageBackend::OwnBrowser
                                                                              : PageBackend::Embedded;
    if (!built.isEmpty() && !built.contains(choice.backend))
        choice.backend = built.first();
    choice.program = settings.value(ProgramKey).toString();
    return choice;
}

void saveBrowserChoice(const BrowserChoice &choice)
{
    QSettings settings;
    settings.setValue(BackendKey,
                      choice.backend == PageBackend::OwnBrowser ? OwnBrowserValue : EmbeddedValue);
    settings.setValue(ProgramKey, choice.program);
}

InstalledBrowser browserFromProgram(const QString &program)
{
    const QString file = QFileInfo(program).completeBaseName().toLower();
    KnownBrowser known{QFileInfo(program).completeBaseName(), u"browser"_s};
    if (file.contains("edge"_L1))
        known = Edge;
    else if (file.contains("chromium"_L1))
        known = Chromium;
    else if (file.contains("chrome"_L1))
        known = Chrome;
    return {known.name, program, known.profileName};
}

BrowserSearch browserFor(const BrowserChoice &choice)
{
    if (choice.program.isEmpty())
        return findBrowser();
    BrowserSearch search;
    search.looked.append(QDir::toNativeSeparators(choice.program));
    if (const QString program = isExecutableFile(choice.program); !program.isEmpty())
        search.found = browserFromProgram(program);
    return search;
}

} // namespace Kuaidi
