#include "browserlaunch.h"

#include "devtoolslogging.h"

#include <pagefill/answerwait.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>

using namespace Qt::StringLiterals;

namespace Kuaidi {

namespace {

const auto ActivePortFile = "DevToolsActivePort"_L1;
constexpr int PollMs = 100;
// What a browser that ended at once printed last, for the message.
constexpr qsizetype ErrorTailBytes = 600;

} // namespace

QStringList browserArguments(const BrowserLaunchOptions &options, const QUrl &address)
{
    QStringList arguments{u"--user-data-dir="_s + QDir::toNativeSeparators(options.profileFolder),
                          u"--remote-debugging-port=0"_s, u"--no-first-run"_s,
                          u"--no-default-browser-check"_s};
    arguments += options.extraArguments;
    if (address.isValid() && !address.isEmpty())
        arguments.append(address.toString(QUrl::FullyEncoded));
    return arguments;
}

std::optional<QUrl> endpointFromActivePort(const QByteArray &contents)
{
    const QList<QByteArray> lines = contents.trimmed().split('\n');
    if (lines.size() != 2)
        return std::nullopt;
    bool ok = false;
    const uint port = lines.at(0).trimmed().toUInt(&ok);
    const QString path = QString::fromLatin1(lines.at(1).trimmed());
    // The path goes into the address as it is: nothing but the browser's
    // own form of it.
    static const QRegularExpression browserPath(u"^/devtools/browser/[A-Za-z0-9-]+$"_s);
    if (!ok || port == 0 || port > 65535 || !browserPath.match(path).hasMatch())
        return std::nullopt;
    QUrl url;
    url.setScheme(u"ws"_s);
    url.setHost(u"127.0.0.1"_s);
    url.setPort(int(port));
    url.setPath(path);
    return url;
}

std::optional<QUrl> activePortEndpoint(const QString &profileFolder)
{
    QFile file(QDir(profileFolder).filePath(ActivePortFile));
    // A file of a few bytes: anything long is not the browser's.
    if (!file.open(QIODevice::ReadOnly) || file.size() > 4096)
        return std::nullopt;
    return endpointFromActivePort(file.readAll());
}

BrowserLaunch::BrowserLaunch(QObject *parent) : QObject(parent) {}

BrowserLaunch::~BrowserLaunch()
{
    if (m_process && m_process->state() != QProcess::NotRunning) {
        m_process->disconnect(this);
        m_process->kill();
        m_process->waitForFinished(5000);
    }
}

bool BrowserLaunch::isRunning() const
{
    return !m_process || m_process->state() != QProcess::NotRunning;
}

bool BrowserLaunch::start(const BrowserLaunchOptions &options, const QUrl &address, QString *errorText)
{
    const auto fail = [errorText](const QString &text) {
        if (errorText)
            *errorText = text;
        return false;
    };
    const QString name = options.browser.name;
    if (!QDir().mkpath(options.profileFolder))
        return fail(u"无法创建浏览器资料夹：%1"_s.arg(QDir::toNativeSeparators(options.profileFolder)));
    // A file left by a browser that has ended would name its dead port.
    const QString portFile = QDir(options.profileFolder).filePath(ActivePortFile);
    QFile::remove(portFile);

    const QStringList arguments = browserArguments(options, address);
    qCInfo(lcDevTools) << "starting" << options.browser.program << arguments;
    if (options.keepRunning) {
        if (!QProcess::startDetached(options.browser.program, arguments))
            return fail(
                u"无法启动浏览器 %1（%2）"_s.arg(name, QDir::toNativeSeparators(options.browser.program)));
    } else {
        m_process = new QProcess(this);
        m_process->setProcessChannelMode(QProcess::SeparateChannels);
        m_process->setStandardOutputFile(QProcess::nullDevice());
        connect(m_process, &QProcess::readyReadStandardError, this, [this] {
            m_errorTail = QByteArray(m_errorTail + m_process->readAllStandardError()).right(ErrorTailBytes);
        });
        connect(m_process, &QProcess::finished, this, &BrowserLaunch::finished);
        m_process->start(options.browser.program, arguments);
        if (!m_process->waitForStarted(10000)) {
            return fail(u"无法启动浏览器 %1（%2）：%3"_s.arg(
                name, QDir::toNativeSeparators(options.browser.program), m_process->errorString()));
        }
    }

    QElapsedTimer clock;
    clock.start();
    for (;;) {
        if (const std::optional<QUrl> endpoint = activePortEndpoint(options.profileFolder)) {
            m_endpoint = *endpoint;
            return true;
        }
        if (!isRunning()) {
            m_errorTail += m_process->readAllStandardError();
            return fail(u"浏览器 %1 启动后立即退出了（退出码 %2）：%3"_s.arg(name)
                            .arg(m_process->exitCode())
                            .arg(QString::fromLocal8Bit(m_errorTail.right(ErrorTailBytes).trimmed())));
        }
        if (clock.elapsed() > options.timeoutMs) {
            return fail(
                u"浏览器 %1 在 %2 秒内没有打开调试端口。如果已经有一个用编辑器资料夹（%3）打开的 %1 窗口，"
                "请先关闭它，再点击“1.打开”。"_s.arg(name)
                    .arg(options.timeoutMs / 1000)
                    .arg(QDir::toNativeSeparators(options.profileFolder)));
        }
        waitWithoutUserInput(PollMs);
    }
}

} // namespace Kuaidi
