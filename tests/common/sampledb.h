#pragma once

// Builds rate databases for tests with plain SQL, the way another program
// (or an older version of this one) would have written them.

#include <core/schema.h>

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QStringList>
#include <QTest>
#include <QUuid>

namespace KuaidiTest {

/// A full 41-cell rate row: region, first and additional price, then the two
/// surcharges, other fee, contact and arrival time; every price set "0".
inline QStringList rateRow(const QString &id, const QString &region, const QString &first,
                           const QString &additional, const QString &band20 = QStringLiteral("1"),
                           const QString &band30 = QStringLiteral("2"),
                           const QString &other = QStringLiteral("3"), const QString &contact = QString(),
                           const QString &arrival = QString())
{
    QStringList row{id, region, QString(), QString(), first, additional, band20, band30, other, contact};
    for (int i = 0; i < 30; ++i)
        row << QStringLiteral("0");
    row << arrival;
    return row;
}

/// Creates a table of TEXT columns and fills it, with literal SQL.
inline void createTable(const QString &dbPath, const QString &name, const QStringList &columns,
                        const QList<QStringList> &rows)
{
    const QString connection = QUuid::createUuid().toString();
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection);
        db.setDatabaseName(dbPath);
        QVERIFY2(db.open(), qPrintable(db.lastError().text()));
        const auto quote = [](QString s) -> QString {
            return u'"' + s.replace(u'"', QStringLiteral("\"\"")) + u'"';
        };
        QStringList defs;
        for (const QString &c : columns)
            defs << quote(c) + QStringLiteral(" TEXT");
        QSqlQuery q(db);
        QVERIFY2(q.exec(QStringLiteral("CREATE TABLE %1 (%2)").arg(quote(name), defs.join(u", "))),
                 qPrintable(q.lastError().text()));
        QStringList marks;
        marks.fill(QStringLiteral("?"), columns.size());
        for (const QStringList &row : rows) {
            QVERIFY(
                q.prepare(QStringLiteral("INSERT INTO %1 VALUES (%2)").arg(quote(name), marks.join(u", "))));
            for (const QString &cell : row)
                q.addBindValue(cell);
            QVERIFY2(q.exec(), qPrintable(q.lastError().text()));
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(connection);
}

/// Runs @p statements on the file through a connection of the test's own, as
/// another program would.
inline void execSql(const QString &dbPath, const QStringList &statements)
{
    const QString connection = QUuid::createUuid().toString();
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection);
        db.setDatabaseName(dbPath);
        QVERIFY2(db.open(), qPrintable(db.lastError().text()));
        QSqlQuery q(db);
        for (const QString &sql : statements)
            QVERIFY2(q.exec(sql), qPrintable(q.lastError().text() + QStringLiteral(" in ") + sql));
        db.close();
    }
    QSqlDatabase::removeDatabase(connection);
}

inline void createRateTemplate(const QString &dbPath, const QString &name, const QList<QStringList> &rows)
{
    createTable(dbPath, name, Kuaidi::RateColumns(), rows);
}

} // namespace KuaidiTest
