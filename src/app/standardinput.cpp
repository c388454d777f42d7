#include "standardinput.h"

#include <cstdio>
#include <functional>
#include <mutex>
#include <thread>

namespace Kuaidi {

namespace {
// A request is a word; a longer line is cut rather than held on to.
constexpr qsizetype MaxLineBytes = 4096;
} // namespace

// Shared with the reading thread, which may outlive the object.
struct StandardInputLines::Receiver
{
    std::mutex mutex;
    StandardInputLines *object = nullptr;

    // Queued while the lock keeps the object alive; Qt drops the event
    // should the object go before it is delivered.
    void deliver(const std::function<void(StandardInputLines *)> &signal)
    {
        const std::lock_guard lock(mutex);
        if (object) {
            StandardInputLines *to = object;
            QMetaObject::invokeMethod(
                to, [to, signal] { signal(to); }, Qt::QueuedConnection);
        }
    }
};

StandardInputLines::StandardInputLines(QObject *parent)
    : QObject(parent), m_receiver(std::make_shared<Receiver>())
{
    m_receiver->object = this;
}

StandardInputLines::~StandardInputLines()
{
    const std::lock_guard lock(m_receiver->mutex);
    m_receiver->object = nullptr;
}

void StandardInputLines::start()
{
    std::thread([receiver = m_receiver] {
        QByteArray line;
        char buffer[256];
        while (std::fgets(buffer, sizeof buffer, stdin)) {
            line += buffer;
            if (!line.endsWith('\n') && line.size() < MaxLineBytes)
                continue;
            while (line.endsWith('\n') || line.endsWith('\r'))
                line.chop(1);
            receiver->deliver([line](StandardInputLines *to) { Q_EMIT to->lineReceived(line); });
            line.clear();
        }
        if (!line.isEmpty())
            receiver->deliver([line](StandardInputLines *to) { Q_EMIT to->lineReceived(line); });
        receiver->deliver([](StandardInputLines *to) { Q_EMIT to->ended(); });
    }).detach();
}

} // namespace Kuaidi
