// What every engine must do alike: each test runs once on a database file and
// once on a throwaway PostgreSQL server.

#include "../common/pgserver.h"
#include "../common/sampledb.h"

#include <core/schema.h>
#include <ratedb/ratedatabase.h>
#include <ratedb/templatecopy.h>

#include <QDir>
#include <QElapsedTimer>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

#include <functional>
#include <memory>
#include <thread>

using namespace Kuaidi;
using namespace KuaidiTest;
using namespace Qt::StringLiterals;

namespace {

const QString Name = u"圆通"_s;

// The Windows build has no PostgreSQL driver, and its tests no server to run.
#ifdef Q_OS_WIN
constexpr bool WithServer = false;
#else
constexpr bool WithServer = true;
#endif

QList<QStringList> sampleRows()
{
    return {rateRow(u"1"_s, u"北京"_s, u"10"_s, u"5"_s), rateRow(u"2"_s, u"江苏南京"_s, u"8"_s, u"4"_s),
            rateRow(u"3"_s, u"O'Brien \"%_\\ 😀"_s, u"12.5"_s, u""_s)};
}

} // namespace

class TestEngines : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<ThrowawayServer> m_server;
    QTemporaryDir m_dir;
    int m_files = 0;
    QString m_location; // a new, empty database for each test
    bool m_onServer = false;

    // In a folder of its own, so that each has its own backups.
    QString newFile()
    {
        const QString folder = m_dir.filePath(QString::number(++m_files));
        QDir().mkpath(folder);
        return folder + u"/kuaidishuju.db"_s;
    }

    QString schema() const { return m_location.section(u"schema="_s, 1); }

    // Another session on the server, as another station's: "holder".
    QSqlDatabase holdingSession() const
    {
        QSqlDatabase holder = QSqlDatabase::addDatabase(u"QPSQL"_s, u"holder"_s);
        holder.setHostName(u"127.0.0.1"_s);
        holder.setPort(QUrl(m_location).port());
        holder.setUserName(u"kuaidi"_s);
        holder.setDatabaseName(u"postgres"_s);
        holder.open();
        return holder;
    }

    // Runs @p sql on the database as another program (or the server's owner)
    // would; "%1" before a table's name stands for its schema. The error, or
    // the empty text.
    QString execElsewhere(const QString &sql)
    {
        if (m_onServer)
            return m_server->exec(sql.arg(schema() + u'.'));
        QString error;
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(u"QSQLITE"_s, u"elsewhere"_s);
            db.setDatabaseName(m_location);
            QSqlQuery query(db);
            if (!db.open() || !query.exec(sql.arg(QString())))
                error = db.lastError().text() + query.lastError().text();
            db.close();
        }
        QSqlDatabase::removeDatabase(u"elsewhere"_s);
        return error;
    }

private Q_SLOTS:
    void initTestCase_data()
    {
        QTest::addColumn<bool>("server");
        QTest::newRow("file") << false;
        if (WithServer)
            QTest::newRow("server") << true;
    }

    void initTestCase()
    {
        if (!WithServer)
            return;
        m_server = std::make_unique<ThrowawayServer>();
        // The server suite never skips: a machine that cannot run it fails.
        QVERIFY2(m_server->isRunning(), qPrintable(m_server->error()));
    }

    // A build without Qt's PostgreSQL driver (Windows) says so, instead of
    // a driver's own words.
    void serverWithoutDriver_saysThisBuildCannotReachOne()
    {
        QFETCH_GLOBAL(bool, server);
        if (server || QSqlDatabase::isDriverAvailable(u"QPSQL"_s))
            QSKIP("the PostgreSQL driver is here");
        RateDatabase db(u"postgresql://kuaidi@127.0.0.1:1/kuaidi"_s);
        QVERIFY(!db.open());
        QVERIFY2(db.lastError().contains(u"PostgreSQL 数据库驱动"_s), qPrintable(db.lastError()));
    }

    void init()
    {
        QFETCH_GLOBAL(bool, server);
        m_onServer = server;
        m_location = server ? m_server->freshLocation() : newFile();
    }

    void templates_keepRowsOrderAndPlace()
    {
        RateDatabase db(m_location);
        QVERIFY2(db.open(), qPrintable(db.lastError()));
        for (const QString &name : {u"中通"_s, Name, u"申通"_s})
            QVERIFY2(db.createTemplate(name, RateColumns(), sampleRows()), qPrintable(db.lastError()));
        QCOMPARE(db.templateNames(), (QStringList{u"中通"_s, Name, u"申通"_s}));

        // Exactly what was stored, no column of the engine's own.
        std::optional<TextTable> table = db.readTemplate(Name);
        QVERIFY(table);
        QCOMPARE(table->columns, RateColumns());
        QCOMPARE(table->rows, sampleRows());

        QVERIFY2(db.renameTemplate(u"中通"_s, u"中通快递"_s), qPrintable(db.lastError()));
        QList<QStringList> fewer = sampleRows().mid(1);
        QVERIFY2(db.replaceTemplate(Name, RateColumns(), fewer), qPrintable(db.lastError()));
        QCOMPARE(db.readTemplate(Name)->rows, fewer);
        QCOMPARE(db.templateNames(), (QStringList{u"中通快递"_s, u"申通"_s, Name}));
        QVERIFY(db.deleteTemplate(u"申通"_s));
        QCOMPARE(db.templateNames().size(), 2);
        QVERIFY(!db.createTemplate(u"圆通"_s, RateColumns(), {}));
        QVERIFY(db.lastError().contains(u"已有名为"_s));
    }

    // What is stored is what comes back, whatever the characters.
    void texts_roundTripExactly_data()
    {
        QTest::addColumn<QString>("text");
        QTest::newRow("leading U+FEFF") << u"\uFEFF北京"_s;
        QTest::newRow("leading U+FFFE") << u"\uFFFE北京"_s;
        QTest::newRow("U+FFFF inside") << u"北\uFFFF京"_s;
        QTest::newRow("astral") << QString::fromUcs4(U"𠀀北京🚚");
        QTest::newRow("quotes and percent") << u"O'Hare \"100%\" _x_"_s;
        QTest::newRow("line break") << u"第一行\r\n第二行"_s;
    }
    void texts_roundTripExactly()
    {
        QFETCH(QString, text);
        RateDatabase db(m_location);
        QStringList row = rateRow(u"1"_s, text, text, u"5"_s);
        const QString name = u"韵达 "_s + QString::fromLatin1(QTest::currentDataTag());
        QVERIFY2(db.createTemplate(name, RateColumns(), {row}), qPrintable(db.lastError()));
        QCOMPARE(db.readTemplate(name)->rows.first(), row);
        QVERIFY(db.templateNames().contains(name));
        QCOMPARE(db.findRowsByRegion(name, text)->size(), 1);
        QVERIFY(db.updateRows(name, {{u"联系方式"_s, text}}, u"1"_s));
        QCOMPARE(db.readTemplate(name)->rows.first().at(ColumnContact), text);
    }

    void rowEdits_andBillingRules()
    {
        RateDatabase db(m_location);
        QVERIFY(db.createTemplate(Name, RateColumns(), sampleRows()));
        int changed = 0;
        QVERIFY(
            db.updateRows(Name, {{u"首重价格"_s, u"11"_s}, {u"联系方式"_s, u"王'五"_s}}, u"1"_s, &changed));
        QCOMPARE(changed, 1);
        QVERIFY(db.updateRows(Name, {{u"到达时间"_s, u"2天"_s}}, std::nullopt, &changed));
        QCOMPARE(changed, 3);
        QVERIFY(db.insertRow(Name, {u"ID"_s, u"地区"_s}, {u"4"_s, u"上海"_s}));
        QCOMPARE(db.readTemplate(Name)->rows.last().mid(0, 3), (QStringList{u"4"_s, u"上海"_s, QString()}));
        QVERIFY(db.deleteRows(Name, u"2"_s, &changed));
        QCOMPARE(changed, 1);

        const std::optional<QList<QStringList>> found = db.findRowsByRegion(Name, u"北京"_s);
        QVERIFY(found);
        QCOMPARE(found->size(), 1);
        QCOMPARE(found->first().at(ColumnFirstWeight), u"11"_s);
        QCOMPARE(found->first().at(ColumnContact), u"王'五"_s);
        QCOMPARE(found->first().at(ColumnArrivalTime), u"2天"_s);
        QCOMPARE(db.findRowsByRegion(Name, u"%"_s)->size(), 1);

        BillingRules rules;
        rules.firstWeight = 0.5;
        QVERIFY2(db.setBillingRules(Name, rules), qPrintable(db.lastError()));
        QVERIFY(db.renameTemplate(Name, u"圆通速递"_s));
        QCOMPARE(db.billingRules(u"圆通速递"_s)->firstWeight, 0.5);
        QVERIFY(db.deleteTemplate(u"圆通速递"_s));
        QVERIFY(db.createTemplate(u"圆通速递"_s, RateColumns(), {}));
        QCOMPARE(db.billingRules(u"圆通速递"_s)->firstWeight, BillingRules().firstWeight);
    }

    void findRowsByRegion_treatsQuotesAndWildcardsAsText_data()
    {
        QTest::addColumn<QString>("destination");
        QTest::addColumn<QStringList>("regions");
        QTest::newRow("substring") << u"北京"_s << QStringList{u"北京"_s, u"北京郊区"_s};
        QTest::newRow("empty matches all")
            << QString()
            << QStringList{u"北京"_s, u"北京郊区"_s, u"O'Hare"_s, u"满100%"_s, u"A_B"_s, u"AxB"_s};
        QTest::newRow("single quote") << u"'"_s << QStringList{u"O'Hare"_s};
        QTest::newRow("percent") << u"%"_s << QStringList{u"满100%"_s};
        QTest::newRow("underscore") << u"_"_s << QStringList{u"A_B"_s};
        QTest::newRow("injection attempt") << u"' OR '1'='1"_s << QStringList{};
        QTest::newRow("backslash") << u"\\"_s << QStringList{};
    }
    void findRowsByRegion_treatsQuotesAndWildcardsAsText()
    {
        QFETCH(QString, destination);
        QFETCH(QStringList, regions);
        RateDatabase db(m_location);
        db.createTemplate(
            u"圆通"_s, RateColumns(),
            {rateRow(u"1"_s, u"北京"_s, u"10"_s, u"5"_s), rateRow(u"2"_s, u"北京郊区"_s, u"12"_s, u"5"_s),
             rateRow(u"3"_s, u"O'Hare"_s, u"9"_s, u"5"_s), rateRow(u"4"_s, u"满100%"_s, u"9"_s, u"5"_s),
             rateRow(u"5"_s, u"A_B"_s, u"9"_s, u"5"_s), rateRow(u"6"_s, u"AxB"_s, u"9"_s, u"5"_s)});
        const auto rows = db.findRowsByRegion(u"圆通"_s, destination);
        QVERIFY2(rows, qPrintable(db.lastError()));
        QStringList found;
        for (const QStringList &row : *rows) {
            QCOMPARE(row.size(), int(RateColumnCount));
            found << row.at(ColumnRegion);
        }
        QCOMPARE(found, regions);
    }

    void createTemplate_failure_leavesNothingBehind()
    {
        RateDatabase db(m_location);
        const QList<QStringList> original{rateRow(u"1"_s, u"北京"_s, u"10"_s, u"5"_s)};
        QVERIFY(db.createTemplate(u"汇通快递"_s, RateColumns(), original));

        // Same name: refused, the stored template keeps its rows.
        QVERIFY(
            !db.createTemplate(u"汇通快递"_s, RateColumns(), {rateRow(u"1"_s, u"上海"_s, u"1"_s, u"1"_s)}));
        QCOMPARE(db.readTemplate(u"汇通快递"_s)->rows, original);

        // Two columns of one name: nothing of the new template may remain.
        QVERIFY(
            !db.createTemplate(u"申通快递"_s, {u"ID"_s, u"地区"_s, u"地区"_s}, {{u"1"_s, u"a"_s, u"b"_s}}));
        QVERIFY(!db.hasTemplate(u"申通快递"_s));

        // A bad name is refused before any statement runs.
        QVERIFY(!db.createTemplate(u"申通快递 "_s, RateColumns(), original));
        QVERIFY(db.lastError().contains(u"空格"_s));
        QCOMPARE(db.templateNames(), QStringList{u"汇通快递"_s});
    }

    void rename_changesLetterCase()
    {
        RateDatabase db(m_location);
        QVERIFY(db.createTemplate(u"sto"_s, RateColumns(), {rateRow(u"1"_s, u"上海"_s, u"5"_s, u"1"_s)}));
        QVERIFY2(db.renameTemplate(u"sto"_s, u"STO"_s), qPrintable(db.lastError()));
        QCOMPARE(db.templateNames(), QStringList{u"STO"_s});
        QCOMPARE(db.readTemplate(u"STO"_s)->rows.size(), 1);
    }

    void backups_keepTheNewestThirty()
    {
        RateDatabase db(m_location);
        QVERIFY(db.open());
        for (int i = 0; i < 33; ++i)
            QVERIFY(db.backUp(u"第%1次"_s.arg(i)));
        const QList<Backup> kept = db.backups();
        QCOMPARE(kept.size(), 30);
        QCOMPARE(kept.first().operation, u"第32次"_s);
        QCOMPARE(kept.last().operation, u"第3次"_s);
    }
    void templateGoneMeanwhile_saysSoForEveryOperation()
    {
        // Another program (or station) deletes the template this one shows.
        RateDatabase db(m_location);
        QVERIFY(db.createTemplate(u"圆通"_s, RateColumns(), {rateRow(u"1"_s, u"北京"_s, u"10"_s, u"5"_s)}));
        QVERIFY(db.readTemplate(u"圆通"_s));
        QVERIFY(RateDatabase(m_location).deleteTemplate(u"圆通"_s));

        const std::function<bool()> operations[] = {
            [&] { return db.readTemplate(u"圆通"_s).has_value(); },
            [&] {
                return db.updateRows(u"圆通"_s, {{RateColumns().at(ColumnFirstWeight), u"9"_s}}, u"1"_s);
            },
            [&] {
                return db.updateRows(u"圆通"_s, {{RateColumns().at(ColumnFirstWeight), u"9"_s}}, {});
            },
            [&] {
                return db.insertRow(u"圆通"_s, RateColumns(), rateRow(u"2"_s, u"上海"_s, u"9"_s, u"4"_s));
            },
            [&] { return db.deleteRows(u"圆通"_s, u"1"_s); },
            [&] { return db.deleteTemplate(u"圆通"_s); },
            [&] { return db.renameTemplate(u"圆通"_s, u"中通"_s); },
            [&] { return db.replaceTemplate(u"圆通"_s, RateColumns(), {}); },
        };
        for (const auto &operation : operations) {
            QVERIFY(!operation());
            QVERIFY2(db.lastError().startsWith(u"快递模板“圆通”已不存在"_s), qPrintable(db.lastError()));
        }
        QVERIFY(db.templateNames().isEmpty()); // and nothing was made again
    }

    // Two stations on one database: each sees the other's writes on its next
    // search, and an operation on a template the other removed says so.
    void secondStation_seesWritesAndGoneTemplates()
    {
        RateDatabase first(m_location);
        RateDatabase second(m_location);
        QVERIFY(first.createTemplate(Name, RateColumns(), sampleRows()));
        QCOMPARE(second.findRowsByRegion(Name, u"北京"_s)->first().at(ColumnFirstWeight), u"10"_s);

        QVERIFY(first.updateRows(Name, {{u"首重价格"_s, u"9"_s}}, u"1"_s));
        QCOMPARE(second.findRowsByRegion(Name, u"北京"_s)->first().at(ColumnFirstWeight), u"9"_s);
        QVERIFY(first.insertRow(Name, RateColumns(), rateRow(u"5"_s, u"北京郊区"_s, u"1"_s, u"1"_s)));
        QCOMPARE(second.findRowsByRegion(Name, u"北京"_s)->size(), 2);

        // Two saves of one row: the later one wins.
        QVERIFY(second.updateRows(Name, {{u"首重价格"_s, u"7"_s}}, u"1"_s));
        QVERIFY(first.updateRows(Name, {{u"首重价格"_s, u"6"_s}}, u"1"_s));
        QCOMPARE(second.findRowsByRegion(Name, u"北京"_s)->first().at(ColumnFirstWeight), u"6"_s);

        QVERIFY(first.renameTemplate(Name, u"圆通速递"_s));
        QVERIFY(!second.updateRows(Name, {{u"首重价格"_s, u"1"_s}}, u"1"_s));
        QVERIFY2(second.lastError().contains(u"已不存在"_s), qPrintable(second.lastError()));
        QVERIFY(!second.readTemplate(Name));
        QVERIFY2(second.lastError().contains(u"已不存在"_s), qPrintable(second.lastError()));
        QCOMPARE(second.templateNames(), QStringList{u"圆通速递"_s});
    }

    // A backup names the operation and the template it was taken for; by
    // default a restore brings back that template alone, saying first what
    // it will change, and leaves templates made or changed later alone.
    void backups_bringBackWhatWasDestroyed()
    {
        RateDatabase db(m_location);
        QVERIFY(db.createTemplate(Name, RateColumns(), sampleRows()));
        QVERIFY(db.createTemplate(u"中通"_s, RateColumns(), sampleRows().mid(0, 1)));
        BillingRules rules;
        rules.rounding = BillingRules::Rounding::Kilogram;
        QVERIFY(db.setBillingRules(Name, rules));
        QVERIFY(db.deleteTemplate(Name));
        QCOMPARE(db.templateNames(), QStringList{u"中通"_s});
        const QList<Backup> backups = db.backups();
        QCOMPARE(backups.size(), 1);
        QCOMPARE(backups.first().operation, u"删除模板"_s);
        QCOMPARE(backups.first().templates, QStringList{Name});
        // Made and changed after the backup.
        QVERIFY(db.createTemplate(u"申通"_s, RateColumns(), sampleRows()));
        BillingRules later;
        later.volumeDivisor = 6000;
        QVERIFY(db.setBillingRules(u"中通"_s, later));

        const std::optional<RestorePlan> plan = db.planRestore(backups.first().name, RestoreScope::Templates);
        QVERIFY2(plan, qPrintable(db.lastError()));
        QCOMPARE(plan->changes.size(), 1);
        QCOMPARE(plan->changes.first().kind, RestoreChange::Kind::Added);
        QCOMPARE(plan->describe(), QStringList{u"“圆通”：现在没有这个模板，恢复备份中的 3 行和计费规则"_s});

        RateDatabase other(m_location);
        QCOMPARE(other.templateNames().size(), 2);
        QVERIFY2(db.restoreBackup(backups.first().name, RestoreScope::Templates), qPrintable(db.lastError()));
        QCOMPARE(db.readTemplate(Name)->rows, sampleRows());
        QCOMPARE(*db.billingRules(Name), rules);
        QCOMPARE(*db.billingRules(u"中通"_s), later);
        QVERIFY(db.hasTemplate(u"申通"_s));
        QCOMPARE(other.findRowsByRegion(Name, u"南京"_s)->size(), 1);

        // The whole database: on a file everything as it was (申通 goes, 中通
        // gets its old rules back); on a server every template it holds.
        const std::optional<RestorePlan> whole =
            db.planRestore(backups.first().name, RestoreScope::WholeDatabase);
        QVERIFY2(whole, qPrintable(db.lastError()));
        QVERIFY2(db.restoreBackup(backups.first().name, RestoreScope::WholeDatabase),
                 qPrintable(db.lastError()));
        if (m_onServer) {
            QVERIFY(whole->changesNothing());
            QCOMPARE(db.templateNames(), (QStringList{u"中通"_s, u"申通"_s, Name}));
            return;
        }
        QCOMPARE(whole->describe(),
                 (QStringList{u"“中通”：1 行不变，只有计费规则换成备份时的"_s,
                              u"“申通”：备份时还没有这个模板，它的 3 行将被删除（恢复前会先备份）"_s,
                              u"“圆通”：与备份时相同，不变"_s}));
        QCOMPARE(db.templateNames(), (QStringList{Name, u"中通"_s}));
        QCOMPARE(*db.billingRules(u"中通"_s), BillingRules());
        QCOMPARE(db.backups().first().operation, u"恢复备份"_s);
        QVERIFY(db.backups().first().templates.isEmpty());
    }

    // A database file to this engine and back to a new file, cell for cell,
    // the billing rules with it.
    void copy_movesTemplatesBothWays()
    {
        RateDatabase sample(newFile());
        QVERIFY(sample.createTemplate(Name, RateColumns(), sampleRows()));
        QList<QStringList> shortRows;
        for (const QStringList &row : sampleRows())
            shortRows << row.mid(0, 12);
        QVERIFY(sample.createTemplate(u"韵达"_s, RateColumns().mid(0, 12), shortRows));
        BillingRules rules;
        rules.rounding = BillingRules::Rounding::HalfKilogram;
        QVERIFY(sample.setBillingRules(u"韵达"_s, rules));
        RateDatabase here(m_location);
        const QStringList names = sample.templateNames();
        TemplateCopy there = copyTemplates(sample, here, {}, false);
        QVERIFY2(there.error.isEmpty(), qPrintable(there.error));
        QCOMPARE(here.templateNames(), names);

        RateDatabase back(newFile());
        TemplateCopy returned = copyTemplates(here, back, {}, false);
        QVERIFY2(returned.error.isEmpty(), qPrintable(returned.error));
        for (const QString &name : names) {
            QCOMPARE(back.readTemplate(name)->rows, sample.readTemplate(name)->rows);
            QCOMPARE(back.readTemplate(name)->columns, sample.readTemplate(name)->columns);
            QCOMPARE(*back.billingRules(name), *sample.billingRules(name));
        }
        QVERIFY(copyTemplates(sample, here, {names.first()}, false).refused);
        QVERIFY(copyTemplates(sample, here, {names.first()}, true).error.isEmpty());
    }

    void namesTheServerCannotHold_areRefused()
    {
        RateDatabase db(m_location);
        const QString longName = QString(22, u'长'); // 66 bytes in UTF-8
        const bool created = db.createTemplate(longName, RateColumns(), {});
        if (!m_onServer) {
            QVERIFY(created);
            return;
        }
        QVERIFY(!created);
        QVERIFY2(db.lastError().contains(u"太长"_s), qPrintable(db.lastError()));
        QVERIFY(db.templateNames().isEmpty());
        QStringList columns = RateColumns();
        columns << longName;
        QVERIFY(!db.createTemplate(Name, columns, {}));
        QVERIFY(db.lastError().contains(u"列标题"_s));
    }

    // A staff account that may read and write rows, but not make tables,
    // searches, edits rows and saves billing rules.
    void staffAccount_editsWithoutMakingTables()
    {
        if (!m_onServer)
            return; // a file has no accounts
        RateDatabase owner(m_location);
        QVERIFY(owner.createTemplate(Name, RateColumns(), sampleRows()));
        for (const QString &sql :
             {u"CREATE ROLE staff_%1 LOGIN"_s, u"GRANT USAGE ON SCHEMA %1 TO staff_%1"_s,
              u"GRANT SELECT, INSERT, UPDATE, DELETE ON ALL TABLES IN SCHEMA %1 TO staff_%1"_s})
            QCOMPARE(m_server->exec(sql.arg(schema())), QString());
        RateDatabase staff(m_server->location(schema(), u"staff_"_s + schema()));
        QCOMPARE(staff.findRowsByRegion(Name, u"北京"_s)->size(), 1);
        QVERIFY2(staff.updateRows(Name, {{u"首重价格"_s, u"9"_s}}, u"1"_s), qPrintable(staff.lastError()));
        QVERIFY2(staff.setBillingRules(Name, BillingRules()), qPrintable(staff.lastError()));
        QCOMPARE(owner.findRowsByRegion(Name, u"北京"_s)->first().at(ColumnFirstWeight), u"9"_s);
        QVERIFY(!staff.createTemplate(u"韵达"_s, RateColumns(), {}));
        QVERIFY2(staff.lastError().contains(u"权限"_s), qPrintable(staff.lastError()));
    }

    // One station edits while another searches, 200 rounds: every search
    // sees one state (both prices of a row from the same save, rows only
    // ever added), and nothing is lost.
    void twoStations_editAndSearchAtOnce()
    {
        {
            RateDatabase db(m_location);
            QVERIFY(db.createTemplate(Name, RateColumns(), {rateRow(u"1"_s, u"北京"_s, u"0"_s, u"0"_s)}));
        }
        constexpr int Rounds = 200;
        QString writerError;
        std::thread writer([&] {
            RateDatabase db(m_location);
            for (int i = 1; i <= Rounds && writerError.isEmpty(); ++i) {
                const QString value = QString::number(i);
                if (!db.updateRows(Name, {{u"首重价格"_s, value}, {u"续重价格"_s, value}}, u"1"_s) ||
                    !db.insertRow(Name, {u"ID"_s, u"地区"_s}, {QString::number(100 + i), u"北京郊区"_s}))
                    writerError = db.lastError();
            }
        });
        QString readerError;
        RateDatabase reader(m_location);
        int lastPrice = 0;
        qsizetype lastCount = 0;
        for (int round = 0; round < Rounds && readerError.isEmpty(); ++round) {
            const std::optional<QList<QStringList>> rows = reader.findRowsByRegion(Name, u"北京"_s);
            if (!rows || rows->isEmpty()) {
                readerError = u"search failed: "_s + reader.lastError();
                break;
            }
            const QStringList &row = rows->first();
            const int price = row.at(ColumnFirstWeight).toInt();
            if (row.at(ColumnAdditionalWeight) != row.at(ColumnFirstWeight) || price < lastPrice ||
                rows->size() < lastCount)
                readerError = u"inconsistent at round %1: %2/%3, %4 rows"_s.arg(round)
                                  .arg(row.at(ColumnFirstWeight), row.at(ColumnAdditionalWeight))
                                  .arg(rows->size());
            lastPrice = price;
            lastCount = rows->size();
        }
        writer.join();
        QVERIFY2(writerError.isEmpty(), qPrintable(writerError));
        QVERIFY2(readerError.isEmpty(), qPrintable(readerError));
        const std::optional<QList<QStringList>> rows = reader.findRowsByRegion(Name, u"北京"_s);
        QCOMPARE(rows->size(), Rounds + 1);
        QCOMPARE(rows->first().at(ColumnFirstWeight), QString::number(Rounds));
    }

    // Half a character (Excel's LEFT() cutting an emoji) spoils only its own
    // cell, and the seller is told which.
    void halfCharacter_isReplacedInItsCellOnly()
    {
        RateDatabase db(m_location);
        const QString cut = u"北京"_s + QChar(0xD83D);
        QVERIFY2(db.createTemplate(Name, RateColumns(), {rateRow(u"1"_s, cut, u"5"_s, u"2"_s)}),
                 qPrintable(db.lastError()));
        QCOMPARE(db.notes().size(), 1);
        QVERIFY2(db.notes().first().contains(u"第 1 行“地区”"_s), qPrintable(db.notes().first()));
        const QStringList stored = db.readTemplate(Name)->rows.first();
        QCOMPARE(stored.at(ColumnRegion), u"北京\uFFFD"_s);
        QCOMPARE(stored.at(ColumnFirstWeight), u"5"_s);
        QCOMPARE(stored.at(ColumnAdditionalWeight), u"2"_s);
        QVERIFY(db.createTemplate(u"中通"_s, RateColumns(), sampleRows()));
        QVERIFY(db.notes().isEmpty());
    }

    // Titles the database would cut or could not store are refused by name,
    // before anything is written.
    void titlesNoDatabaseStores_areRefused_data()
    {
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("reason");
        QTest::newRow("U+0000") << u"备\u0000注"_s << u"第 42 列的标题“备\u2400注”中有空字符"_s;
        QTest::newRow("half character") << u"备注"_s + QChar(0xDC00) << u"第 42 列的标题中有半个字符"_s;
    }
    void titlesNoDatabaseStores_areRefused()
    {
        QFETCH(QString, title);
        QFETCH(QString, reason);
        RateDatabase db(m_location);
        QVERIFY(!db.createTemplate(Name, QStringList(RateColumns()) << title, sampleRows()));
        QVERIFY2(db.lastError().contains(reason), qPrintable(db.lastError()));
        QVERIFY(db.templateNames().isEmpty());
    }

    // A title beginning with U+FEFF is kept as written; on a server, a
    // template that cannot be read (locked past the wait) spoils no other
    // template's search.
    void oddTemplate_hidesNoOther()
    {
        RateDatabase db(m_location);
        const QStringList columns = QStringList(RateColumns()) << u"\uFEFF备注"_s;
        QList<QStringList> rows = sampleRows();
        for (QStringList &row : rows)
            row << u"附加"_s;
        const QStringList names{u"中通"_s, Name, u"申通"_s};
        for (const QString &name : names)
            QVERIFY2(db.createTemplate(name, columns, rows), qPrintable(db.lastError()));
        QCOMPARE(db.readTemplate(Name)->columns, columns);
        QCOMPARE(db.readTemplate(Name)->rows, rows);
        if (!m_onServer) {
            for (const RegionSearchResult &found : db.findRowsByRegion(names, u"北京"_s))
                QCOMPARE(found.rows.size(), 1);
            return;
        }
        {
            QSqlDatabase holder = holdingSession();
            QVERIFY(holder.transaction());
            QSqlQuery hold(holder);
            QVERIFY(hold.exec(uR"(LOCK TABLE %1."圆通" IN ACCESS EXCLUSIVE MODE)"_s.arg(schema())));
            RateDatabase other(m_location);
            other.setBusyTimeout(500);
            const QList<RegionSearchResult> found = other.findRowsByRegion(names, u"北京"_s);
            holder.rollback();
            QCOMPARE(found.size(), 3);
            QVERIFY(found.at(1).failed);
            for (const int i : {0, 2}) {
                QVERIFY(!found.at(i).failed);
                QCOMPARE(found.at(i).rows.size(), 1);
            }
        }
        QSqlDatabase::removeDatabase(u"holder"_s);
    }

    // Rows and rules are saved together or not at all: a create, a
    // replacement or a copy whose rules cannot be saved leaves no template
    // without its rules.
    void rowsAndRules_oneTransaction()
    {
        RateDatabase db(m_location);
        QVERIFY(db.createTemplate(u"中通"_s, RateColumns(), sampleRows(), BillingRules()));
        const QString refuse = m_onServer ? uR"(CREATE FUNCTION %1refuse() RETURNS trigger LANGUAGE plpgsql AS
                                        $$BEGIN RAISE EXCEPTION 'refused'; END$$;
                                        CREATE TRIGGER refuse BEFORE INSERT OR UPDATE ON %1"__kuaidi_rules"
                                        FOR EACH ROW EXECUTE FUNCTION %1refuse())"_s
                                          : uR"(CREATE TRIGGER refuse BEFORE INSERT ON "__kuaidi_rules"
                                        BEGIN SELECT RAISE(ABORT, 'refused'); END)"_s;
        QCOMPARE(execElsewhere(refuse), QString());
        BillingRules rules;
        rules.rounding = BillingRules::Rounding::Kilogram;
        QVERIFY(!db.createTemplate(Name, RateColumns(), sampleRows(), rules));
        QVERIFY(!db.hasTemplate(Name));
        QVERIFY(!db.replaceTemplate(u"中通"_s, RateColumns(), sampleRows().mid(0, 1), rules));
        QCOMPARE(db.readTemplate(u"中通"_s)->rows, sampleRows());

        RateDatabase source(newFile());
        QVERIFY(source.createTemplate(u"韵达"_s, RateColumns(), sampleRows(), rules));
        QVERIFY(!copyTemplates(source, db, {}, false).error.isEmpty());
        QCOMPARE(db.templateNames(), QStringList{u"中通"_s});
    }

    // A copy checks every name before it writes: one the target refuses,
    // wherever it comes in the list, stops the whole copy.
    void copy_refusedName_writesNothing()
    {
        RateDatabase source(newFile());
        for (const QString &name : {u"韵达"_s, u"STO"_s, u"百世"_s})
            QVERIFY(source.createTemplate(name, RateColumns(), sampleRows()));
        RateDatabase target(m_location);
        QVERIFY(target.createTemplate(u"sto"_s, RateColumns(), sampleRows().mid(0, 1)));
        TemplateCopy copy = copyTemplates(source, target, {}, false);
        QVERIFY(copy.refused);
        QVERIFY2(copy.error.contains(u"STO"_s), qPrintable(copy.error));
        QVERIFY(copy.copied.isEmpty());
        QCOMPARE(target.templateNames(), QStringList{u"sto"_s});
        if (!m_onServer)
            return;
        const QString longName = QString(22, u'长'); // too long for the server alone
        QVERIFY(source.createTemplate(longName, RateColumns(), {}));
        copy = copyTemplates(source, target, {u"韵达"_s, longName}, false);
        QVERIFY(copy.refused);
        QVERIFY2(copy.error.contains(longName), qPrintable(copy.error));
        QCOMPARE(target.templateNames(), QStringList{u"sto"_s});
    }

    // Two stations making the same template at once in a new database: one
    // wins, the other is told the name is taken.
    void twoStations_createTheSameTemplate()
    {
        QString errors[2];
        bool made[2] = {false, false};
        {
            std::thread first([&] {
                RateDatabase db(m_location);
                made[0] = db.createTemplate(Name, RateColumns(), sampleRows());
                errors[0] = db.lastError();
            });
            RateDatabase db(m_location);
            made[1] = db.createTemplate(Name, RateColumns(), sampleRows());
            errors[1] = db.lastError();
            first.join();
        }
        QVERIFY2(made[0] || made[1], qPrintable(errors[0] + u" / "_s + errors[1]));
        for (int i = 0; i < 2; ++i) {
            if (!made[i])
                QVERIFY2(errors[i].contains(u"已有名为“圆通”"_s), qPrintable(errors[i]));
        }
        QCOMPARE(RateDatabase(m_location).readTemplate(Name)->rows, sampleRows());
    }

    // Another session holding a template: readers still read (a writer's
    // open transaction holds no reader up), and a write gives up after the
    // wait it was given, saying why.
    void lockedTemplate_neverHangs()
    {
        if (!m_onServer)
            return; // a file waits its busy timeout, tested with the file
        RateDatabase db(m_location);
        db.setBusyTimeout(1000);
        QVERIFY(db.createTemplate(Name, RateColumns(), sampleRows()));
        {
            QSqlDatabase holder = holdingSession();
            QVERIFY(holder.transaction());
            QSqlQuery hold(holder);
            QVERIFY(hold.exec(uR"(UPDATE %1."圆通" SET "首重价格" = '99')"_s.arg(schema())));

            QElapsedTimer clock;
            clock.start();
            RateDatabase reader(m_location);
            QCOMPARE(reader.findRowsByRegion(Name, u"北京"_s)->first().at(ColumnFirstWeight), u"10"_s);
            QVERIFY(!db.updateRows(Name, {{u"首重价格"_s, u"11"_s}}, u"1"_s));
            QVERIFY2(db.lastError().contains(u"等了 1 秒"_s), qPrintable(db.lastError()));
            QVERIFY(clock.elapsed() < 10'000);
            holder.rollback();
            holder.close();
        }
        QSqlDatabase::removeDatabase(u"holder"_s);
        QVERIFY2(db.updateRows(Name, {{u"首重价格"_s, u"11"_s}}, u"1"_s), qPrintable(db.lastError()));
    }

    // Why a connection failed is decided by the server's code, not by words
    // in its message.
    void missingDatabase_isNamedNotTakenForAPassword()
    {
        if (!m_onServer)
            return;
        const int port = QUrl(m_location).port();
        RateDatabase db(u"postgresql://kuaidi@127.0.0.1:%1/passwords"_s.arg(port));
        QVERIFY(!db.open());
        QVERIFY2(db.lastError().contains(u"没有名为“passwords”的数据库"_s), qPrintable(db.lastError()));
        QVERIFY2(!db.lastError().contains(u"密码"_s), qPrintable(db.lastError()));
    }

    void cleanupTestCase() { m_server.reset(); }
};

QTEST_GUILESS_MAIN(TestEngines)
#include "tst_engines.moc"
