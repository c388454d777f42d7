#include "browserpage.h"

#include <pagefill/pagefilllogging.h>

#include <QTimer>

namespace Kuaidi {

namespace {

constexpr int MaxReloadsWithoutLoad = 3;

} // namespace

BrowserPage::BrowserPage(QObject *parent) : QWebEnginePage(parent)
{
    watchRenderer();
}

BrowserPage::BrowserPage(QWebEngineProfile *profile, QObject *parent) : QWebEnginePage(profile, parent)
{
    watchRenderer();
}

void BrowserPage::watchRenderer()
{
    connect(this, &QWebEnginePage::renderProcessTerminated, this, &BrowserPage::recover);
    connect(this, &QWebEnginePage::loadFinished, this, [this](bool ok) {
        if (ok)
            m_reloadsWithoutLoad = 0;
    });
}

void BrowserPage::javaScriptConsoleMessage(JavaScriptConsoleMessageLevel level, const QString &message,
                                           int lineNumber, const QString &sourceId)
{
    // Marketplace pages log a lot; only their errors deserve a warning.
    switch (level) {
    case InfoMessageLevel:
        qCDebug(lcPagefill).noquote() << "console:" << sourceId << lineNumber << message;
        break;
    case WarningMessageLevel:
        qCInfo(lcPagefill).noquote() << "console warning:" << sourceId << lineNumber << message;
        break;
    case ErrorMessageLevel:
        qCWarning(lcPagefill).noquote() << "console error:" << sourceId << lineNumber << message;
        break;
    }
}

void BrowserPage::javaScriptAlert(const QUrl &securityOrigin, const QString &message)
{
    qCInfo(lcPagefill).noquote() << "page alert answered:" << securityOrigin.toString() << message;
}

bool BrowserPage::javaScriptConfirm(const QUrl &securityOrigin, const QString &message)
{
    qCInfo(lcPagefill).noquote() << "page question answered OK:" << securityOrigin.toString() << message;
    return true;
}

void BrowserPage::recover(RenderProcessTerminationStatus status, int exitCode)
{
    if (status == NormalTerminationStatus)
        return;
    qCWarning(lcPagefill) << "renderer process ended:" << status << "exit code" << exitCode << "page"
                          << url();
    if (url().isEmpty() || m_reloadsWithoutLoad >= MaxReloadsWithoutLoad) {
        qCWarning(lcPagefill) << "not reloading the page";
        return;
    }
    ++m_reloadsWithoutLoad;
    // Not from inside the termination signal: the page is still tearing down.
    QTimer::singleShot(0, this, [this] { triggerAction(Reload); });
}

} // namespace Kuaidi
