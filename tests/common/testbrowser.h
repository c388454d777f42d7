#pragma once

// The seller's own browser, for tests: Debian's Chromium (or the program in
// KUAIDI_TEST_BROWSER), headless unless a test needs a window, on a profile
// of the test's own, ended with the tab that started it.

#include <devtools/devtoolsconnection.h>
#include <devtools/devtoolstab.h>

#include <QJsonObject>
#include <QVariant>

namespace KuaidiTest {

inline Kuaidi::DevToolsTab::Options testBrowserOptions(const QString &profileRoot, bool headless = true)
{
    Kuaidi::DevToolsTab::Options options;
    options.program = qEnvironmentVariable("KUAIDI_TEST_BROWSER");
    if (options.program.isEmpty()) {
        if (const Kuaidi::BrowserSearch search = Kuaidi::findBrowser(); search.found)
            options.program = search.found->program;
    }
    options.profileRoot = profileRoot;
    // No sandbox: the tests run as root in CI. No background traffic: this
    // machine's network is closed, and refused connections only slow
    // Chromium down.
    options.extraArguments = {QStringLiteral("--no-sandbox"), QStringLiteral("--disable-gpu"),
                              QStringLiteral("--disable-background-networking"),
                              QStringLiteral("--disable-component-update"), QStringLiteral("--disable-sync")};
    if (headless)
        options.extraArguments.prepend(QStringLiteral("--headless"));
    options.keepRunning = false;
    // Chromium shares two cores with other builds here: be patient.
    options.startTimeoutMs = 60000;
    return options;
}

/// Runs @p script in the main world of @p tab's page and waits for its
/// value; "no answer" when none comes in time, which no test expects.
inline QVariant evaluateInTab(Kuaidi::DevToolsTab *tab, const QString &script, int timeoutMs = 10000)
{
    if (!tab || !tab->connection())
        return QStringLiteral("no answer");
    const Kuaidi::DevToolsReply reply = tab->connection()->call(
        QStringLiteral("Runtime.evaluate"),
        {{QStringLiteral("expression"), script}, {QStringLiteral("returnByValue"), true}}, tab->sessionId(),
        timeoutMs);
    if (!reply.ok)
        return QStringLiteral("no answer");
    return reply.result.value(QStringLiteral("result")).toObject().value(QStringLiteral("value")).toVariant();
}

} // namespace KuaidiTest
