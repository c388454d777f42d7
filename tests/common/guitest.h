#pragma once

// Helpers for window tests: record message boxes instead of showing them,
// and click list rows and headers as a user would.

#include <app/messages.h>
#include <app/reportlist.h>

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

template<typename T> T *child(QWidget *window, const QString &name)
{
    T *w = window->findChild<T *>(name);
    if (!w)
        qWarning("no child %s", qPrintable(name));
    return w;
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
