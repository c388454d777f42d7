#pragma once

#include <QEventLoop>
#include <QPointer>
#include <QTimer>

#include <functional>
#include <memory>
#include <optional>

namespace Kuaidi {

/// Starts an asynchronous request through @p ask, handing it the function
/// that takes the answer, and waits for that answer up to @p timeoutMs,
/// letting every event but user input run meanwhile: waiting for a browser
/// is not waiting for the seller. @p quitOn may connect signals that end the
/// wait early (a tab that went away). Nothing when no answer came in time;
/// the answer may still come later, or never, and then finds its state alive.
template<typename Answer>
std::optional<Answer> waitForAnswer(const std::function<void(std::function<void(const Answer &)>)> &ask,
                                    int timeoutMs, const std::function<void(QEventLoop &)> &quitOn = {})
{
    struct Pending
    {
        std::optional<Answer> answer;
        QPointer<QEventLoop> loop;
    };
    auto pending = std::make_shared<Pending>();
    QEventLoop loop;
    pending->loop = &loop;
    QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
    if (quitOn)
        quitOn(loop);
    ask([pending](const Answer &answer) {
        pending->answer = answer;
        if (pending->loop)
            pending->loop->quit();
    });
    if (!pending->answer)
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    return pending->answer;
}

/// Waits @p ms, letting every event but user input run.
inline void waitWithoutUserInput(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec(QEventLoop::ExcludeUserInputEvents);
}

} // namespace Kuaidi
