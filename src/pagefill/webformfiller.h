#pragma once

#include <pagefill/browsertab.h>
#include <pagefill/pageelement.h>

#include <QList>
#include <QPointer>
#include <QString>
#include <QVariantMap>

class QJsonObject;

namespace Kuaidi {

/// Finds, ticks and hides check boxes on the page shown in a browser tab: the
/// embedded browser's, or one of the seller's own browser (see BrowserTab).
///
/// Initialise() binds to the tab's page and takes stock of its documents: the
/// top document, then those of its frames and inline frames, depth-first
/// (frames of another origin are out of reach and left out). The element
/// operations search those documents, or only the one that a frame number or
/// SelectFrame() names, and re-bind first when nothing is bound.
///
/// The page answers scripts asynchronously; every operation waits for the
/// answer on a local event loop, letting other events run, for about a second
/// at most. A page that does not answer in time yields an empty result.
/// Nothing here talks to the user: failures are results and error texts.
class WebFormFiller final
{
public:
    /// Binds to the page shown in @p tab. On failure the previous binding
    /// stays and @p errorText says why.
    bool Initialise(BrowserTab *tab, QString *errorText = nullptr);
    /// The tab of the last successful Initialise(), or null once it is gone.
    BrowserTab *boundWindowHandle() const;
    /// Binds to boundWindowHandle() again when no document is bound.
    void EnsureBound();

    int DocumentCount() const;
    /// Limits the element searches to the @p frame -th document (1-based);
    /// 0 searches them all. Survives binding.
    void SelectFrame(int frame);
    void ClearFrameSelection();
    int frameSelector() const;

    /// Lowercase hex MD5 of the UTF-8 body texts of all bound documents, in
    /// document order, as of the last bind.
    QString pageFingerprint() const;

    /// Binds to @p tab and waits until its page and the frames that show
    /// text have loaded. @p timeoutMs 0 waits 20 s, -1 practically forever.
    bool WaitUntilLoaded(BrowserTab *tab, int timeoutMs = 0);

    /// Ticks (or unticks) a check box and runs the page's click handlers for
    /// it once. False when no check box is found, the box is disabled (it is
    /// left as it is), or the page does not answer; lastCheckResult() says
    /// which.
    bool SetCheckBoxChecked(const QString &identifier, bool checked, int occurrence = 0, int frame = 0);
    bool SetCheckBoxChecked(const PageElement &element, bool checked);

    enum class CheckResult { Done, NotFound, Disabled };
    /// What the last SetCheckBoxChecked() came to.
    CheckResult lastCheckResult() const { return m_lastCheckResult; }
    /// Hides a check box (display "none") or shows it ("block").
    bool SetCheckBoxDisplay(const QString &identifier, bool shown = false, int occurrence = 0, int frame = 0);
    /// Shows a check box hidden by SetCheckBoxDisplay() as the page itself
    /// shows it: the display it was given here is taken away.
    bool restoreCheckBoxDisplay(const QString &identifier, int occurrence = 0, int frame = 0);

    PageElement FindCheckBox(const QString &identifier, int occurrence = 0, int frame = 0);
    /// Finds an input element of @p type (e.g. "checkbox") by identifier; see
    /// ElementIdentifier. @p occurrence matches are skipped first, counted over
    /// all searched documents. @p matchCounter, when given, counts the inputs
    /// of that type up to the one found (-1 when none is).
    PageElement FindInputElement(const QString &type, const QString &identifier, int occurrence = 0,
                                 int *matchCounter = nullptr, int frame = 0);
    /// Dispatches @p eventName ("onclick" or "click") to the element without
    /// its default action; false when it was cancelled or nothing was found.
    bool FireElementEvent(const PageElement &element, const QString &eventName);

    /// Every check box of the searched documents, in document order, as it
    /// is now; empty when the page does not answer.
    QList<PageCheckBox> checkBoxes(int frame = 0);

private:
    struct BoundDocument
    {
        QString readyState;
        bool hasText = false;
    };

    bool bind(BrowserTab *tab);
    QList<BoundDocument> liveDocuments(BrowserTab *tab, QString *bodyTexts = nullptr) const;
    QJsonObject searchRequest(const QString &type, const QString &identifier, int occurrence, bool counted,
                              int frame) const;
    QVariantMap callPage(QJsonObject request);
    bool check(QJsonObject request, bool checked);

    QPointer<BrowserTab> m_boundTab;
    QList<BoundDocument> m_documents;
    int m_frameSelector = 0;
    QString m_pageFingerprint;
    CheckResult m_lastCheckResult = CheckResult::NotFound;
};

} // namespace Kuaidi
