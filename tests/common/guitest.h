#pragma once

// Helpers for window tests: record message boxes instead of showing them,
// and click list rows and headers as a user would.

#include <widgets/messages.h>
#include <widgets/reportlist.h>

#include <QCoreApplication>
#include <QHeaderView>
#include <QInputMethodEvent>
#include <QTest>
#include <QWidget>

namespace KuaidiTest {

/// Records every message while alive; confirm() gets @p answer.
class MessageRecorder
{
public:
    explicit MessageRecorder(bool answer = true)
    {
        Kuaidi::Messages::setHandler([this, answer](const Kuaidi::Messages::Message &m) {
            messages.append(m);
            return answer;
        });
    }
    ~MessageRecorder() { Kuaidi::Messages::setHandler({}); }
    MessageRecorder(const MessageRecorder &) = delete;
    MessageRecorder &operator=(const MessageRecorder &) = delete;

    QStringList texts() const
    {
        QStringList t;
        for (const auto &m : messages)
            t << m.text;
        return t;
    }
    /// The first line of each message: the fixed text, without the reason
    /// that may follow it.
    QStringList heads() const
    {
        QStringList t;
        for (const auto &m : messages)
            t << m.text.section(u'\n', 0, 0);
        return t;
    }
    void clear() { messages.clear(); }

    QList<Kuaidi::Messages::Message> messages;
};

/// The widget called @p name inside @p window. A missing one fails the test,
/// naming it, and yields a stand-in owned by the window, so that the test
/// reports the name instead of crashing on a null pointer.
template<typename T> T *child(QWidget *window, const QString &name)
{
    if (T *found = window->findChild<T *>(name))
        return found;
    QTest::qFail(qPrintable(QStringLiteral("no widget named “%1”").arg(name)), __FILE__, __LINE__);
    auto *standIn = new T(window);
    standIn->setObjectName(name + QStringLiteral(" (missing)"));
    return standIn;
}

/// Types @p text into @p widget one character at a time, the way an input
/// method commits Chinese characters.
inline void typeText(QWidget *widget, const QString &text)
{
    for (const QChar c : text) {
        if (c.unicode() < 128) {
            QTest::keyClicks(widget, QString(c));
            continue;
        }
        QInputMethodEvent event;
        event.setCommitString(QString(c));
        QCoreApplication::sendEvent(widget, &event);
    }
}

inline void rightClickRow(Kuaidi::ReportList *list, int row)
{
    const QRect rect = list->visualRect(list->table()->index(row, 0));
    QTest::mouseClick(list->viewport(), Qt::RightButton, {}, rect.center());
}

inline void clickHeader(Kuaidi::ReportList *list, int column)
{
    QHeaderView *header = list->header();
    const int x = header->sectionViewportPosition(column) + header->sectionSize(column) / 2;
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, QPoint(x, header->height() / 2));
}

inline QStringList columnTexts(Kuaidi::ReportList *list, int column)
{
    QStringList texts;
    for (int r = 0; r < list->rowCount(); ++r)
        texts << list->cell(r, column);
    return texts;
}

} // namespace KuaidiTest
