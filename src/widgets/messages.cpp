#include "messages.h"

#include <core/program.h>

#include <QApplication>
#include <QCheckBox>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QPushButton>
#include <QSettings>
#include <QUrl>

#include <utility>

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

PageOpener &pageOpener()
{
    static PageOpener opener;
    return opener;
}

// Whether this session's first success was shown in a box.
bool &quietOffered()
{
    static bool offered = false;
    return offered;
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

bool present(QWidget *parent, Message &message)
{
    if (handler())
        return handler()(message);
    QMessageBox box(boxIcon(message.icon), message.title.isEmpty() ? programName() : message.title,
                    message.text, message.question ? QMessageBox::Ok | QMessageBox::Cancel : QMessageBox::Ok,
                    parent);
    box.button(QMessageBox::Ok)->setText(u"确定"_s);
    if (message.question)
        box.button(QMessageBox::Cancel)->setText(u"取消"_s);
    if (message.offersQuiet) {
        auto *quiet = new QCheckBox(u"不再弹出此类提示"_s, &box);
        quiet->setToolTip(u"以后操作成功的提示只显示在状态栏；可在“设置 → 操作成功时不弹窗”改回"_s);
        box.setCheckBox(quiet);
    }
    const bool ok = box.exec() == QMessageBox::Ok;
    message.quietChosen = box.checkBox() && box.checkBox()->isChecked();
    return ok;
}

} // namespace

void show(QWidget *parent, const QString &text, const QString &title, Icon icon)
{
    // A success (no warning, no error) goes to the status line when the
    // seller chose so and a window has one.
    const bool success = icon == Icon::None && statusSink();
    if (success && QSettings().value(QuietSuccessKey).toBool()) {
        statusSink()(text);
        return;
    }
    // A seller tired of "成功" boxes would not look for the setting: the
    // first box of a session offers it.
    Message message{text, title, icon, false, success && !std::exchange(quietOffered(), true)};
    present(parent, message);
    if (message.offersQuiet && message.quietChosen) {
        QSettings().setValue(QuietSuccessKey, true);
        if (statusSink())
            statusSink()(u"以后操作成功的提示只显示在状态栏（可在“设置 → 操作成功时不弹窗”改回）"_s);
    }
}

void setStatusSink(StatusSink sink)
{
    statusSink() = std::move(sink);
    quietOffered() = false;
}

bool confirm(QWidget *parent, const QString &text, const QString &title)
{
    Message message{text, title, Icon::Warning, true};
    return present(parent, message);
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

bool openPage(QWidget *parent, const QUrl &url)
{
    if (pageOpener() ? pageOpener()(url) : QDesktopServices::openUrl(url))
        return true;
    const QString where =
        url.isLocalFile() ? QDir::toNativeSeparators(url.toLocalFile()) : url.toString(QUrl::RemoveFragment);
    show(parent, u"无法打开网页：这台电脑上没有找到可以打开它的浏览器。\n\n请用浏览器打开：\n%1"_s.arg(where),
         u"提示"_s, Icon::Warning);
    return false;
}

void setPageOpener(PageOpener opener)
{
    pageOpener() = std::move(opener);
}

} // namespace Kuaidi::Messages
