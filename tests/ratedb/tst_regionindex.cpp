#include "../common/sampledb.h"

#include <core/schema.h>
#include <ratedb/engine.h>
#include <ratedb/ratedatabase.h>
#include <ratedb/templaterows.h>

#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>

using namespace Kuaidi;
using namespace KuaidiTest;
using namespace Qt::StringLiterals;

namespace {

// The first column of what @p sql selects from the file @p path.
QStringList selected(const QString &path, const QString &sql)
{
    QStringList values;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(u"QSQLITE"_s, u"look"_s);
        db.setDatabaseName(path);
        if (db.open()) {
            QSqlQuery query(db);
            if (query.exec(sql)) {
                while (query.next())
                    values << query.value(0).toString();
            } else {
                values << u"error: "_s + query.lastError().text();
            }
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(u"look"_s);
    return values;
}

// The templates whose 地区 texts have the program's index, by name.
QStringList indexedTemplates(const QString &path)
{
    QStringList names = selected(path, u"SELECT tbl_name FROM sqlite_master WHERE type = 'index' "
                                       u"AND name LIKE '\\_\\_kuaidi\\_地区\\_%' ESCAPE '\\'"_s);
    names.sort();
    return names;
}

QString changeCounter(const QString &path, const QString &name)
{
    return selected(path, u"SELECT \"版本\" FROM \"__kuaidi_changes\" WHERE \"模板\" = '%1'"_s.arg(name))
        .value(0);
}

// Rows as a reader hands them out: a key and a 地区 each.
class ListedRows final : public RowCursor
{
public:
    explicit ListedRows(QList<std::pair<QByteArray, QByteArray>> rows) : m_rows(std::move(rows)) {}

    int columnCount() const override { return 2; }
    QString columnName(int column) const override { return column == 0 ? u"rowid"_s : u"地区"_s; }
    bool next() override { return ++m_at < m_rows.size(); }
    bool isNull(int) const override { return false; }
    QString text(int column) const override { return QString::fromUtf8(utf8(column)); }
    QByteArrayView utf8(int column) const override
    {
        return column == 0 ? m_rows.at(m_at).first : m_rows.at(m_at).second;
    }
    DbError error() const override { return {}; }

private:
    QList<std::pair<QByteArray, QByteArray>> m_rows;
    qsizetype m_at = -1;
};

} // namespace

class TestRegionIndex : public QObject
{
    Q_OBJECT

private:
    QString dbPath() const { return m_dir.filePath(u"kuaidishuju.db"_s); }
    QTemporaryDir m_dir;

private Q_SLOTS:
    void cleanup() { QFile::remove(dbPath()); }

    // The 地区 texts come as an index holds them, by text: they are put back
    // in table order, and rows a key cannot tell apart are refused.
    void loadRegions_putsRowsInTableOrder_data()
    {
        QTest::addColumn<QByteArrayList>("keys");
        QTest::addColumn<QByteArrayList>("regions");
        QTest::addColumn<QStringList>("expected"); // 地区 by row; empty when refused
        QTest::newRow("in table order")
            << QByteArrayList{"1", "2", "3"} << QByteArrayList{"北京", "上海", "天津"}
            << QStringList{u"北京"_s, u"上海"_s, u"天津"_s};
        QTest::newRow("by text, as an index holds them")
            << QByteArrayList{"2", "7", "1", "3"} << QByteArrayList{"上海", "上海郊区", "北京", "天津"}
            << QStringList{u"北京"_s, u"上海"_s, u"天津"_s, u"上海郊区"_s};
        QTest::newRow("keys far apart, one deleted between")
            << QByteArrayList{"900000", "5"} << QByteArrayList{"Hong Kong", "江苏"}
            << QStringList{u"江苏"_s, u"Hong Kong"_s};
        QTest::newRow("no rows") << QByteArrayList{} << QByteArrayList{} << QStringList{};
        QTest::newRow("a key twice") << QByteArrayList{"3", "1", "3"}
                                     << QByteArrayList{"北京", "上海", "天津"} << QStringList{u"refused"_s};
        QTest::newRow("a key not a number")
            << QByteArrayList{"1", "x"} << QByteArrayList{"北京", "上海"} << QStringList{u"refused"_s};
    }
    void loadRegions_putsRowsInTableOrder()
    {
        QFETCH(QByteArrayList, keys);
        QFETCH(QByteArrayList, regions);
        QFETCH(QStringList, expected);
        QList<std::pair<QByteArray, QByteArray>> rows;
        for (qsizetype i = 0; i < keys.size(); ++i)
            rows.append({keys.at(i), regions.at(i)});
        ListedRows cursor(rows);
        DbError error;
        const std::shared_ptr<const TemplateRows> read = TemplateRows::loadRegions(cursor, u"圆通"_s, &error);
        if (expected == QStringList{u"refused"_s}) {
            QVERIFY(!read);
            QVERIFY(error.isError());
            return;
        }
        QVERIFY(read);
        QStringList got;
        for (qsizetype row = 0; row < read->rowCount(); ++row) {
            got << read->cell(row, ColumnRegion);
            if (row > 0)
                QVERIFY(read->key(row) > read->key(row - 1));
        }
        QCOMPARE(got, expected);
    }

    // Every template made has the index; one of an older file gets it when
    // first read in the background, as a change counted for it alone, so
    // that other stations read that template again and not every one.
    // Renamed tables keep theirs, and a template made under an old name has
    // its own.
    void index_madeForNewAndOlderTemplates()
    {
        createRateTemplate(dbPath(), u"旧圆通"_s, {rateRow(u"1"_s, u"北京"_s, u"10"_s, u"5"_s)});
        createTable(dbPath(), u"没有地区"_s, {u"ID"_s, u"首重价格"_s}, {{u"1"_s, u"3"_s}});
        RateDatabase db(dbPath());
        QVERIFY2(db.createTemplate(u"中通"_s, RateColumns(), {rateRow(u"1"_s, u"上海"_s, u"12"_s, u"6"_s)}),
                 qPrintable(db.lastError()));
        QCOMPARE(indexedTemplates(dbPath()), QStringList{u"中通"_s});
        const QString counted = changeCounter(dbPath(), u"中通"_s);

        db.preloadTemplateRows();
        QCOMPARE(indexedTemplates(dbPath()), (QStringList{u"中通"_s, u"旧圆通"_s}));
        QVERIFY2(db.lastError().isEmpty(), qPrintable(db.lastError()));
        QCOMPARE(changeCounter(dbPath(), u"旧圆通"_s), u"1"_s);
        QCOMPARE(changeCounter(dbPath(), u"中通"_s), counted);
        QCOMPARE(db.findRowsByRegion(u"旧圆通"_s, u"北京"_s)->size(), 1);

        QVERIFY2(db.renameTemplate(u"中通"_s, u"中通快递"_s), qPrintable(db.lastError()));
        QVERIFY2(db.createTemplate(u"中通"_s, RateColumns(), {rateRow(u"1"_s, u"广州"_s, u"9"_s, u"4"_s)}),
                 qPrintable(db.lastError()));
        QVERIFY2(db.replaceTemplate(u"旧圆通"_s, RateColumns(), {rateRow(u"1"_s, u"天津"_s, u"8"_s, u"4"_s)}),
                 qPrintable(db.lastError()));
        QCOMPARE(indexedTemplates(dbPath()), (QStringList{u"中通"_s, u"中通快递"_s, u"旧圆通"_s}));
    }

    // A file another station is writing is read as it is, without a word
    // to the seller; the index is made in a later session.
    void index_notMadeWhileAnotherWrites_searchStillWorks()
    {
        createRateTemplate(dbPath(), u"圆通"_s, {rateRow(u"1"_s, u"北京"_s, u"10"_s, u"5"_s)});
        {
            QSqlDatabase other = QSqlDatabase::addDatabase(u"QSQLITE"_s, u"writer"_s);
            other.setDatabaseName(dbPath());
            QVERIFY(other.open());
            QSqlQuery writing(other);
            QVERIFY(writing.exec(u"BEGIN IMMEDIATE"_s));
            RateDatabase db(dbPath());
            db.setBusyTimeout(50);
            db.preloadTemplateRows();
            QCOMPARE(db.findRowsByRegion(u"圆通"_s, u"北京"_s)->size(), 1);
            QVERIFY2(db.lastError().isEmpty(), qPrintable(db.lastError()));
            QCOMPARE(indexedTemplates(dbPath()), QStringList());
            QVERIFY(writing.exec(u"ROLLBACK"_s));
            other.close();
        }
        QSqlDatabase::removeDatabase(u"writer"_s);
        RateDatabase later(dbPath());
        later.preloadTemplateRows();
        QCOMPARE(indexedTemplates(dbPath()), QStringList{u"圆通"_s});
    }
};

QTEST_GUILESS_MAIN(TestRegionIndex)
#include "tst_regionindex.moc"
