#pragma once

#include <devtools/browserlaunch.h>
#include <pagefill/browsertab.h>

#include <QElapsedTimer>
#include <QHash>
#include <QList>
#include <QPointer>
#include <QUrl>

namespace Kuaidi {

class DevToolsConnection;

/// A tab of the seller's own browser (Edge, Chrome, Chromium), driven over
/// the DevTools protocol on 127.0.0.1.
///
/// open() starts the browser on a profile folder of the editor's own, or
/// takes the one already running there, and shows the address. The tab
/// bound is the page the browser showed it in; a page that the bound one
/// opens (a link into a new tab) takes its place, and when the bound tab is
/// closed the newest tab left does. Navigations and reloads inside the tab
/// need nothing: every script runs in an isolated world created afresh for
/// the document shown (Page.createIsolatedWorld, Runtime.evaluate).
///
/// A connection lost is tried again once; after that, and when the browser
/// has closed, attach() says so until open() is used again.
class DevToolsTab final : public BrowserTab
{
    Q_OBJECT

public:
    struct Options
    {
        /// The browser's program; empty: as the saved choice of 设置 says.
        QString program;
        /// Holds a profile folder for each kind of browser.
        QString profileRoot;
        QStringList extraArguments;
        bool keepRunning = true;
        int startTimeoutMs = 30000;
    };
    /// As the seller's settings say: the chosen browser, the profiles under
    /// the per-user data folder, and any arguments in KUAIDI_BROWSER_ARGS
    /// (for instance --no-sandbox, which Chromium needs to run as root).
    static Options defaultOptions();

    explicit DevToolsTab(Options options, QObject *parent = nullptr);
    ~DevToolsTab() override;

    /// Shows @p address in the bound tab, starting the browser when none is
    /// running; false with @p errorText in the seller's words.
    bool open(const QUrl &address, QString *errorText = nullptr);
    /// Brings the bound tab to the front.
    void activate();
    /// Closes the browser, and with it the tab.
    void closeBrowser();

    bool isConnected() const;
    /// "Chromium 156.0.8078.129"; empty before the first connection.
    QString browserName() const;
    QString pageTitle() const;
    QUrl pageUrl() const;

    bool attach(QString *errorText) override;
    bool isLoading() const override;
    void runIsolated(const QString &script, Answer answer) override;

    /// For tests: the connection and the bound tab's session.
    DevToolsConnection *connection() const { return m_connection; }
    QString sessionId() const { return m_sessionId; }

Q_SIGNALS:
    /// The browser, the bound tab, or what it shows, changed.
    void changed();

private:
    enum class Lost { No, Connection, Browser };

    struct Target
    {
        QString id;
        QString url;
        QString title;
        QString openerId;
    };

    std::optional<InstalledBrowser> locate(QString *errorText) const;
    QString profileFolder(const InstalledBrowser &browser) const;
    bool connectTo(const QUrl &endpoint, QString *errorText);
    bool reconnectOnce(QString *errorText);
    bool ensureSession(QString *errorText);
    void dropSession();
    void readTargets();
    void readTargetInfo(const QString &id);
    void onEvent(const QString &method, const QJsonObject &params, const QString &sessionId);
    void onConnectionClosed();
    qsizetype targetIndex(const QString &id) const;
    void evaluateIsolated(const QString &script, const QString &session, int retries, const Answer &answer);
    void answerDialog(const QJsonObject &params);
    void logConsoleCall(const QJsonObject &params);

    Options m_options;
    DevToolsConnection *m_connection = nullptr;
    BrowserLaunch *m_launch = nullptr;
    std::optional<InstalledBrowser> m_browser;
    QString m_version;
    Lost m_lost = Lost::No;
    bool m_reconnectTried = false;

    QList<Target> m_targets; ///< page targets, oldest first
    QString m_targetId;
    QString m_followId; ///< a tab the bound one opened, to bind next
    QString m_sessionId;
    QString m_frameId;
    /// The unique ids of the contexts of our world, by context number.
    QHash<int, QString> m_worlds;
    bool m_loading = false;
    QElapsedTimer m_sinceScript; ///< since one of our scripts began or ended
};

} // namespace Kuaidi
