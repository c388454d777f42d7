#pragma once

#include <QObject>

#include <memory>

namespace Kuaidi {

/// Reads the lines of this process's standard input on a thread of its own
/// and hands each to the object's thread: the channel on which the
/// calculator sends requests to the editor it started. A blocking read works
/// alike on a pipe on every system, where a notifier on the input works on
/// Unix only.
class StandardInputLines final : public QObject
{
    Q_OBJECT

public:
    explicit StandardInputLines(QObject *parent = nullptr);
    /// The reading thread cannot be interrupted: it is left blocked on the
    /// input, to end with the process, and delivers nothing more.
    ~StandardInputLines() override;

    /// Starts reading; call once.
    void start();

Q_SIGNALS:
    /// A line, without its line ending.
    void lineReceived(const QByteArray &line);
    /// The input ended: the writer closed it, or ended in any way.
    void ended();

private:
    struct Receiver;
    std::shared_ptr<Receiver> m_receiver;
};

} // namespace Kuaidi
