#include "standardinput.h"

#include <cerrno>
#include <functional>
#include <mutex>
#include <thread>

#ifdef Q_OS_WIN
#include <qt_windows.h>
#else
#include <unistd.h>
#endif

namespace Kuaidi {

namespace {

// A request is a word; a longer line is cut rather than held on to.
constexpr qsizetype MaxLineBytes = 4096;

// What the input holds now, waiting for it; nothing at its end. Read below
// the C library's streams: a thread blocked in one holds the stream's lock,
// which the C runtime of Windows waits for when the program exits.
qsizetype readInput(char *buffer, qsizetype size)
{
#ifdef Q_OS_WIN
    DWORD read = 0;
    if (!ReadFile(GetStdHandle(STD_INPUT_HANDLE), buffer, DWORD(size), &read, nullptr))
        return 0;
    return qsizetype(read);
#else
    for (;;) {
        const ssize_t n = ::read(STDIN_FILENO, buffer, size_t(size));
        if (n >= 0 || errno != EINTR)
            return n > 0 ? qsizetype(n) : 0;
    }
#endif
}

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
        const auto deliverLine = [&receiver](QByteArray line) {
            while (line.endsWith('\n') || line.endsWith('\r'))
                line.chop(1);
            receiver->deliver([line](StandardInputLines *to) { Q_EMIT to->lineReceived(line); });
        };
        QByteArray pending;
        char buffer[256];
        while (const qsizetype n = readInput(buffer, sizeof buffer)) {
            pending.append(buffer, n);
            for (qsizetype end = pending.indexOf('\n'); end >= 0; end = pending.indexOf('\n')) {
                deliverLine(pending.left(end));
                pending.remove(0, end + 1);
            }
            if (pending.size() >= MaxLineBytes) {
                deliverLine(pending);
                pending.clear();
            }
        }
        if (!pending.isEmpty())
            deliverLine(pending);
        receiver->deliver([](StandardInputLines *to) { Q_EMIT to->ended(); });
    }).detach();
}

} // namespace Kuaidi
