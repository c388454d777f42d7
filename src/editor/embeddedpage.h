#pragma once

#include <editor/pagearea.h>

class QWebEngineProfile;
class QWebEngineView;

namespace Kuaidi {

class WebEngineTab;

/// The marketplace page in the browser built into the editor.
class EmbeddedPage final : public PageArea
{
    Q_OBJECT

public:
    explicit EmbeddedPage(QWidget *parent = nullptr);
    ~EmbeddedPage() override;

    BrowserTab *tab() const override;
    bool showAddress(const QUrl &address, QString *errorText) override;

    QWebEngineView *view() const { return m_view; }

private:
    QWebEngineProfile *m_profile = nullptr;
    QWebEngineView *m_view = nullptr;
    WebEngineTab *m_tab = nullptr;
};

} // namespace Kuaidi
