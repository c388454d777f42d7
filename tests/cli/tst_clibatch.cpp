#include "../common/clirun.h"
#include "../common/sampledb.h"

#include <cli/cli.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QTextStream>

#ifdef Q_OS_UNIX
#include <csignal>

#include <sys/resource.h>
#endif

using namespace Kuaidi;
using namespace KuaidiTest;
using namespace Qt::StringLiterals;

// The commands that write files and price lists: batch, reconcile, export.

namespace {

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

QByteArray fileBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

#ifdef Q_OS_UNIX
// kuaidi-cli in a process of its own whose files may not grow past
// @p fileLimit bytes: a disk that is full.
CliRun runLimited(const QStringList &arguments, rlim_t fileLimit)
{
    QProcess process;
    process.setChildProcessModifier([fileLimit] {
        std::signal(SIGXFSZ, SIG_IGN); // a write past the limit fails instead of killing
        const rlimit limit{fileLimit, fileLimit};
        setrlimit(RLIMIT_FSIZE, &limit);
    });
    process.start(QStringLiteral(KUAIDI_CLI_PATH), arguments);
    if (!process.waitForFinished(60'000))
        return {};
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -2,
            QString::fromUtf8(process.readAllStandardOutput()),
            QString::fromUtf8(process.readAllStandardError())};
}
#endif

} // namespace

class TestCliBatch : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_db;
    QString m_orders;
    QString m_bill;

    CliRun run(const QStringList &arguments)
    {
        return runCliCommand(QStringList{u"--db"_s, m_db} + arguments);
    }

private Q_SLOTS:
    void initTestCase()
    {
        m_db = m_dir.filePath(u"kuaidishuju.db"_s);
        createRateTemplate(m_db, u"甲"_s, {rateRow(u"1"_s, u"南京"_s, u"10"_s, u"2"_s)});
        createRateTemplate(m_db, u"乙"_s, {rateRow(u"1"_s, u"江苏"_s, u"6"_s, u"1"_s)});
        // 坏 is listed but cannot be read: every read of its rows fails.
        createRateTemplate(m_db, u"坏"_s, {rateRow(u"1"_s, u"南京"_s, u"1"_s, u"1"_s)});
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(u"QSQLITE"_s, u"damage"_s);
            db.setDatabaseName(m_db);
            QVERIFY(db.open());
            QSqlQuery q(db);
            QVERIFY2(
                q.exec(
                    u"ALTER TABLE \"坏\" ADD COLUMN \"x\" TEXT GENERATED ALWAYS AS (json(\"地区\")) VIRTUAL"_s),
                qPrintable(q.lastError().text()));
        }
        QSqlDatabase::removeDatabase(u"damage"_s);
        m_orders = m_dir.filePath(u"orders.csv"_s);
        writeFile(m_orders, "订单号,收件人,收货地址,重量,商品\nA1,张三,南京,1.2kg,=HYPERLINK(\"x\")\n"
                            "A2,李四,火星,1,-\n合计,,,2.2,\n");
        m_bill = m_dir.filePath(u"bill.csv"_s);
        writeFile(m_bill, "运单号,目的地,重量,运费\nW1,南京,1,15\n");
    }

    void batch_keepsTheOrdersColumnsAndSkipsTheFooter()
    {
        const CliRun r = run({u"batch"_s, m_orders, u"--templates"_s, u"甲,乙"_s});
        QCOMPARE(r.status, 0);
        QCOMPARE(r.out, u"订单号\t目的地\t重量\t甲\t乙\t最便宜快递\t最低运费\t备注\t计费重量\t收件人\t商品\n"
                        u"A1\t南京\t1.2kg\t13.4\t9.2\t乙\t9.2\t\t1.2\t张三\t=HYPERLINK(\"x\")\n"
                        u"A2\t火星\t1\t\t\t\t\t甲: 无匹配地区; 乙: 无匹配地区\t\t李四\t-\n"_s);
        // The .csv file keeps Excel from running the order's cells.
        const QString csv = m_dir.filePath(u"batch.csv"_s);
        QCOMPARE(run({u"batch"_s, m_orders, u"--templates"_s, u"甲,乙"_s, u"--out"_s, csv}).status, 0);
        QVERIFY(fileBytes(csv).contains(",张三,\"'=HYPERLINK(\"\"x\"\")\"\r\n"));
        QVERIFY(fileBytes(csv).contains(",李四,'-\r\n"));
    }

    void unreadableTemplate_namedAndLeftOutOrReported()
    {
        // batch goes on without it, as quote does, and says so.
        const CliRun batch = run({u"batch"_s, m_orders});
        QCOMPARE(batch.status, 0);
        QVERIFY2(batch.err.contains(u"已跳过无法读取的模板：坏"_s), qPrintable(batch.err));
        QVERIFY(batch.out.startsWith(u"订单号\t目的地\t重量\t甲\t乙\t最便宜快递"_s));
        // Alone, it fails with the reason.
        const QList<QStringList> alone{{u"batch"_s, m_orders, u"--templates"_s, u"坏"_s},
                                       {u"reconcile"_s, m_bill, u"--template"_s, u"坏"_s},
                                       {u"export"_s, u"坏"_s, m_dir.filePath(u"坏.csv"_s)}};
        for (const QStringList &arguments : alone) {
            const CliRun r = run(arguments);
            QCOMPARE(r.status, int(CliDatabaseError));
            QVERIFY2(r.err.contains(u"模板“坏”"_s), qPrintable(arguments.first() + u": "_s + r.err));
            QVERIFY(r.out.isEmpty());
        }
        QVERIFY(!QFile::exists(m_dir.filePath(u"坏.csv"_s)));
    }

    void exportOfATemplateNamedLikeItsRulesSheet_readsItsRulesBack()
    {
        QTemporaryDir dir;
        const QString db = dir.filePath(u"rules.db"_s);
        createRateTemplate(db, u"计费规则"_s, {rateRow(u"1"_s, u"北京"_s, u"10"_s, u"5"_s)});
        const QStringList at{u"kuaidi-cli"_s, u"--db"_s, db};
        QString out;
        QString err;
        QTextStream outStream(&out);
        QTextStream errStream(&err);
        const auto cli = [&](const QStringList &arguments) {
            return runCli(at + arguments, outStream, errStream);
        };
        QCOMPARE(cli({u"rules"_s, u"计费规则"_s, u"--rounding"_s, u"1"_s, u"--divisor"_s, u"6000"_s}), 0);
        const QString path = dir.filePath(u"export.xlsx"_s);
        QCOMPARE(cli({u"export"_s, u"计费规则"_s, path}), 0);
        QCOMPARE(cli({u"create"_s, u"副本"_s, path}), 0);
        outStream.flush();
        out.clear();
        QCOMPARE(cli({u"rules"_s, u"副本"_s}), 0);
        outStream.flush();
        QVERIFY2(out.startsWith(u"计费取整\t1\n首重重量\t1\n抛重系数\t6000\n"_s), qPrintable(out));
    }

#ifdef Q_OS_UNIX // a full disk is made by the file size limit of POSIX systems
    void output_diskFull_exit2AndTheOldFileKept_data()
    {
        QTest::addColumn<QStringList>("arguments"); // the output file last
        QTest::addColumn<rlim_t>("room");
        for (const QString &suffix : {u"csv"_s, u"xlsx"_s}) {
            const QString out = u"out."_s + suffix;
            // Small enough to sit in the write buffer until the commit.
            QTest::addRow("export %s", qPrintable(suffix))
                << QStringList{u"export"_s, u"甲"_s, out} << rlim_t(50);
            QTest::addRow("batch %s", qPrintable(suffix))
                << QStringList{u"batch"_s, u"orders"_s, u"--templates"_s, u"甲,乙"_s, u"--out"_s, out}
                << rlim_t(50);
            QTest::addRow("reconcile %s", qPrintable(suffix))
                << QStringList{u"reconcile"_s, u"bill"_s, u"--template"_s, u"甲"_s, u"--out"_s, out}
                << rlim_t(50);
        }
        // Past the buffer: a write itself fails.
        QTest::newRow("batch csv, large")
            << QStringList{u"batch"_s, u"many"_s, u"--out"_s, u"out.csv"_s} << rlim_t(40'000);
        QTest::newRow("batch xlsx, large")
            << QStringList{u"batch"_s, u"many"_s, u"--out"_s, u"out.xlsx"_s} << rlim_t(40'000);
    }
    void output_diskFull_exit2AndTheOldFileKept()
    {
        QFETCH(QStringList, arguments);
        QFETCH(rlim_t, room);
        QTemporaryDir dir;
        const QString out = dir.filePath(arguments.last());
        writeFile(out, "the seller's earlier file");
        QByteArray many = "收货地址,重量\n";
        for (int i = 0; i < 20'000; ++i)
            many += "南京市鼓楼区中山路" + QByteArray::number(i) + "号,1\n";
        writeFile(dir.filePath(u"many.csv"_s), many);
        for (QString &argument : arguments) {
            if (argument == u"orders")
                argument = m_orders;
            else if (argument == u"bill")
                argument = m_bill;
            else if (argument == u"many")
                argument = dir.filePath(u"many.csv"_s);
        }
        arguments.last() = out;
        const CliRun r = runLimited(QStringList{u"--db"_s, m_db} + arguments, room);
        QCOMPARE(r.status, int(CliBadInput));
        QVERIFY2(r.err.contains(u"无法写入“%1”：磁盘"_s.arg(QDir::toNativeSeparators(out))),
                 qPrintable(r.err));
        QCOMPARE(fileBytes(out), QByteArray("the seller's earlier file"));
        // Nothing half-written is left beside it.
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 2);
        // With room, the same command writes the file.
        QCOMPARE(runLimited(QStringList{u"--db"_s, m_db} + arguments, RLIM_INFINITY).status, 0);
        QVERIFY(fileBytes(out) != "the seller's earlier file");
    }
#endif
};

QTEST_GUILESS_MAIN(TestCliBatch)
#include "tst_clibatch.moc"
