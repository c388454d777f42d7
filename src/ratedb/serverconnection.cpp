// Reaching a server: its address, the session's limits, and what a failure
// means.

#include "serverengineparts.h"

#include <QDeadlineTimer>
#include <QLibrary>
#include <QRegularExpression>
#include <QThread>
#include <QUrl>
#include <QUrlQuery>

#ifdef KUAIDI_HAS_LIBPQ
#include <libpq-fe.h>

#include <type_traits>
#endif

using namespace Qt::StringLiterals;

namespace Kuaidi {

namespace Server {

namespace {

constexpr int ConnectTimeoutSeconds = 5;
// A connection with nothing to say is probed after this many seconds, then
// every few seconds, and given up after a few probes without an answer.
constexpr int KeepaliveIdleSeconds = 10;
constexpr int KeepaliveIntervalSeconds = 5;
constexpr int KeepaliveCount = 3;

QString seconds(int milliseconds)
{
    return QString::number((milliseconds + 999) / 1000);
}

// libpq's own connection to the server, made again only to learn why the
// driver's failed: whether a password was asked for, and the server's
// SQLSTATE (written out by the verbosity set before the server answers).
struct Diagnosis
{
    bool reached = false;
    bool needsPassword = false;
    QString state;
};

#ifdef KUAIDI_HAS_LIBPQ
// libpq is loaded the first time a connection fails, not with the program:
// it brings a TLS stack and Kerberos with it, which every start of the
// calculator would pay for in memory. Qt's driver loads it anyway once a
// server is named.
struct LibPq
{
    decltype(&PQconnectStartParams) connectStartParams = nullptr;
    decltype(&PQsetErrorVerbosity) setErrorVerbosity = nullptr;
    decltype(&PQconnectPoll) connectPoll = nullptr;
    decltype(&PQconnectionNeedsPassword) connectionNeedsPassword = nullptr;
    decltype(&PQerrorMessage) errorMessage = nullptr;
    decltype(&PQfinish) finish = nullptr;

    bool isLoaded() const
    {
        return connectStartParams && setErrorVerbosity && connectPoll && connectionNeedsPassword &&
               errorMessage && finish;
    }
};

const LibPq &libPq()
{
    static const LibPq api = [] {
        LibPq api;
#ifdef Q_OS_WIN
        QLibrary library(u"libpq"_s);
#else
        QLibrary library(u"pq"_s, 5);
#endif
        if (!library.load())
            return api;
        const auto resolve = [&library](auto &function, const char *symbol) {
            function = reinterpret_cast<std::remove_reference_t<decltype(function)>>(library.resolve(symbol));
        };
        resolve(api.connectStartParams, "PQconnectStartParams");
        resolve(api.setErrorVerbosity, "PQsetErrorVerbosity");
        resolve(api.connectPoll, "PQconnectPoll");
        resolve(api.connectionNeedsPassword, "PQconnectionNeedsPassword");
        resolve(api.errorMessage, "PQerrorMessage");
        resolve(api.finish, "PQfinish");
        return api;
    }();
    return api;
}

Diagnosis diagnose(const ServerLocation &location)
{
    const LibPq &pq = libPq();
    if (!pq.isLoaded())
        return {};
    const QByteArray host = location.host.toUtf8();
    const QByteArray port = QByteArray::number(location.port);
    const QByteArray user = location.user.toUtf8();
    const QByteArray database = location.database.toUtf8();
    const QByteArray timeout = QByteArray::number(ConnectTimeoutSeconds);
    QList<const char *> keys{"port", "dbname", "connect_timeout", "application_name"};
    QList<const char *> values{port.constData(), database.constData(), timeout.constData(), "kuaidi"};
    if (!host.isEmpty()) {
        keys << "host";
        values << host.constData();
    }
    if (!user.isEmpty()) {
        keys << "user";
        values << user.constData();
    }
    keys << nullptr;
    values << nullptr;
    Diagnosis diagnosis;
    PGconn *connection = pq.connectStartParams(keys.constData(), values.constData(), 0);
    if (!connection)
        return diagnosis;
    pq.setErrorVerbosity(connection, PQERRORS_SQLSTATE);
    // Polled without waiting on the socket (which has no portable wait
    // here): only a failed connection comes this way.
    QDeadlineTimer deadline(std::chrono::seconds(ConnectTimeoutSeconds + 1));
    PostgresPollingStatusType status = PGRES_POLLING_WRITING;
    while (status != PGRES_POLLING_OK && status != PGRES_POLLING_FAILED && !deadline.hasExpired()) {
        status = pq.connectPoll(connection);
        if (status != PGRES_POLLING_OK && status != PGRES_POLLING_FAILED)
            QThread::msleep(5);
    }
    diagnosis.reached = status == PGRES_POLLING_OK;
    diagnosis.needsPassword = pq.connectionNeedsPassword(connection) != 0;
    // "…failed: FATAL:  3D000": the code ends the line the server's answer
    // is on; a failure of the network has none.
    static const QRegularExpression stateAtEnd(u":\\s+([0-9A-Z]{5})\\s*$"_s,
                                               QRegularExpression::MultilineOption);
    const QRegularExpressionMatch match = stateAtEnd.match(QString::fromUtf8(pq.errorMessage(connection)));
    if (match.hasMatch())
        diagnosis.state = match.captured(1);
    pq.finish(connection);
    return diagnosis;
}
#else
Diagnosis diagnose(const ServerLocation &)
{
    return {};
}
#endif

} // namespace

QString connectFailureReason(const ServerLocation &location)
{
    const Diagnosis diagnosis = diagnose(location);
    const QString state = diagnosis.state;
    if (diagnosis.needsPassword || state == u"28P01"_s)
        return u"服务器要求密码，但没有找到或密码不对。程序不保存密码：请把密码写在 %1 文件中，"
               u"或设置环境变量 PGPASSWORD"_s.arg(passwordFileName());
    if (state == u"3D000"_s)
        return u"服务器上没有名为“%1”的数据库，请检查地址"_s.arg(location.database);
    if (state == u"28000"_s)
        return u"服务器不接受用户“%1”从这台电脑连接（没有这个用户，或服务器的 pg_hba.conf 不允许），请找管理员"_s
            .arg(location.user.isEmpty() ? qEnvironmentVariable("USER") : location.user);
    if (state == u"53300"_s)
        return u"数据库服务器的连接数已满，请稍后再试"_s;
    if (state == u"57P03"_s)
        return u"数据库服务器正在启动或关闭，请稍后再试"_s;
    if (state.isEmpty() && !diagnosis.reached)
        return u"连接不上服务器，请检查地址、端口和网络，以及服务器是否在运行"_s;
    return u"无法连接数据库服务器"_s;
}

QString reasonOf(const QString &state, const SessionLimits &limits)
{
    if (state.startsWith(u"08"_s) || state.startsWith(u"57P"_s) || state == u"25P03"_s || state.isEmpty())
        return u"与数据库服务器的连接断开了，请检查网络和服务器后再试"_s;
    if (state == u"55P03"_s)
        return u"模板正被其他电脑修改或锁住，等了 %1 秒仍没有轮到，请稍后再试"_s.arg(
            seconds(limits.lockTimeoutMs));
    if (state == u"57014"_s)
        return u"数据库服务器 %1 秒内没有做完这项操作（其他电脑占用或网络太慢），已取消，请稍后再试"_s.arg(
            seconds(limits.statementTimeoutMs));
    if (state == u"40001"_s || state == u"40P01"_s)
        return u"其他电脑正在同时修改，请再试一次"_s;
    if (state == u"42501"_s)
        return u"服务器上的数据库账户没有这项权限，请找管理员授权"_s;
    if (state == u"53100"_s)
        return u"数据库服务器的磁盘已满"_s;
    if (state == u"42P07"_s || state == u"23505"_s || state == u"42710"_s)
        return u"服务器上已有同名的表"_s;
    if (state == u"54011"_s)
        return u"列太多，服务器上一个模板最多 %1 列"_s.arg(MaxColumns);
    if (state == u"22021"_s || state == u"22P05"_s)
        return u"有文字不能保存到服务器上（如空字符）"_s;
    return {};
}

DbError errorOf(const QSqlError &error, const SessionLimits &limits)
{
    return {1, error.text(), reasonOf(error.nativeErrorCode(), limits)};
}

QString sessionSetupSql(const SessionLimits &limits)
{
    return u"SET client_min_messages TO warning; SET lock_timeout = %1; SET statement_timeout = %2; "
           u"SET idle_in_transaction_session_timeout = %3; SET tcp_keepalives_idle = %4; "
           u"SET tcp_keepalives_interval = %5; SET tcp_keepalives_count = %6"_s.arg(limits.lockTimeoutMs)
               .arg(limits.statementTimeoutMs)
               .arg(limits.idleInTransactionMs)
               .arg(KeepaliveIdleSeconds)
               .arg(KeepaliveIntervalSeconds)
               .arg(KeepaliveCount);
}

QString connectOptions()
{
    return u"connect_timeout=%1;application_name=kuaidi;keepalives=1;keepalives_idle=%2;keepalives_interval=%"
           u"3;"
           u"keepalives_count=%4"_s.arg(ConnectTimeoutSeconds)
               .arg(KeepaliveIdleSeconds)
               .arg(KeepaliveIntervalSeconds)
               .arg(KeepaliveCount);
}

std::optional<QStringList> firstColumnOf(RowCursor &cursor, DbError *error)
{
    QStringList cells;
    while (cursor.next())
        cells << cursor.text(0);
    if (cursor.error().isError()) {
        *error = cursor.error();
        return std::nullopt;
    }
    return cells;
}

} // namespace Server

std::optional<ServerLocation> parseServerLocation(const QString &text, QString *problem)
{
    const QUrl url(text, QUrl::StrictMode);
    const auto refuse = [problem](const QString &why) -> std::optional<ServerLocation> {
        if (problem)
            *problem = why;
        return std::nullopt;
    };
    const QString scheme = url.scheme().toLower();
    if (!url.isValid() || (scheme != u"postgresql"_s && scheme != u"postgres"_s))
        return refuse(
            u"数据库服务器地址“%1”的格式不对，应为 postgresql://用户名@主机:端口/数据库名"_s.arg(text));
    if (!url.password().isEmpty())
        return refuse(u"地址中不能写密码：程序不保存密码，请把密码写在 %1 文件中，"
                      u"或设置环境变量 PGPASSWORD"_s.arg(passwordFileName()));
    ServerLocation location;
    location.user = url.userName();
    location.host = url.host();
    location.port = url.port(5432);
    location.database = url.path().mid(1);
    if (location.database.isEmpty() || location.database.contains(u'/'))
        return refuse(
            u"数据库服务器地址“%1”中没有数据库名，应为 postgresql://用户名@主机:端口/数据库名"_s.arg(text));
    const QUrlQuery options(url);
    for (const auto &[key, value] : options.queryItems(QUrl::FullyDecoded)) {
        if (key == u"schema"_s && !value.isEmpty())
            location.schema = value;
        else if (key == u"host"_s && !value.isEmpty()) // a socket folder, as libpq takes it
            location.host = value;
        else
            return refuse(u"数据库服务器地址中的“%1”无法识别：只能写 ?schema=名称"_s.arg(key));
    }
    return location;
}

} // namespace Kuaidi
