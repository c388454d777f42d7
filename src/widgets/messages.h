#pragma once

#include <QString>

#include <functional>

class QUrl;
class QWidget;

namespace Kuaidi {

/// Every message box of the program goes through here, so that tests can
/// record the messages instead of blocking on a modal dialog.
namespace Messages {

enum class Icon { None, Information, Warning, Critical };

struct Message
{
    QString text;
    QString title;
    Icon icon = Icon::None;
    bool question = false; ///< OK and Cancel instead of OK alone
    /// The first success of a session offers "不再弹出此类提示".
    bool offersQuiet = false;
    /// Set by whoever answers: "不再弹出此类提示" was ticked.
    bool quietChosen = false;
};

/// Shows @p text with an OK button.
void show(QWidget *parent, const QString &text, const QString &title = {}, Icon icon = Icon::None);

/// The setting "操作成功时不弹窗": successes go to the status line.
inline constexpr QLatin1StringView QuietSuccessKey("quietSuccess");

/// Where show() puts a success when the setting is on; without one, it
/// shows a message box. Setting one starts a session: its first success
/// shown in a box offers to turn the setting on.
using StatusSink = std::function<void(const QString &)>;
void setStatusSink(StatusSink sink);

/// Asks with OK and Cancel; true when the user chose OK.
bool confirm(QWidget *parent, const QString &text, const QString &title);

/// Receives every message in place of a dialog; its result answers
/// confirm(), and it may tick "不再弹出此类提示" (Message::quietChosen). An
/// empty handler brings the dialogs back.
using Handler = std::function<bool(Message &)>;
void setHandler(Handler handler);

/// The open-file dialog, with a handler of its own for the same reason:
/// it returns the file a test names instead of asking.
QString chooseFile(QWidget *parent, const QString &caption, const QString &filter,
                   const QString &folder = {});
/// The save-file dialog, answered by the same handler.
QString chooseSaveFile(QWidget *parent, const QString &caption, const QString &filter,
                       const QString &path = {});
using FileHandler = std::function<QString()>;
void setFileHandler(FileHandler handler);

/// Opens @p url in the system's browser. Where nothing can open it (no
/// browser installed), says so and names the page, to open by hand.
bool openPage(QWidget *parent, const QUrl &url);
/// Opens pages in place of the system (tests); empty: the system again.
using PageOpener = std::function<bool(const QUrl &)>;
void setPageOpener(PageOpener opener);

} // namespace Messages
} // namespace Kuaidi
