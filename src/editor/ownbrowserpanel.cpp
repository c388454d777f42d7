#include "ownbrowserpanel.h"

#include <widgets/named.h>

#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace Kuaidi {

OwnBrowserPanel::OwnBrowserPanel(DevToolsTab::Options options, QWidget *parent)
    : PageArea(parent), m_tab(new DevToolsTab(std::move(options), this))
{
    setObjectName(u"分组框_浏览器"_s);
    auto *heading = new QLabel(u"运费模板页面在您自己的浏览器中打开"_s, this);
    heading->setStyleSheet(u"font-size: 15px; font-weight: bold; color: #b03020;"_s);
    m_browser = named<QLabel>(u"标签_浏览器"_s, this);
    m_page = named<QLabel>(u"标签_网页"_s, this);
    for (QLabel *label : {m_browser, m_page}) {
        label->setWordWrap(true);
        label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    }
    m_show = named<QPushButton>(u"按钮_显示浏览器"_s, u"显示浏览器窗口"_s, this);
    m_show->setToolTip(u"把正在编辑的网页切换到浏览器的最前面"_s);

    auto *line = new QFrame(this);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    auto *steps = new QLabel(editorStepsHtml(), this);
    steps->setWordWrap(true);
    steps->setTextFormat(Qt::RichText);
    auto *note = new QLabel(u"浏览器使用编辑器自己的资料夹：在这里登录一次，以后打开时仍保持登录。"
                            "编辑器只通过本机（127.0.0.1）与浏览器连接。"_s,
                            this);
    note->setWordWrap(true);
    note->setStyleSheet(u"color: #666;"_s);

    auto *grid = new QVBoxLayout(this);
    grid->addWidget(heading);
    auto *browserRow = new QHBoxLayout;
    browserRow->addWidget(new QLabel(u"浏览器："_s, this), 0, Qt::AlignTop);
    browserRow->addWidget(m_browser, 1);
    browserRow->addWidget(m_show, 0, Qt::AlignTop);
    grid->addLayout(browserRow);
    auto *pageRow = new QHBoxLayout;
    pageRow->addWidget(new QLabel(u"网页："_s, this), 0, Qt::AlignTop);
    pageRow->addWidget(m_page, 1);
    grid->addLayout(pageRow);
    grid->addWidget(line);
    grid->addWidget(steps);
    grid->addWidget(note);
    grid->addStretch();

    connect(m_show, &QPushButton::clicked, m_tab, &DevToolsTab::activate);
    connect(m_tab, &DevToolsTab::changed, this, &OwnBrowserPanel::refresh);
    refresh();
}

BrowserTab *OwnBrowserPanel::tab() const
{
    return m_tab;
}

bool OwnBrowserPanel::showAddress(const QUrl &address, QString *errorText)
{
    m_browser->setText(u"正在打开浏览器…"_s);
    const bool shown = m_tab->open(address, errorText);
    refresh();
    return shown;
}

void OwnBrowserPanel::refresh()
{
    const bool connected = m_tab->isConnected();
    const QString name = m_tab->browserName();
    if (connected)
        m_browser->setText(u"%1（已连接）"_s.arg(name));
    else if (!name.isEmpty())
        m_browser->setText(u"%1（已关闭或已断开，点击“1.打开”重新打开）"_s.arg(name));
    else
        m_browser->setText(u"尚未打开：点击上方的“1.打开”，用 Edge、Chrome 或 Chromium 打开运费模板页面"_s);
    const QUrl url = m_tab->pageUrl();
    if (!connected || url.isEmpty()) {
        m_page->setText(u"—"_s);
    } else {
        const QString title = m_tab->pageTitle();
        m_page->setText(title.isEmpty() || title == url.toString() ? url.toDisplayString()
                                                                   : title % u"\n"_s % url.toDisplayString());
    }
    m_show->setEnabled(connected);
}

} // namespace Kuaidi
