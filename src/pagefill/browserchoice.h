#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

namespace Kuaidi {

/// Where the template editor shows the marketplace page.
enum class PageBackend {
    Embedded,   ///< the browser built into the editor (Qt WebEngine)
    OwnBrowser, ///< the seller's own Edge, Chrome or Chromium, over its DevTools protocol
};

/// The backends this build has, the default first; none in a build without
/// an editor.
QList<PageBackend> builtPageBackends();

/// A browser the editor can drive: what to call it, its program, and the name
/// of the profile folder of its own that the editor gives it.
struct InstalledBrowser
{
    QString name;
    QString program;
    QString profileName;
};

/// A place a browser may be installed: an absolute program path, or a bare
/// command name looked up on the program search path.
struct BrowserPlace
{
    QString name;
    QString profileName;
    QString program;
};

/// Edge, Chrome and Chromium where this system installs them, in that order.
QList<BrowserPlace> usualBrowserPlaces();

/// The first of @p places that holds a program, and every place looked at (a
/// command as "PATH 中的 NAME"), for a message that says where.
struct BrowserSearch
{
    std::optional<InstalledBrowser> found;
    QStringList looked;
};
BrowserSearch findBrowser(const QList<BrowserPlace> &places, const QStringList &searchPath);
/// The same over the usual places and the PATH of the environment.
BrowserSearch findBrowser();

/// The seller's choice in 设置: the backend, and the browser program (empty:
/// the first one found).
struct BrowserChoice
{
    PageBackend backend = PageBackend::Embedded;
    QString program;
};

/// The saved choice, falling back to what this build has: a backend not
/// built is never returned while another is.
BrowserChoice savedBrowserChoice();
void saveBrowserChoice(const BrowserChoice &choice);

/// The browser a choice comes to: its own program when it names one (a
/// missing program is looked for nowhere else), else the first found.
BrowserSearch browserFor(const BrowserChoice &choice);

/// The browser program @p program is taken for, by its file name.
InstalledBrowser browserFromProgram(const QString &program);

} // namespace Kuaidi
