#include "sqlite.h"

#include <QFile>
#include <QStringDecoder>

#include <sqlite3.h>

using namespace Qt::StringLiterals;

namespace Kuaidi::Sqlite {

QString reasonText(int code)
{
    switch (code & 0xFF) {
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
        return u"数据库正被其他程序使用，请稍后再试"_s;
    case SQLITE_READONLY:
        return u"数据库文件是只读的，请检查文件和所在文件夹的写入权限"_s;
    case SQLITE_PERM:
    case SQLITE_AUTH:
        return u"没有访问数据库文件的权限"_s;
    case SQLITE_CANTOPEN:
        return u"无法打开数据库文件，请检查文件和所在文件夹是否存在、是否有权限"_s;
    case SQLITE_CORRUPT:
        return u"数据库文件已损坏，请从备份恢复"_s;
    case SQLITE_NOTADB:
        return u"它不是快递模板数据库"_s;
    case SQLITE_FULL:
        return u"磁盘已满，请清理磁盘空间后再试"_s;
    case SQLITE_IOERR:
        return u"读写数据库文件时出错（磁盘或网络问题）"_s;
    case SQLITE_NOMEM:
        return u"内存不足"_s;
    default:
        return {};
    }
}

bool isBusy(int code)
{
    return (code & 0xFF) == SQLITE_BUSY || (code & 0xFF) == SQLITE_LOCKED;
}

QString exactText(QByteArrayView utf8)
{
    if (utf8.startsWith("\xEF\xBB\xBF")) {
        return QStringDecoder(QStringConverter::Utf8,
                              QStringConverter::Flag::ConvertInitialBom | QStringConverter::Flag::Stateless)
            .decode(utf8);
    }
    return QString::fromUtf8(utf8);
}

Statement::Statement(sqlite3 *db, QStringView sql) : m_db(db)
{
    const QByteArray utf8 = sql.toUtf8();
    const int code = sqlite3_prepare_v2(db, utf8.constData(), int(utf8.size()), &m_statement, nullptr);
    if (code != SQLITE_OK) {
        failWith(code);
        sqlite3_finalize(m_statement);
        m_statement = nullptr;
    }
}

Statement::~Statement()
{
    sqlite3_finalize(m_statement);
}

void Statement::failWith(int code)
{
    m_error = {sqlite3_extended_errcode(m_db) ? sqlite3_extended_errcode(m_db) : code,
               QString::fromUtf8(sqlite3_errmsg(m_db))};
}

void Statement::bind(int index, const QString &text)
{
    const QByteArray utf8 = text.toUtf8();
    sqlite3_bind_text64(m_statement, index, utf8.constData(), sqlite3_uint64(utf8.size()), SQLITE_TRANSIENT,
                        SQLITE_UTF8);
}

void Statement::bindStatic(int index, QByteArrayView utf8)
{
    sqlite3_bind_text64(m_statement, index, utf8.data() ? utf8.data() : "", sqlite3_uint64(utf8.size()),
                        SQLITE_STATIC, SQLITE_UTF8);
}

void Statement::bind(int index, qint64 value)
{
    sqlite3_bind_int64(m_statement, index, value);
}

Statement::Step Statement::step()
{
    if (!m_statement)
        return Step::Failed;
    const int code = sqlite3_step(m_statement);
    if (code == SQLITE_ROW)
        return Step::Row;
    if (code == SQLITE_DONE)
        return Step::Done;
    failWith(code);
    return Step::Failed;
}

bool Statement::run()
{
    for (;;) {
        switch (step()) {
        case Step::Row:
            continue;
        case Step::Done:
            return true;
        case Step::Failed:
            return false;
        }
    }
}

void Statement::reset()
{
    sqlite3_reset(m_statement);
    sqlite3_clear_bindings(m_statement);
    m_error = {};
}

int Statement::columnCount() const
{
    return sqlite3_column_count(m_statement);
}

QString Statement::columnName(int column) const
{
    const char *name = sqlite3_column_name(m_statement, column);
    return name ? exactText(QByteArrayView(name, qstrlen(name))) : QString();
}

bool Statement::isNull(int column) const
{
    return sqlite3_column_type(m_statement, column) == SQLITE_NULL;
}

bool Statement::isInteger(int column) const
{
    return sqlite3_column_type(m_statement, column) == SQLITE_INTEGER;
}

QString Statement::text(int column) const
{
    const auto *data = reinterpret_cast<const char *>(sqlite3_column_text(m_statement, column));
    if (!data)
        return {};
    // In a stored text a leading byte-order mark is a character like any
    // other.
    return exactText(QByteArrayView(data, sqlite3_column_bytes(m_statement, column)));
}

QByteArrayView Statement::utf8(int column) const
{
    const auto *data = reinterpret_cast<const char *>(sqlite3_column_text(m_statement, column));
    return data ? QByteArrayView(data, sqlite3_column_bytes(m_statement, column)) : QByteArrayView();
}

qint64 Statement::integer(int column) const
{
    return sqlite3_column_int64(m_statement, column);
}

Connection::~Connection()
{
    close();
}

Error Connection::open(const QString &path, int busyTimeoutMs, Mode mode)
{
    close();
    // SQLite need not count the memory it takes: counting takes a lock that
    // connections reading on several threads would wait for at every
    // allocation. Said before its first use, or not at all.
    [[maybe_unused]] static const int uncounted = sqlite3_config(SQLITE_CONFIG_MEMSTATUS, 0);
    // SQLite takes UTF-8 names on every system (QFile::encodeName() gives the
    // ANSI code page on Windows, where Chinese names would not open).
    const QByteArray name = path.toUtf8();
    sqlite3 *db = nullptr;
    const int flags =
        mode == Mode::ReadOnly ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE;
    const int code = sqlite3_open_v2(name.constData(), &db, flags | SQLITE_OPEN_NOMUTEX, nullptr);
    if (code != SQLITE_OK) {
        Error error{db ? sqlite3_extended_errcode(db) : code,
                    QString::fromUtf8(db ? sqlite3_errmsg(db) : sqlite3_errstr(code))};
        sqlite3_close(db);
        return error;
    }
    sqlite3_extended_result_codes(db, 1);
    sqlite3_busy_timeout(db, busyTimeoutMs);
    m_db = db;
    return {};
}

void Connection::close()
{
    // Statements belong to their owners, which finalise them first; v2 waits
    // for any that were not.
    sqlite3_close_v2(m_db);
    m_db = nullptr;
}

qint64 Connection::changes() const
{
    return sqlite3_changes64(m_db);
}

Error Connection::exec(QStringView sql)
{
    char *message = nullptr;
    const int code = sqlite3_exec(m_db, sql.toUtf8().constData(), nullptr, nullptr, &message);
    Error error;
    if (code != SQLITE_OK)
        error = {sqlite3_extended_errcode(m_db), QString::fromUtf8(message ? message : sqlite3_errstr(code))};
    sqlite3_free(message);
    return error;
}

Error copyDatabase(const Connection &source, Connection &target)
{
    sqlite3_backup *backup = sqlite3_backup_init(target.handle(), "main", source.handle(), "main");
    if (!backup) {
        return {sqlite3_extended_errcode(target.handle()),
                QString::fromUtf8(sqlite3_errmsg(target.handle()))};
    }
    const int stepped = sqlite3_backup_step(backup, -1);
    const int finished = sqlite3_backup_finish(backup);
    const int code = stepped != SQLITE_DONE ? stepped : finished;
    if (code != SQLITE_DONE && code != SQLITE_OK)
        return {code, QString::fromUtf8(sqlite3_errstr(code))};
    return {};
}

std::optional<QString> Connection::scalar(QStringView sql, Error *error)
{
    Statement statement(m_db, sql);
    const Statement::Step step = statement.step();
    if (error)
        *error = statement.error();
    if (step != Statement::Step::Row)
        return std::nullopt;
    return statement.text(0);
}

} // namespace Kuaidi::Sqlite
