#include "engine.h"

#include "serverengine.h"
#include "sqliteengine.h"

#include <QSqlDatabase>

using namespace Qt::StringLiterals;

namespace Kuaidi {

namespace {

constexpr auto BackupTimeFormat = "yyyyMMdd-HHmmss-zzz"_L1;

} // namespace

std::optional<qint64> RowCursor::integer(int column) const
{
    bool isNumber = false;
    const qint64 number = utf8(column).toLongLong(&isNumber);
    return isNumber ? std::optional(number) : std::nullopt;
}

QString backupName(const QDateTime &time, const QString &operation)
{
    return time.toString(BackupTimeFormat) + u'_' + operation;
}

std::optional<Backup> backupNamed(const QString &name)
{
    const qsizetype split = name.indexOf(u'_');
    if (split < 0)
        return std::nullopt;
    const QDateTime time = QDateTime::fromString(name.left(split), BackupTimeFormat);
    if (!time.isValid())
        return std::nullopt;
    return Backup{name, QString(), time, name.mid(split + 1), {}, time};
}

bool isServerLocation(QStringView location)
{
    return location.startsWith(u"postgresql://", Qt::CaseInsensitive) ||
           location.startsWith(u"postgres://", Qt::CaseInsensitive);
}

bool serverDriverAvailable()
{
    return QSqlDatabase::isDriverAvailable(u"QPSQL"_s);
}

QString passwordFileName()
{
#ifdef Q_OS_WIN
    return u"%APPDATA%\\postgresql\\pgpass.conf"_s;
#else
    return u"~/.pgpass"_s;
#endif
}

std::unique_ptr<Engine> makeEngine(const QString &location, int busyTimeoutMs, QString *problem)
{
    if (!isServerLocation(location))
        return makeSqliteEngine(location, busyTimeoutMs);
    const std::optional<ServerLocation> server = parseServerLocation(location, problem);
    return server ? makeServerEngine(*server, busyTimeoutMs) : nullptr;
}

} // namespace Kuaidi
