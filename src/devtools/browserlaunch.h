#pragma once

#include <pagefill/browserchoice.h>

#include <QObject>
#include <QPointer>
#include <QStringList>
#include <QUrl>

#include <optional>

class QProcess;

namespace Kuaidi {

/// How the seller's browser is started for the editor.
struct BrowserLaunchOptions
{
    InstalledBrowser browser;
    /// Its profile folder, the editor's own: the seller logs in to the
    /// marketplace once and stays logged in, apart from their everyday
    /// browsing.
    QString profileFolder;
    /// Added to the command line: --headless for tests, --no-sandbox where
    /// Chromium runs as root.
    QStringList extraArguments;
    /// The browser stays open when the editor ends (the seller's window);
    /// otherwise it ends with the launch.
    bool keepRunning = true;
    int timeoutMs = 30000;
};

/// The browser's command line: the editor's profile, a debugging port of the
/// browser's own choosing (on 127.0.0.1, the browser's default), no
/// first-run questions, the extra arguments, and the address to show.
QStringList browserArguments(const BrowserLaunchOptions &options, const QUrl &address);

/// The DevTools endpoint that a DevToolsActivePort file names: its first line
/// the port, its second the browser's path ("/devtools/browser/ID"). Nothing
/// for any other contents.
std::optional<QUrl> endpointFromActivePort(const QByteArray &contents);

/// The endpoint the browser on @p profileFolder wrote down when it started;
/// it may be of a browser that has ended since.
std::optional<QUrl> activePortEndpoint(const QString &profileFolder);

/// A browser started on a profile folder, until it has said where its
/// debugging port is.
class BrowserLaunch final : public QObject
{
    Q_OBJECT

public:
    explicit BrowserLaunch(QObject *parent = nullptr);
    ~BrowserLaunch() override;

    /// Starts the browser on @p address and waits until it names its
    /// endpoint; false with @p errorText in the seller's words otherwise.
    bool start(const BrowserLaunchOptions &options, const QUrl &address, QString *errorText);
    QUrl endpoint() const { return m_endpoint; }
    /// False once a browser that ends with the launch has ended; a browser
    /// that keeps running is not watched.
    bool isRunning() const;

Q_SIGNALS:
    void finished();

private:
    QPointer<QProcess> m_process;
    // The last of what it printed, for the message when it ends at once.
    QByteArray m_errorTail;
    QUrl m_endpoint;
};

} // namespace Kuaidi
