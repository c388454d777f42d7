#pragma once

#include <QWebEnginePage>

namespace Kuaidi {

/// The page of the embedded browser. It passes the page's console messages to
/// the log (category "kuaidi.pagefill") and reloads the page when its renderer
/// process crashes or is killed, so the seller is not left with a dead view.
/// Message boxes the page raises are answered with OK at once and logged: one
/// raised by a click handler would otherwise stop the ticking of regions.
class BrowserPage : public QWebEnginePage
{
    Q_OBJECT

public:
    explicit BrowserPage(QObject *parent = nullptr);
    explicit BrowserPage(QWebEngineProfile *profile, QObject *parent = nullptr);

protected:
    void javaScriptConsoleMessage(JavaScriptConsoleMessageLevel level, const QString &message, int lineNumber,
                                  const QString &sourceId) override;
    void javaScriptAlert(const QUrl &securityOrigin, const QString &message) override;
    bool javaScriptConfirm(const QUrl &securityOrigin, const QString &message) override;

private:
    void watchRenderer();
    void recover(RenderProcessTerminationStatus status, int exitCode);

    // Reloads since the last successful load; a page that kills its renderer
    // every time is given up on rather than reloaded forever.
    int m_reloadsWithoutLoad = 0;
};

} // namespace Kuaidi
