#pragma once

#include <pagefill/browserchoice.h>

#include <QWidget>

class QUrl;

namespace Kuaidi {

class BrowserTab;

/// The left side of the editor: where the marketplace page is, the embedded
/// browser's view or the seller's own browser, and the tab that
/// WebFormFiller works on there.
class PageArea : public QWidget
{
    Q_OBJECT

public:
    using QWidget::QWidget;

    virtual BrowserTab *tab() const = 0;
    /// The "1.打开" step: shows @p address; false with @p errorText when the
    /// page could not be shown at all.
    virtual bool showAddress(const QUrl &address, QString *errorText) = 0;
};

/// The page area of @p backend, with the seller's settings; the embedded
/// browser when the build has no other.
PageArea *createPageArea(PageBackend backend, QWidget *parent = nullptr);

/// The steps of the editor, for the page area to show before any page.
QString editorStepsHtml();

} // namespace Kuaidi
