#include "webenginetab.h"

#include <QAction>
#include <QWebEnginePage>
#include <QWebEngineScript>
#include <QWebEngineView>

namespace Kuaidi {

WebEngineTab::WebEngineTab(QWebEngineView *view) : BrowserTab(view), m_view(view) {}

bool WebEngineTab::attach(QString * /*errorText*/)
{
    // Before its first load a view has no document to bind to; WebFormFiller
    // says so.
    return m_view && m_view->page() && !m_view->page()->url().isEmpty();
}

bool WebEngineTab::isLoading() const
{
    // The page's own loading flag: the Stop action is on while a load runs.
    return m_view && m_view->page() && m_view->page()->action(QWebEnginePage::Stop)->isEnabled();
}

void WebEngineTab::runIsolated(const QString &script, Answer answer)
{
    if (!m_view || !m_view->page())
        return;
    m_view->page()->runJavaScript(script, QWebEngineScript::ApplicationWorld, answer);
}

} // namespace Kuaidi
