#pragma once

// A browser tab showing the test pages, for the same tests over both
// backends: the embedded browser (Qt WebEngine), or the seller's own
// (Chromium over the DevTools protocol) when KUAIDI_TEST_DEVTOOLS is defined.

#include "../common/pageserver.h"

#include <pagefill/browsertab.h>

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

#ifdef KUAIDI_TEST_DEVTOOLS
#include "../common/testbrowser.h"

#include <devtools/devtoolsconnection.h>
#include <devtools/devtoolstab.h>
#else
#include "../common/pagescript.h"

#include <webview/browserpage.h>
#include <webview/webenginetab.h>

#include <QWebEngineProfile>
#include <QWebEngineView>
#endif

namespace KuaidiTest {

// Chromium shares two cores with other builds here: be patient.
constexpr int PageTimeoutMs = 60000;

#ifdef KUAIDI_TEST_DEVTOOLS

class PageFixture
{
public:
    PageFixture() = default;

    Kuaidi::BrowserTab *tab() { return m_tab.get(); }
    Kuaidi::DevToolsTab *devToolsTab() { return m_tab.get(); }

    /// Shows @p page; without @p wait, does not wait for it to load.
    bool open(const QString &page, const QString &query = {}, bool wait = true)
    {
        const QUrl url = m_server.url(page, query);
        if (!m_tab) {
            m_tab = std::make_unique<Kuaidi::DevToolsTab>(testBrowserOptions(m_profiles.path()));
            QString error;
            if (!m_tab->open(url, &error)) {
                qWarning() << "cannot start the test browser:" << error;
                return false;
            }
            watchDialogs();
        } else if (!wait) {
            m_tab->connection()->send(QStringLiteral("Page.navigate"),
                                      {{QStringLiteral("url"), url.toString()}}, m_tab->sessionId());
            return true;
        } else if (!m_tab->open(url)) {
            return false;
        }
        watchDialogs();
        return !wait || QTest::qWaitFor(
                            [&] {
                                return evaluate(QStringLiteral("document.readyState + ' ' + location.href"))
                                           .toString() == QStringLiteral("complete ") + url.toString();
                            },
                            PageTimeoutMs);
    }

    QVariant evaluate(const QString &script) { return evaluateInTab(m_tab.get(), script, PageTimeoutMs); }

    void evaluateLater(const QString &script)
    {
        m_tab->connection()->send(QStringLiteral("Runtime.evaluate"),
                                  {{QStringLiteral("expression"), script}}, m_tab->sessionId());
    }

    QStringList alerts() const { return m_alerts; }

    /// The tab goes, and its browser with it.
    void destroyTab() { m_tab.reset(); }

    /// A tab of a browser never opened.
    std::unique_ptr<Kuaidi::BrowserTab> unloadedTab()
    {
        return std::make_unique<Kuaidi::DevToolsTab>(testBrowserOptions(m_otherProfiles.path()));
    }
    static QString unloadedError() { return QStringLiteral("还没有打开浏览器：请点击“1.打开”。"); }

private:
    // Dialogs are recorded and answered, as the embedded fixture's page does.
    void watchDialogs()
    {
        if (m_watched == m_tab->connection())
            return;
        m_watched = m_tab->connection();
        QObject::connect(m_watched, &Kuaidi::DevToolsConnection::eventReceived, m_watched,
                         [this, connection = m_watched.data()](
                             const QString &method, const QJsonObject &params, const QString &sessionId) {
                             if (method != QStringLiteral("Page.javascriptDialogOpening"))
                                 return;
                             m_alerts.append(params.value(QStringLiteral("message")).toString());
                             connection->send(QStringLiteral("Page.handleJavaScriptDialog"),
                                              {{QStringLiteral("accept"), true}}, sessionId);
                         });
    }

    PageServer m_server;
    QTemporaryDir m_profiles;
    QTemporaryDir m_otherProfiles;
    std::unique_ptr<Kuaidi::DevToolsTab> m_tab;
    QPointer<Kuaidi::DevToolsConnection> m_watched;
    QStringList m_alerts;
};

#else

class PageFixture
{
public:
    PageFixture() : m_profile(std::make_unique<QWebEngineProfile>()) {}
    ~PageFixture() { m_view.reset(); }

    Kuaidi::BrowserTab *tab() { return m_tab; }
    QWebEnginePage *page() { return m_page; }

    /// Shows @p page; without @p wait, does not wait for it to load.
    bool open(const QString &page, const QString &query = {}, bool wait = true)
    {
        if (!m_view) {
            m_view = std::make_unique<QWebEngineView>();
            m_page = new RecordingPage(m_profile.get(), m_view.get());
            m_view->setPage(m_page);
            m_view->resize(800, 600);
            m_view->show();
            m_tab = new Kuaidi::WebEngineTab(m_view.get());
        }
        QSignalSpy loaded(m_page, &QWebEnginePage::loadFinished);
        m_view->load(m_server.url(page, query));
        return !wait || (loaded.wait(PageTimeoutMs) && loaded.first().first().toBool());
    }

    QVariant evaluate(const QString &script) { return evaluateScript(m_page, script, PageTimeoutMs); }
    void evaluateLater(const QString &script) { m_page->runJavaScript(script); }

    QStringList alerts() const { return m_page ? m_page->alerts : QStringList(); }

    /// The view goes, and its tab with it.
    void destroyTab()
    {
        m_view.reset();
        m_page = nullptr;
        m_tab = nullptr;
    }

    /// The tab of a view that never loaded a page.
    std::unique_ptr<Kuaidi::BrowserTab> unloadedTab()
    {
        m_unloaded = std::make_unique<QWebEngineView>();
        m_unloaded->setPage(new QWebEnginePage(m_profile.get(), m_unloaded.get()));
        auto *tab = new Kuaidi::WebEngineTab(m_unloaded.get());
        tab->setParent(nullptr);
        return std::unique_ptr<Kuaidi::BrowserTab>(tab);
    }
    static QString unloadedError() { return QStringLiteral("初始化失败 - 必须网页载入完毕后才能初始化"); }

private:
    // Records alerts instead of showing them: an alert is how injected
    // script would give itself away.
    class RecordingPage final : public Kuaidi::BrowserPage
    {
    public:
        using BrowserPage::BrowserPage;
        QStringList alerts;

    protected:
        void javaScriptAlert(const QUrl &, const QString &message) override { alerts.append(message); }
    };

    PageServer m_server;
    // Off the record: the tests leave nothing in the home directory.
    std::unique_ptr<QWebEngineProfile> m_profile;
    std::unique_ptr<QWebEngineView> m_view;
    std::unique_ptr<QWebEngineView> m_unloaded;
    RecordingPage *m_page = nullptr;
    Kuaidi::WebEngineTab *m_tab = nullptr;
};

#endif

} // namespace KuaidiTest
