#pragma once

#include <QTest>
#include <QVariant>
#include <QWebEnginePage>
#include <QWebEngineScript>

#include <memory>
#include <optional>

namespace KuaidiTest {

/// Runs a script of the test's own in the page's main world and waits for its
/// answer. A page that does not answer in time gives the text "no answer",
/// which no test expects.
inline QVariant evaluateScript(QWebEnginePage *page, const QString &script, int timeoutMs = 10000)
{
    // The answer may come after the wait has given up; it must not write to
    // a stack frame that is gone.
    auto answer = std::make_shared<std::optional<QVariant>>();
    page->runJavaScript(script, QWebEngineScript::MainWorld,
                        [answer](const QVariant &value) { *answer = value; });
    if (!QTest::qWaitFor([&] { return answer->has_value(); }, timeoutMs))
        return QStringLiteral("no answer");
    return **answer;
}

} // namespace KuaidiTest
