#pragma once

#include <QString>
#include <QStringView>

#include <memory>
#include <optional>

struct sqlite3;
struct sqlite3_stmt;

namespace Kuaidi::Sqlite {

/// What went wrong in SQLite: its (extended) result code and its own text.
struct Error
{
    int code = 0;
    QString message;

    bool isError() const { return code != 0; }
};

/// What an error means to the seller, in Chinese: the kind of failure (the
/// file is busy, read-only, damaged, not a database, the disk is full …) and
/// what to do about it. Empty for codes without a meaning of their own.
QString reasonText(int code);

/// Whether the error is one of the file being held by another program.
bool isBusy(int code);

/// UTF-8 as SQLite holds it, decoded character for character: a leading
/// byte-order mark stays (QString::fromUtf8() drops it).
QString exactText(QByteArrayView utf8);

/// One prepared statement. Texts are bound and read as UTF-8, so that SQLite
/// never takes a character of the seller's text for a byte-order mark and
/// never replaces one: what is stored is what comes back.
class Statement
{
public:
    Statement(sqlite3 *db, QStringView sql);
    ~Statement();
    Statement(const Statement &) = delete;
    Statement &operator=(const Statement &) = delete;

    bool isValid() const { return m_statement != nullptr; }
    /// Why preparing or the last step failed.
    Error error() const { return m_error; }

    void bind(int index, const QString &text); ///< 1-based, as SQLite counts
    /// Binds UTF-8 text that stays where it is until the statement has run.
    void bindStatic(int index, QByteArrayView utf8);
    void bind(int index, qint64 value);

    enum class Step { Row, Done, Failed };
    Step step();
    /// Steps to the end; false (with error() set) when a step failed.
    bool run();
    void reset();

    int columnCount() const;
    QString columnName(int column) const;
    bool isNull(int column) const;
    bool isInteger(int column) const;
    QString text(int column) const; ///< NULL reads as the empty text
    /// The text of @p column as SQLite holds it, valid until the next step.
    QByteArrayView utf8(int column) const;
    qint64 integer(int column) const;

private:
    void failWith(int code);

    sqlite3 *m_db = nullptr;
    sqlite3_stmt *m_statement = nullptr;
    Error m_error;
};

/// An open database file.
class Connection
{
public:
    Connection() = default;
    ~Connection();
    Connection(const Connection &) = delete;
    Connection &operator=(const Connection &) = delete;

    enum class Mode { ReadWrite, ReadOnly };
    /// Opens @p path for reading and writing, creating it when missing (a
    /// read-only file opens for reading), or with Mode::ReadOnly only for
    /// reading a file that exists. Busy files are waited for up to
    /// @p busyTimeoutMs.
    Error open(const QString &path, int busyTimeoutMs, Mode mode = Mode::ReadWrite);
    void close();
    bool isOpen() const { return m_db != nullptr; }
    sqlite3 *handle() const { return m_db; }

    /// Runs statements without values, such as BEGIN or a pragma.
    Error exec(QStringView sql);
    /// Rows the last finished INSERT, UPDATE or DELETE changed.
    qint64 changes() const;
    /// The first column of the first row of @p sql, or nothing.
    std::optional<QString> scalar(QStringView sql, Error *error = nullptr);

private:
    sqlite3 *m_db = nullptr;
};

/// Copies every page of @p source's main database over @p target's, in one
/// step of SQLite's online backup.
Error copyDatabase(const Connection &source, Connection &target);

} // namespace Kuaidi::Sqlite
