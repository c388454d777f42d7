#pragma once

#include <devtools/devtoolstab.h>
#include <editor/pagearea.h>

class QLabel;
class QPushButton;

namespace Kuaidi {

/// The marketplace page in the seller's own browser: the editor's left side
/// says which browser and page it is bound to, and "1.打开" shows the address
/// there.
class OwnBrowserPanel final : public PageArea
{
    Q_OBJECT

public:
    explicit OwnBrowserPanel(DevToolsTab::Options options, QWidget *parent = nullptr);

    BrowserTab *tab() const override;
    bool showAddress(const QUrl &address, QString *errorText) override;

    DevToolsTab *devToolsTab() const { return m_tab; }

private:
    void refresh();

    DevToolsTab *m_tab = nullptr;
    QLabel *m_browser = nullptr;
    QLabel *m_page = nullptr;
    QPushButton *m_show = nullptr;
};

} // namespace Kuaidi
