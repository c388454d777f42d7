#include "messages.h"

#include <core/program.h>

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QPushButton>
#include <QSettings>

using namespace Qt::StringLiterals;

namespace Kuaidi::Messages {

namespace {

Handler &handler()
{
    static Handler h;
    return h;
}

FileHandler &fileHandler()
{
    static FileHandler h;
    return h;
}

StatusSink &statusSink()
{
    static StatusSink sink;
    return sink;
}

// Each dialog (by its caption) opens in the folder it was last left in.
QString rememberedFolder(const QString &caption, const QString &given)
{
    if (!given.isEmpty())
        return given;
    return QSettings().value(u"folders/"_s + caption).toString();
}

QString remember(const QString &caption, const QString &path)
{
    if (!path.isEmpty())
        QSettings().setValue(u"folders/"_s + caption, QFileInfo(path).absolutePath());
    return path;
}

QMessageBox::Icon boxIcon(Icon icon)
{
    switch (icon) {
    case Icon::Information:
        return QMessageBox::Information;
    case Icon::Warning:
        return QMessageBox::Warning;
    case Icon::Critical:
        return QMessageBox::Critical;
    case Icon::None:
        break;
    }
    return QMessageBox::NoIcon;
}

bool present(QWidget *parent, const Message &message)
{
    if (handler())
        return handler()(message);
    QMessageBox box(boxIcon(message.icon), message.title.isEmpty() ? programName() : message.title,
                    message.text, message.question ? QMessageBox::Ok | QMessageBox::Cancel : QMessageBox::Ok,
                    parent);
    box.button(QMessageBox::Ok)->setText(u"确定"_s);
    if (message.question)
        box.button(QMessageBox::Cancel)->setText(u"取消"_s);
    return box.exec() == QMessageBox::Ok;
}

} // namespace

void show(QWidget *parent, const QString &text, const QString &title, Icon icon)
{
    // A success (no warning, no error) goes to the status line when the
    // seller chose so and a window has one.
    if (icon == Icon::None && statusSink() && QSettings().value(QuietSuccessKey).toBool()) {
        statusSink()(text);
        return;
    }
    present(parent, {text, title, icon, false});
}

void setStatusSink(StatusSink sink)
{
    statusSink() = std::move(sink);
}

bool confirm(QWidget *parent, const QString &text, const QString &title)
{
    return present(parent, {text, title, Icon::Warning, true});
}

void setHandler(Handler h)
{
    handler() = std::move(h);
}

QString chooseFile(QWidget *parent, const QString &caption, const QString &filter, const QString &folder)
{
    if (fileHandler())
        return fileHandler()();
    return remember(caption,
                    QFileDialog::getOpenFileName(parent, caption, rememberedFolder(caption, folder), filter));
}

QString chooseSaveFile(QWidget *parent, const QString &caption, const QString &filter, const QString &path)
{
    if (fileHandler())
        return fileHandler()();
    QString start = path;
    if (QFileInfo(path).isRelative())
        start = QDir(rememberedFolder(caption, {})).filePath(path);
    return remember(caption, QFileDialog::getSaveFileName(parent, caption, start, filter));
}

void setFileHandler(FileHandler h)
{
    fileHandler() = std::move(h);
}

} // namespace Kuaidi::Messages
