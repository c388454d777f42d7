#pragma once

#include <QObject>
#include <QVariant>

#include <functional>

namespace Kuaidi {

/// A browser tab that WebFormFiller works on: the embedded browser's view, or
/// a tab of the seller's own browser reached over its DevTools protocol.
///
/// Scripts run in an isolated world of the tab's top document: they share
/// the page's DOM, so clicks reach the page's own handlers, but none of its
/// JavaScript globals.
class BrowserTab : public QObject
{
    Q_OBJECT

public:
    using Answer = std::function<void(const QVariant &)>;

    using QObject::QObject;

    /// Readies the tab for scripts. False when it shows no page yet, or its
    /// browser is gone; @p errorText, when given, then says why in the
    /// seller's words.
    virtual bool attach(QString *errorText) = 0;
    /// A page is on its way in: until its document arrives the one before
    /// may still answer, complete.
    virtual bool isLoading() const = 0;
    /// Runs @p script in the isolated world and hands its value (JSON-like:
    /// maps, lists, texts, numbers) to @p answer, which may be called late or
    /// never, but not from within this call.
    virtual void runIsolated(const QString &script, Answer answer) = 0;

Q_SIGNALS:
    /// The browser behind the tab is gone: no answer will come.
    void closed();
};

} // namespace Kuaidi
