#include "embeddedpage.h"

#include <webview/browserpage.h>
#include <webview/browserprofile.h>
#include <webview/webenginetab.h>

#include <QVBoxLayout>
#include <QWebEngineProfile>
#include <QWebEngineView>

using namespace Qt::StringLiterals;

namespace Kuaidi {

EmbeddedPage::EmbeddedPage(QWidget *parent) : PageArea(parent)
{
    m_profile = persistentBrowserProfile(this);
    m_view = new QWebEngineView(this);
    m_view->setObjectName(u"超文本浏览框1"_s);
    m_view->setPage(new BrowserPage(m_profile, m_view));
    m_view->setHtml(editorStepsHtml());
    m_tab = new WebEngineTab(m_view);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_view);
}

EmbeddedPage::~EmbeddedPage()
{
    // The page must go before the profile it uses.
    delete m_view;
    m_view = nullptr;
}

BrowserTab *EmbeddedPage::tab() const
{
    return m_tab;
}

bool EmbeddedPage::showAddress(const QUrl &address, QString * /*errorText*/)
{
    m_view->setUrl(address);
    return true;
}

} // namespace Kuaidi
