#pragma once

#include <pagefill/browsertab.h>

#include <QPointer>

#include <QWebEngineView>

namespace Kuaidi {

/// The page of the embedded browser's view, for WebFormFiller. It lives as a
/// child of the view and goes with it.
class WebEngineTab final : public BrowserTab
{
    Q_OBJECT

public:
    explicit WebEngineTab(QWebEngineView *view);

    bool attach(QString *errorText) override;
    bool isLoading() const override;
    void runIsolated(const QString &script, Answer answer) override;

    QWebEngineView *view() const { return m_view; }

private:
    QPointer<QWebEngineView> m_view;
};

} // namespace Kuaidi
