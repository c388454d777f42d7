#include "messages.h"

#include <core/program.h>

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>

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
    present(parent, {text, title, icon, false});
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
    return QFileDialog::getOpenFileName(parent, caption, folder, filter);
}

QString chooseSaveFile(QWidget *parent, const QString &caption, const QString &filter, const QString &path)
{
    if (fileHandler())
        return fileHandler()();
    return QFileDialog::getSaveFileName(parent, caption, path, filter);
}

void setFileHandler(FileHandler h)
{
    fileHandler() = std::move(h);
}

} // namespace Kuaidi::Messages
