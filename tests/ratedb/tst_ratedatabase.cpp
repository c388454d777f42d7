#include "../common/sampledb.h"

#include <core/schema.h>
#include <ratedb/ratedatabase.h>
#include <ratedb/sqlite.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>

using namespace Kuaidi;
using namespace KuaidiTest;
using namespace Qt::StringLiterals;

namespace {

// Whether a file made read-only refuses to be written here: not for root,
// nor for Wine run by root.
bool readOnlyFilesBind(const QString &probe)
{
    QFile file(probe);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    file.close();
    QFile::setPermissions(probe, QFile::ReadOwner);
    const bool refused = !file.open(QIODevice::WriteOnly | QIODevice::Append);
    file.close();
    QFile::setPermissions(probe, QFile::ReadOwner | QFile::WriteOwner);
    QFile::remove(probe);
    return refused;
}

} // namespace

class TestRateDatabase : public QObject
{
    Q_OBJECT

private:
    QString dbPath() const { return m_dir.filePath(u"kuaidishuju.db"_s); }
    QString backupsPath() const { return m_dir.filePath(u"backups"_s); }

    static QByteArray contentsOf(const QString &path)
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    // Runs @p statements on the SQLite file @p path as another program would.
    static void runSql(const QString &path, const QStringList &statements)
    {
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(u"QSQLITE"_s, u"raw"_s);
            db.setDatabaseName(path);
            QVERIFY(db.open());
            QSqlQuery query(db);
            for (const QString &sql : statements)
                QVERIFY2(query.exec(sql), qPrintable(sql + u": "_s + query.lastError().text()));
            db.close();
        }
        QSqlDatabase::removeDatabase(u"raw"_s);
    }

    // Overwrites the start of a page, where SQLite keeps its structure.
    static void damagePage(const QString &path)
    {
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadWrite));
        QVERIFY(file.size() > 8 * 4096);
        file.seek(5 * 4096);
        file.write(QByteArray(300, '\x5A'));
    }

    static QList<QStringList> manyRows()
    {
        QList<QStringList> rows;
        for (int i = 0; i < 400; ++i)
            rows.append(rateRow(QString::number(i), u"地区%1"_s.arg(i), u"10"_s, u"5"_s));
        return rows;
    }

    QTemporaryDir m_dir;

private Q_SLOTS:
    void cleanup() { QFile::remove(dbPath()); }

    void open_missingFile_createsEmptyDatabase()
    {
        RateDatabase db(dbPath());
        QVERIFY2(db.open(), qPrintable(db.lastError()));
        QVERIFY(QFile::exists(dbPath()));
        QVERIFY(db.templateNames().isEmpty());
        QVERIFY(db.lastError().isEmpty());
    }

    void defaultPath_installedInUserFolderPortableBesideItself_data()
    {
        QTest::addColumn<QString>("programDir");
        QTest::addColumn<bool>("beside");

#ifdef Q_OS_WIN
        const QString programFiles = QDir::fromNativeSeparators(qEnvironmentVariable("ProgramFiles"));
        const QString localAppData = QDir::fromNativeSeparators(qEnvironmentVariable("LOCALAPPDATA"));
        QVERIFY(!programFiles.isEmpty() && !localAppData.isEmpty());
        // Folders that exist and may be written, as an installer leaves them
        // (and as root under Wine finds every folder): only the rule keeps the
        // database out of them.
        const QString userPrograms = localAppData + u"/Programs"_s;
        QVERIFY(QDir().mkpath(userPrograms));
        QTest::newRow("Program Files") << programFiles << false;
        QTest::newRow("installed for one user") << userPrograms << false;
#else
        QTest::newRow("package") << u"/usr/bin"_s << false;
        QTest::newRow("local install") << u"/usr/local/bin"_s << false;
        QTest::newRow("opt") << u"/opt/kuaidi/bin"_s << false;
        QTest::newRow("only looks like /usr") << (u"/usr/../"_s + m_dir.path()) << true;
#endif
        QTest::newRow("portable copy") << m_dir.path() << true;
        QTest::newRow("folder that cannot be written") << u"/nonexistent-kuaidi"_s << false;
    }
    void defaultPath_installedInUserFolderPortableBesideItself()
    {
        QFETCH(QString, programDir);
        QFETCH(bool, beside);
        const QString dataDir = u"/home/seller/.local/share/Vantor/kuaidi"_s;
        const QString path = RateDatabase::defaultPathFor(programDir, dataDir);
        QCOMPARE(QFileInfo(path).fileName(), u"kuaidishuju.db"_s);
        QCOMPARE(QDir::cleanPath(QFileInfo(path).path()), QDir::cleanPath(beside ? programDir : dataDir));
    }

    void open_fileThatIsNoDatabase_isRefusedAndLeftUntouched()
    {
        const QByteArray content = "地区,首重价格\n北京,10\n"_ba;
        {
            QFile f(dbPath());
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(content);
        }
        RateDatabase db(dbPath());
        QVERIFY(!db.open());
        QVERIFY2(db.lastError().contains(dbPath()), qPrintable(db.lastError()));
        QVERIFY(db.templateNames().isEmpty());
        QVERIFY(!db.createTemplate(u"汇通快递"_s, {u"ID"_s}, {}));
        QFile f(dbPath());
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), content);
    }

    // A file another program holds is busy, not "no rate database"; a write
    // that fails says why.
    void busyFile_isCalledBusyAndNothingElse()
    {
        createRateTemplate(dbPath(), u"圆通"_s, {rateRow(u"1"_s, u"北京"_s, u"10"_s, u"5"_s)});
        const QString connection = u"holder"_s;
        {
            QSqlDatabase holder = QSqlDatabase::addDatabase(u"QSQLITE"_s, connection);
            holder.setDatabaseName(dbPath());
            QVERIFY(holder.open());
            QSqlQuery lock(holder);
            QVERIFY(lock.exec(u"BEGIN EXCLUSIVE"_s));

            RateDatabase db(dbPath());
            db.setBusyTimeout(50);
            QVERIFY(!db.open());
            QVERIFY2(db.lastError().contains(u"数据库正被其他程序使用，请稍后再试"_s),
                     qPrintable(db.lastError()));
            QVERIFY(!db.lastError().contains(u"不是快递模板数据库"_s));
            QVERIFY(lock.exec(u"COMMIT"_s));
            QVERIFY(lock.exec(u"BEGIN IMMEDIATE"_s)); // a writer elsewhere: reading goes on
            QCOMPARE(db.templateNames(), QStringList{u"圆通"_s});
            QVERIFY(!db.insertRow(u"圆通"_s, RateColumns(), rateRow(u"2"_s, u"上海"_s, u"1"_s, u"1"_s)));
            QVERIFY2(db.lastError().startsWith(u"增加记录失败：数据库正被其他程序使用"_s),
                     qPrintable(db.lastError()));
            holder.close();
        }
        QSqlDatabase::removeDatabase(connection);
    }

    void errorCodes_tellTheSellerWhatHappened_data()
    {
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("reason");
        QTest::newRow("busy") << 5 << u"数据库正被其他程序使用"_s;
        QTest::newRow("busy, recovering") << 261 << u"数据库正被其他程序使用"_s;
        QTest::newRow("locked") << 6 << u"数据库正被其他程序使用"_s;
        QTest::newRow("read-only") << 8 << u"数据库文件是只读的"_s;
        QTest::newRow("read-only, moved") << 1032 << u"数据库文件是只读的"_s;
        QTest::newRow("cannot open") << 14 << u"无法打开数据库文件"_s;
        QTest::newRow("corrupt") << 11 << u"数据库文件已损坏"_s;
        QTest::newRow("not a database") << 26 << u"不是快递模板数据库"_s;
        QTest::newRow("disk full") << 13 << u"磁盘已满"_s;
        QTest::newRow("disk error") << 10 << u"读写数据库文件时出错"_s;
    }
    void errorCodes_tellTheSellerWhatHappened()
    {
        QFETCH(int, code);
        QFETCH(QString, reason);
        QVERIFY2(Sqlite::reasonText(code).contains(reason), qPrintable(Sqlite::reasonText(code)));
    }

    void readOnlyFile_refusesWritesWithItsReason()
    {
        if (!readOnlyFilesBind(m_dir.filePath(u"probe"_s)))
            QSKIP("file permissions do not bind this user (root, or Wine run by root)");
        createRateTemplate(dbPath(), u"圆通"_s, {});
        QFile::setPermissions(dbPath(), QFile::ReadOwner);
        RateDatabase db(dbPath());
        QCOMPARE(db.templateNames(), QStringList{u"圆通"_s});
        QVERIFY(!db.createTemplate(u"中通"_s, RateColumns(), {}));
        QVERIFY2(db.lastError().contains(u"数据库文件是只读的"_s), qPrintable(db.lastError()));
        QFile::setPermissions(dbPath(), QFile::ReadOwner | QFile::WriteOwner);
    }

    // A damaged file is not written to: the first write of a session runs
    // SQLite's quick check and refuses, leaving every byte as it was.
    void damagedFile_isNeverWritten()
    {
        const QList<QStringList> rows = manyRows();
        createRateTemplate(dbPath(), u"圆通"_s, rows);
        damagePage(dbPath());
        QFile file(dbPath());
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray before = file.readAll();
        file.close();

        RateDatabase db(dbPath());
        QVERIFY(!db.createTemplate(u"中通"_s, RateColumns(), {}));
        QVERIFY2(db.lastError().contains(u"已损坏"_s), qPrintable(db.lastError()));
        QVERIFY(!db.insertRow(u"圆通"_s, RateColumns(), rows.first()));
        QVERIFY(!db.setBillingRules(u"圆通"_s, BillingRules()));
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), before);
    }

    // What is stored is what comes back, whatever the text: SQLite must not
    // take a leading U+FEFF or U+FFFE for a byte-order mark.
    void open_inMissingFolder_fails()
    {
        RateDatabase db(m_dir.filePath(u"nowhere/kuaidishuju.db"_s));
        QVERIFY(!db.open());
        QVERIFY(db.lastError().contains(u"nowhere"_s));
    }

    void templateNames_userTablesInCreationOrder()
    {
        createRateTemplate(dbPath(), u"圆通"_s, {});
        createRateTemplate(dbPath(), u"中通"_s, {});
        createRateTemplate(dbPath(), u"申通"_s, {});
        {
            // An AUTOINCREMENT table makes the engine keep a table of its own.
            createTable(dbPath(), u"汇通"_s, {u"ID"_s}, {});
            execSql(dbPath(), {u"CREATE TABLE 顺丰 (n INTEGER PRIMARY KEY AUTOINCREMENT, 地区 TEXT)"_s,
                               u"INSERT INTO 顺丰 (地区) VALUES ('北京')"_s});
        }
        RateDatabase db(dbPath());
        QCOMPARE(db.templateNames(), (QStringList{u"圆通"_s, u"中通"_s, u"申通"_s, u"汇通"_s, u"顺丰"_s}));
        QVERIFY(db.renameTemplate(u"圆通"_s, u"圆通速递"_s));
        QCOMPARE(db.templateNames().first(), u"圆通速递"_s);
    }

    void findRowsByRegion_missingColumnsReadEmpty()
    {
        createTable(dbPath(), u"旧模板"_s, {u"地区"_s, u"ID"_s, u"首重价格"_s},
                    {{u"北京"_s, u"7"_s, u"10"_s}});
        RateDatabase db(dbPath());
        const auto rows = db.findRowsByRegion(u"旧模板"_s, u"北京"_s);
        QVERIFY(rows && rows->size() == 1);
        QCOMPARE(rows->first().at(ColumnId), u"7"_s);
        QCOMPARE(rows->first().at(ColumnFirstWeight), u"10"_s);
        QCOMPARE(rows->first().at(ColumnArrivalTime), QString());
        QVERIFY(!db.findRowsByRegion(u"不存在"_s, u"北京"_s));
    }

    void findRowsByRegion_seesEveryChange()
    {
        createRateTemplate(dbPath(), u"圆通"_s, {rateRow(u"1"_s, u"北京"_s, u"10"_s, u"5"_s)});
        RateDatabase db(dbPath());
        QCOMPARE(db.findRowsByRegion(u"圆通"_s, u"北京"_s)->size(), 1);

        // Written through this connection…
        QVERIFY(db.insertRow(u"圆通"_s, RateColumns(), rateRow(u"2"_s, u"北京郊区"_s, u"1"_s, u"1"_s)));
        QCOMPARE(db.findRowsByRegion(u"圆通"_s, u"北京"_s)->size(), 2);

        // …and by another program meanwhile.
        RateDatabase other(dbPath());
        QVERIFY(other.updateRows(u"圆通"_s, {{u"地区"_s, u"天津"_s}}, u"1"_s));
        const QList<QStringList> rows = *db.findRowsByRegion(u"圆通"_s, u"北京"_s);
        QCOMPARE(rows.size(), 1);
        QCOMPARE(rows.first().at(ColumnRegion), u"北京郊区"_s);
        QCOMPARE(db.findRowsByRegion(u"圆通"_s, u"天津"_s)->size(), 1);
    }

    void heldRows_followWritesOfProgramsThatDoNotCountThem()
    {
        // Another tool writing the file with plain SQL leaves the change
        // counters alone; the rows held in memory must still follow.
        createRateTemplate(dbPath(), u"圆通"_s, {rateRow(u"1"_s, u"北京"_s, u"10"_s, u"5"_s)});
        RateDatabase db(dbPath());
        const auto before = db.templateRows({u"圆通"_s});
        QCOMPARE(before.size(), 1);
        QCOMPARE(db.templateRows({u"圆通"_s}).first(), before.first()); // nothing changed: same rows

        execSql(dbPath(), {u"UPDATE \"圆通\" SET \"首重价格\" = '12' WHERE ID = '1'"_s});
        QCOMPARE(db.findRowsByRegion(u"圆通"_s, u"北京"_s)->first().at(ColumnFirstWeight), u"12"_s);
        QVERIFY(db.templateRows({u"圆通"_s}).first() != before.first());
        QCOMPARE(before.first()->rowCount(), 1); // a result already handed out stays as it was

        execSql(dbPath(), {u"DROP TABLE \"圆通\""_s});
        QVERIFY(!db.findRowsByRegion(u"圆通"_s, u"北京"_s));
        createRateTemplate(dbPath(), u"申通"_s, {rateRow(u"1"_s, u"天津"_s, u"8"_s, u"4"_s)});
        QCOMPARE(db.findRowsByRegion(u"申通"_s, u"天津"_s)->size(), 1);
    }

    void preloadedRows_stillSeeWritesMadeMeanwhile()
    {
        createRateTemplate(dbPath(), u"圆通"_s, {rateRow(u"1"_s, u"北京"_s, u"10"_s, u"5"_s)});
        RateDatabase db(dbPath());
        db.preloadTemplateRows();
        RateDatabase other(dbPath());
        QVERIFY(other.insertRow(u"圆通"_s, RateColumns(), rateRow(u"2"_s, u"北京郊区"_s, u"1"_s, u"1"_s)));
        execSql(dbPath(), {u"UPDATE \"圆通\" SET \"地区\" = '南京' WHERE ID = '1'"_s});
        const QList<QStringList> rows = *db.findRowsByRegion(u"圆通"_s, u"北京"_s);
        QCOMPARE(rows.size(), 1);
        QCOMPARE(rows.first().at(ColumnRegion), u"北京郊区"_s);
    }

    void findRowsByRegion_asciiCaseIgnoredLikeLike()
    {
        createRateTemplate(dbPath(), u"圆通"_s, {rateRow(u"1"_s, u"Hong Kong 香港"_s, u"10"_s, u"5"_s)});
        RateDatabase db(dbPath());
        QCOMPARE(db.findRowsByRegion(u"圆通"_s, u"hong KONG"_s)->size(), 1);
        QCOMPARE(db.findRowsByRegion(u"圆通"_s, u"HONGKONG"_s)->size(), 0);
    }

    void createTemplate_storesEveryRowAsGiven()
    {
        RateDatabase db(dbPath());
        const QList<QStringList> rows{
            rateRow(u"1"_s, u"北京"_s, u"10"_s, u"5"_s, u"1"_s, u"2"_s, u"3"_s, u"王'五"_s),
            rateRow(u"2"_s, u"上海"_s, u"12"_s, u"6"_s)};
        QVERIFY2(db.createTemplate(u"汇通快递"_s, RateColumns(), rows), qPrintable(db.lastError()));
        const auto table = db.readTemplate(u"汇通快递"_s);
        QVERIFY(table);
        QCOMPARE(table->columns, RateColumns());
        QCOMPARE(table->rows, rows);
    }

    void updateRows_byIdOrEveryRow()
    {
        createRateTemplate(
            dbPath(), u"圆通"_s,
            {rateRow(u"1"_s, u"北京"_s, u"10"_s, u"5"_s), rateRow(u"2"_s, u"上海"_s, u"12"_s, u"5"_s),
             rateRow(u"2"_s, u"天津"_s, u"12"_s, u"5"_s), rateRow(u"abc"_s, u"海外"_s, u"99"_s, u"9"_s)});
        RateDatabase db(dbPath());
        int changed = -1;
        QVERIFY(db.updateRows(u"圆通"_s, {{u"联系方式"_s, u"张'三"_s}}, u"2"_s, &changed));
        QCOMPARE(changed, 2);
        QVERIFY(db.updateRows(u"圆通"_s, {{u"一星客户首重价格"_s, u"1"_s}, {u"一星客户续重价格"_s, u"0.5"_s}},
                              std::nullopt, &changed));
        QCOMPARE(changed, 4);
        const TextTable table = *db.readTemplate(u"圆通"_s);
        QCOMPARE(table.rows.at(0).at(ColumnContact), QString());
        QCOMPARE(table.rows.at(1).at(ColumnContact), u"张'三"_s);
        QCOMPARE(table.rows.at(2).at(ColumnContact), u"张'三"_s);
        for (const QStringList &row : table.rows)
            QCOMPARE(row.at(16), u"0.5"_s);
        QVERIFY(!db.updateRows(u"圆通"_s, {{u"没有这列"_s, u"1"_s}}, std::nullopt));
    }

    void insertDeleteAndRename()
    {
        createRateTemplate(dbPath(), u"圆通"_s, {rateRow(u"1"_s, u"北京"_s, u"10"_s, u"5"_s)});
        createRateTemplate(dbPath(), u"中通"_s, {});
        RateDatabase db(dbPath());
        QVERIFY(db.insertRow(u"圆通"_s, RateColumns(), rateRow(u"2"_s, u"上海'"_s, u"未填"_s, u"未填"_s)));
        int deleted = -1;
        QVERIFY(db.deleteRows(u"圆通"_s, u"1"_s, &deleted));
        QCOMPARE(deleted, 1);
        QVERIFY(db.deleteRows(u"圆通"_s, u"99"_s, &deleted));
        QCOMPARE(deleted, 0);
        QCOMPARE(db.readTemplate(u"圆通"_s)->rows.size(), 1);
        QCOMPARE(db.readTemplate(u"圆通"_s)->rows.first().at(ColumnRegion), u"上海'"_s);

        QVERIFY(!db.renameTemplate(u"圆通"_s, u"中通"_s));
        QVERIFY(!db.renameTemplate(u"圆通"_s, u"__kuaidi_rules"_s));
        QVERIFY(!db.renameTemplate(u"没有"_s, u"韵达"_s));
        QVERIFY(db.renameTemplate(u"圆通"_s, u"圆通速递"_s));
        QCOMPARE(db.templateNames(), (QStringList{u"圆通速递"_s, u"中通"_s}));
        QCOMPARE(db.readTemplate(u"圆通速递"_s)->rows.size(), 1);
    }

    void billingRules_storedBesideTheTemplates()
    {
        createRateTemplate(dbPath(), u"圆通"_s, {rateRow(u"1"_s, u"北京"_s, u"10"_s, u"5"_s)});
        createRateTemplate(dbPath(), u"中通"_s, {});
        RateDatabase db(dbPath());
        QCOMPARE(db.billingRules(u"圆通"_s), std::optional<BillingRules>(BillingRules()));
        QVERIFY(!db.billingRules(u"没有"_s));
        QVERIFY(!db.setBillingRules(u"没有"_s, BillingRules()));

        BillingRules rules;
        rules.rounding = BillingRules::Rounding::HalfKilogram;
        rules.firstWeight = 3;
        rules.volumeDivisor = 6000;
        QVERIFY(db.setBillingRules(u"圆通"_s, rules));
        rules.firstWeight = 2;
        QVERIFY(db.setBillingRules(u"圆通"_s, rules)); // saved again, not twice
        QCOMPARE(db.billingRules(u"圆通"_s), std::optional<BillingRules>(rules));
        QCOMPARE(db.billingRulesOfAll()->keys(), QList<QString>{u"圆通"_s});
        QCOMPARE(db.templateNames(), (QStringList{u"圆通"_s, u"中通"_s}));

        // The rules follow a rename; a new template under an old name does
        // not inherit them.
        QVERIFY(db.renameTemplate(u"圆通"_s, u"圆通 义乌"_s));
        QCOMPARE(db.billingRules(u"圆通 义乌"_s), std::optional<BillingRules>(rules));
        execSql(dbPath(), {u"DROP TABLE \"圆通 义乌\""_s});
        QVERIFY(db.createTemplate(u"圆通 义乌"_s, RateColumns(), {}));
        QCOMPARE(db.billingRules(u"圆通 义乌"_s), std::optional<BillingRules>(BillingRules()));

        // Rules another program wrote and no courier can use read as the
        // defaults.
        QVERIFY(db.setBillingRules(u"中通"_s, rules));
        execSql(dbPath(), {u"UPDATE __kuaidi_rules SET 首重重量 = '零' WHERE 模板 = '中通'"_s});
        QCOMPARE(db.billingRules(u"中通"_s), std::optional<BillingRules>(BillingRules()));
    }

    void checkTemplateName_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("chinese and digits") << u"汇通快递65"_s << true;
        QTest::newRow("with a dot") << u"顺丰2.0"_s << true;
        // Names are always quoted as one identifier: none of these can
        // reach the SQL.
        QTest::newRow("blank inside") << u"韵达 义乌"_s << true;
        QTest::newRow("ideographic blank inside") << u"汇通　快递"_s << true;
        QTest::newRow("brackets") << u"韵达(义乌)"_s << true;
        QTest::newRow("square brackets and hyphen") << u"汇通[华东-2]"_s << true;
        QTest::newRow("quotes") << u"汇通'快递\""_s << true;
        QTest::newRow("empty") << QString() << false;
        QTest::newRow("leading blank") << u" 汇通"_s << false;
        QTest::newRow("trailing ideographic blank") << u"汇通　"_s << false;
        QTest::newRow("control character") << u"汇通\u0001快递"_s << false;
        QTest::newRow("line break") << u"汇通\n快递"_s << false;
        QTest::newRow("noncharacter") << u"汇通\uFFFF"_s << false;
        QTest::newRow("noncharacter, astral") << QString::fromUcs4(U"汇通\U0001FFFE") << false;
        QTest::newRow("lone surrogate") << (u"汇通"_s + QChar(0xD800)) << false;
        QTest::newRow("engine prefix") << u"sqlite_master"_s << false;
        QTest::newRow("program prefix") << u"__kuaidi_rules"_s << false;
        QTest::newRow("reserved prefix") << u"__韵达"_s << false;
    }
    void checkTemplateName()
    {
        QFETCH(QString, name);
        QFETCH(bool, accepted);
        QCOMPARE(Kuaidi::checkTemplateName(name).isEmpty(), accepted);
    }
    void destructiveOperations_backUpFirstAndCanBeRestored()
    {
        QDir(m_dir.filePath(u"backups"_s)).removeRecursively();
        RateDatabase db(dbPath());
        const QStringList columns = RateColumns();
        QVERIFY(db.createTemplate(u"甲"_s, columns, {rateRow(u"1"_s, u"上海"_s, u"5"_s, u"1"_s)}));
        QVERIFY(db.createTemplate(u"乙"_s, columns, {rateRow(u"1"_s, u"北京"_s, u"6"_s, u"1"_s)}));
        QVERIFY(db.setBillingRules(u"甲"_s, {BillingRules::Rounding::Kilogram, 1, 6000}));
        QVERIFY(db.backups().isEmpty()); // creating destroys nothing

        // Replacing keeps the name and the rules; the rows and columns are new.
        QVERIFY(db.replaceTemplate(u"甲"_s, {u"ID"_s, u"地区"_s}, {{u"9"_s, u"广州"_s}}));
        QCOMPARE(db.readTemplate(u"甲"_s)->rows, (QList<QStringList>{{u"9"_s, u"广州"_s}}));
        QCOMPARE(db.billingRules(u"甲"_s)->volumeDivisor, 6000.0);
        QVERIFY(db.deleteRows(u"乙"_s, u"1"_s));
        QVERIFY(db.updateRows(u"甲"_s, {{u"地区"_s, u"深圳"_s}}, std::nullopt));
        QVERIFY(db.updateRows(u"甲"_s, {{u"地区"_s, u"广州"_s}}, u"9"_s)); // one row: no backup
        QVERIFY(db.renameTemplate(u"乙"_s, u"丙"_s));
        QVERIFY(db.deleteTemplate(u"甲"_s));
        QCOMPARE(db.templateNames(), QStringList{u"丙"_s});
        QVERIFY(!db.billingRules(u"甲"_s).has_value());

        QStringList operations;
        for (const Backup &backup : db.backups())
            operations << backup.operation;
        QCOMPARE(operations,
                 (QStringList{u"删除模板"_s, u"重命名模板"_s, u"全部修改"_s, u"删除行"_s, u"替换模板"_s}));

        // The state before the replacement comes back, rules and all, after a
        // backup of the state it replaces.
        const Backup beforeReplace = db.backups().last();
        QVERIFY2(db.restoreBackup(beforeReplace.name, RestoreScope::WholeDatabase),
                 qPrintable(db.lastError()));
        QCOMPARE(db.templateNames(), (QStringList{u"甲"_s, u"乙"_s}));
        QCOMPARE(db.readTemplate(u"甲"_s)->rows.first().at(ColumnRegion), u"上海"_s);
        QCOMPARE(db.billingRules(u"甲"_s)->volumeDivisor, 6000.0);
        QCOMPARE(db.backups().first().operation, u"恢复备份"_s);
        QVERIFY(!db.restoreBackup(u"没有这份"_s, RestoreScope::WholeDatabase));

        // Another connection that held rows before the restore reads them again.
        RateDatabase other(dbPath());
        QCOMPARE(other.templateRows({u"甲"_s}).first()->rowCount(), 1);
        QVERIFY(db.restoreBackup(db.backups().first().name, RestoreScope::WholeDatabase)); // back to 丙 alone
        QCOMPARE(other.templateNames(), QStringList{u"丙"_s});
        QStringList failed;
        QVERIFY(!other.templateRows({u"甲"_s}, &failed).first());
        QDir(m_dir.filePath(u"backups"_s)).removeRecursively();
    }

    // A backup that cannot be restored is found out before the database is
    // touched: the restore fails saying why, and the database is as it was
    // and takes writes as before.
    void restore_ofABadBackup_leavesTheDatabaseAsItWas_data()
    {
        QTest::addColumn<QString>("damage");
        QTest::addColumn<QString>("reason");
        QTest::newRow("empty file") << u"empty"_s << u"0 字节"_s;
        QTest::newRow("not a database") << u"garbage"_s << u"备份文件不是数据库"_s;
        QTest::newRow("schema that does not parse") << u"schema"_s << u"备份文件已损坏"_s;
        QTest::newRow("damaged page") << u"page"_s << u"完整性检查没有通过"_s;
        QTest::newRow("foreign change counters") << u"changes"_s << u"__kuaidi_changes 不是本程序的格式"_s;
        QTest::newRow("foreign rules") << u"rules"_s << u"__kuaidi_rules 不是本程序的格式"_s;
    }
    void restore_ofABadBackup_leavesTheDatabaseAsItWas()
    {
        QFETCH(QString, damage);
        QFETCH(QString, reason);
        QDir(backupsPath()).removeRecursively();
        RateDatabase db(dbPath());
        QVERIFY(db.createTemplate(u"甲"_s, RateColumns(), manyRows(), BillingRules()));
        QVERIFY(db.deleteRows(u"甲"_s, u"1"_s));
        const Backup backup = db.backups().first();
        if (damage == u"empty"_s || damage == u"garbage"_s) {
            QFile file(backup.path);
            QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
            if (damage == u"garbage"_s)
                file.write(QByteArray(8192, 'x'));
        } else if (damage == u"schema"_s) {
            runSql(backup.path,
                   {u"PRAGMA writable_schema = ON"_s,
                    u"UPDATE sqlite_master SET sql = 'CREATE TABLE \"甲\" (' WHERE name = '甲'"_s});
        } else if (damage == u"page"_s) {
            damagePage(backup.path);
        } else if (damage == u"changes"_s) {
            runSql(backup.path, {u"DROP TABLE \"__kuaidi_changes\""_s,
                                 u"CREATE TABLE \"__kuaidi_changes\" (a TEXT, b TEXT)"_s});
        } else {
            runSql(backup.path,
                   {u"DROP TABLE \"__kuaidi_rules\""_s,
                    u"CREATE TABLE \"__kuaidi_rules\" (\"模板\" TEXT PRIMARY KEY, \"外来\" TEXT)"_s});
        }
        db.close();
        const QByteArray before = contentsOf(dbPath());

        for (const RestoreScope scope : {RestoreScope::WholeDatabase, RestoreScope::Templates}) {
            QVERIFY(!db.restoreBackup(backup.name, scope));
            QVERIFY2(db.lastError().contains(reason) && db.lastError().contains(u"数据库没有改动"_s),
                     qPrintable(db.lastError()));
            db.close();
            QCOMPARE(contentsOf(dbPath()), before);
        }
        QCOMPARE(db.backups().size(), 1); // nothing was taken for a restore that did not run
        QVERIFY2(db.insertRow(u"甲"_s, RateColumns(), rateRow(u"400"_s, u"上海"_s, u"5"_s, u"1"_s)),
                 qPrintable(db.lastError()));
        QCOMPARE(db.readTemplate(u"甲"_s)->rows.size(), 400);
        QDir(backupsPath()).removeRecursively();
    }

    // A damaged database is what backups are for: the whole file comes back,
    // the damaged one kept as it was among the backups. Only a template
    // cannot be written into it.
    void restore_mendsADamagedDatabase()
    {
        QDir(backupsPath()).removeRecursively();
        {
            RateDatabase db(dbPath());
            QVERIFY(db.createTemplate(u"甲"_s, RateColumns(), manyRows()));
            QVERIFY(db.deleteRows(u"甲"_s, u"1"_s));
        }
        damagePage(dbPath());
        const QByteArray damaged = contentsOf(dbPath());
        RateDatabase db(dbPath());
        const QString name = db.backups().first().name;
        QVERIFY(!db.restoreBackup(name, RestoreScope::Templates));
        QVERIFY2(db.lastError().contains(u"已损坏"_s), qPrintable(db.lastError()));
        QVERIFY2(db.restoreBackup(name, RestoreScope::WholeDatabase), qPrintable(db.lastError()));
        QCOMPARE(db.readTemplate(u"甲"_s)->rows.size(), 400);
        QVERIFY2(db.insertRow(u"甲"_s, RateColumns(), rateRow(u"400"_s, u"上海"_s, u"5"_s, u"1"_s)),
                 qPrintable(db.lastError()));
        const Backup kept = db.backups().first();
        QCOMPARE(kept.operation, u"恢复备份"_s);
        QCOMPARE(contentsOf(kept.path), damaged);
        QDir(backupsPath()).removeRecursively();
    }

    // Backups from before they named their templates are restored whole.
    void restore_ofAnOldBackup_isWhole()
    {
        QDir(backupsPath()).removeRecursively();
        RateDatabase db(dbPath());
        QVERIFY(db.createTemplate(u"甲"_s, RateColumns(), manyRows().mid(0, 3)));
        QVERIFY(db.deleteTemplate(u"甲"_s));
        const Backup backup = db.backups().first();
        runSql(backup.path, {u"DROP TABLE \"__kuaidi_backup\""_s});
        QVERIFY(db.backups().first().templates.isEmpty());
        QVERIFY(!db.planRestore(backup.name, RestoreScope::Templates));
        QVERIFY2(db.lastError().contains(u"只能恢复整个数据库"_s), qPrintable(db.lastError()));
        QVERIFY2(db.restoreBackup(backup.name, RestoreScope::WholeDatabase), qPrintable(db.lastError()));
        QCOMPARE(db.templateNames(), QStringList{u"甲"_s});
        QDir(backupsPath()).removeRecursively();
    }

    // Backups named with a later time (a clock once ahead) are older than
    // the one just taken: it is kept, and the oldest made goes.
    void rotation_keepsTheBackupJustTaken()
    {
        QDir(backupsPath()).removeRecursively();
        RateDatabase db(dbPath());
        QVERIFY(db.createTemplate(u"甲"_s, RateColumns(), manyRows().mid(0, 3)));
        QVERIFY(db.createTemplate(u"乙"_s, RateColumns(), manyRows().mid(0, 3)));
        QVERIFY(db.backUp(u"准备"_s));
        const QString model = db.backups().first().path;
        const QDateTime ahead = QDateTime::currentDateTime().addYears(1);
        for (int i = 0; i < 30; ++i) {
            const QString path =
                QDir(backupsPath())
                    .filePath(ahead.addSecs(i).toString(u"yyyyMMdd-HHmmss-zzz"_s) + u"_第%1次.db"_s.arg(i));
            QVERIFY(QFile::copy(model, path));
            QFile made(path);
            QVERIFY(made.open(QIODevice::ReadWrite));
            QVERIFY(made.setFileTime(QDateTime::currentDateTime().addDays(-30 + i),
                                     QFileDevice::FileModificationTime));
        }
        QFile::remove(model);

        QVERIFY2(db.deleteTemplate(u"甲"_s), qPrintable(db.lastError()));
        const QList<Backup> kept = db.backups();
        QCOMPARE(kept.size(), 30);
        QCOMPARE(kept.first().operation, u"删除模板"_s);
        QCOMPARE(kept.first().templates, QStringList{u"甲"_s});
        QCOMPARE(kept.last().operation, u"第1次"_s);
        QDir(backupsPath()).removeRecursively();
    }

    void failedBackup_stopsTheOperation()
    {
        RateDatabase db(dbPath());
        QVERIFY(db.createTemplate(u"甲"_s, RateColumns(), {rateRow(u"1"_s, u"上海"_s, u"5"_s, u"1"_s)}));
        // A file where the backup folder should be: no backup can be taken.
        QDir(m_dir.filePath(u"backups"_s)).removeRecursively();
        QFile blocker(m_dir.filePath(u"backups"_s));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        QVERIFY(!db.deleteTemplate(u"甲"_s));
        QVERIFY(db.lastError().startsWith(u"无法备份数据库，操作没有进行"_s));
        QVERIFY(!db.deleteRows(u"甲"_s, u"1"_s));
        QVERIFY(!db.replaceTemplate(u"甲"_s, RateColumns(), {}));
        QCOMPARE(db.templateNames(), QStringList{u"甲"_s});
        QCOMPARE(db.readTemplate(u"甲"_s)->rows.size(), 1);
        QFile::remove(m_dir.filePath(u"backups"_s));
    }

    void fileDeletedWhileOpen_isMadeAgainOnTheNextWrite()
    {
#ifdef Q_OS_WIN
        QSKIP("Windows deletes no file that a program holds open");
#endif
        RateDatabase db(dbPath());
        QVERIFY(db.createTemplate(u"甲"_s, RateColumns(), {}));
        QVERIFY(QFile::remove(dbPath()));
        QVERIFY2(db.createTemplate(u"乙"_s, RateColumns(), {}), qPrintable(db.lastError()));
        QVERIFY(QFile::exists(dbPath()));
        QCOMPARE(RateDatabase(dbPath()).templateNames(), QStringList{u"乙"_s});
    }
};

QTEST_GUILESS_MAIN(TestRateDatabase)
#include "tst_ratedatabase.moc"
