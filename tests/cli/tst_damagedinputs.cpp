#include "../common/testdata.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <functional>

#include <sys/resource.h>

using namespace Qt::StringLiterals;

// Every hostile or damaged input ever found, replayed on every build through
// kuaidi-cli: each is read or refused with a message (exit 0 or 2), within the
// address space a reader may use. Files that are made, not found, are
// written by tests/data/damaged/make-damaged.py or, when large, here.

namespace {

#if defined(__SANITIZE_ADDRESS__)
constexpr bool Sanitized = true; // AddressSanitizer reserves terabytes of address space
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool Sanitized = true;
#else
constexpr bool Sanitized = false;
#endif
#else
constexpr bool Sanitized = false;
#endif

constexpr rlim_t AddressSpaceBytes = rlim_t(2) << 30;

struct Outcome
{
    int status = -1;
    QString out;
    QString err;
};

Outcome runCli(const QStringList &arguments)
{
    QProcess process;
    if (!Sanitized) {
        process.setChildProcessModifier([] {
            const rlimit limit{AddressSpaceBytes, AddressSpaceBytes};
            setrlimit(RLIMIT_AS, &limit);
        });
    }
    process.start(QStringLiteral(KUAIDI_CLI_PATH), arguments);
    // Not a measure of speed: a guard against a reader that never ends.
    if (!process.waitForFinished(120'000)) {
        process.kill();
        process.waitForFinished();
        return {};
    }
    if (process.exitStatus() != QProcess::NormalExit)
        return {-2, {}, QString::fromUtf8(process.readAllStandardError())};
    return {process.exitCode(), QString::fromUtf8(process.readAllStandardOutput()),
            QString::fromUtf8(process.readAllStandardError())};
}

bool writeFile(const QString &path, const std::function<void(QFile &)> &write)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    write(file);
    return true;
}

} // namespace

class TestDamagedInputs : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;

    QString made(const QString &name) const { return m_dir.filePath(name); }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        // Too large to keep in the repository; each blew a budget once.
        QVERIFY(writeFile(made(u"commas.csv"_s), [](QFile &f) { f.write(QByteArray(6'000'000, ',')); }));
        QVERIFY(writeFile(made(u"million-rows.csv"_s), [](QFile &f) {
            f.write("地区,首重价格,续重价格,到达时间\n");
            const QByteArray row = "北京,10,5,次日\n";
            for (int i = 0; i < 1'000'000; ++i)
                f.write(row);
        }));
        QVERIFY(writeFile(made(u"huge-cell.csv"_s), [](QFile &f) {
            f.write("地区,首重价格,续重价格\n");
            f.write(QByteArray(30'000'000, 'x'));
            f.write(",10,5\n");
        }));
        QVERIFY(writeFile(made(u"wide.csv"_s), [](QFile &f) {
            f.write("地区,首重价格,续重价格");
            for (int i = 0; i < 100'000; ++i)
                f.write(",c" + QByteArray::number(i));
            f.write("\n北京,10,5\n");
        }));
        QVERIFY(writeFile(made(u"two-contacts.csv"_s), [](QFile &f) {
            f.write("地区,首重价格,续重价格,联系方式,联系方式\n北京,10,5,甲,乙\n");
        }));
        // Under the sanitizers, a tenth of the orders: the same path at a
        // tenth of the time.
        const int orders = Sanitized ? 100'000 : 1'000'000;
        QVERIFY(writeFile(made(u"million-orders.csv"_s), [orders](QFile &f) {
            f.write("订单号,收货地址,重量,收件人\n");
            for (int i = 0; i < orders; ++i)
                f.write("A" + QByteArray::number(i) + ",江苏省南京市鼓楼区中山路" +
                        QByteArray::number(i % 100) + "号," + QByteArray::number(i % 40 + 1) + ",张三\n");
        }));
        QVERIFY(writeFile(made(u"rates.csv"_s),
                          [](QFile &f) { f.write("地区,首重价格,续重价格\n江苏,5,1\n南京,4,2\n"); }));
        for (const QString &name : {u"甲"_s, u"乙"_s})
            QCOMPARE(runCli({u"--db=%1"_s.arg(made(u"orders.db"_s)), u"create"_s, name, made(u"rates.csv"_s)})
                         .status,
                     0);
    }

    // Every file of tests/data/damaged: its sheets are listed or refused, and
    // each sheet is read or refused, always with a message.
    void everyDamagedFile_readOrRefused_data()
    {
        QTest::addColumn<QString>("file");
        const QDir folder(KuaidiTest::testData(u"damaged"_s));
        const QStringList files = folder.entryList({u"*.xls"_s, u"*.xlsx"_s, u"*.csv"_s}, QDir::Files);
        QVERIFY(files.size() >= 5);
        for (const QString &file : files)
            QTest::newRow(qPrintable(file)) << folder.filePath(file);
    }
    void everyDamagedFile_readOrRefused()
    {
        QFETCH(QString, file);
        const Outcome listed = runCli({u"sheets"_s, file});
        QVERIFY2(listed.status == 0 || listed.status == 2, qPrintable(listed.err));
        if (listed.status == 2) {
            QVERIFY(listed.err.startsWith(u"无法读取该文件："_s));
            return;
        }
        for (const QString &sheet : listed.out.split(u'\n', Qt::SkipEmptyParts)) {
            const Outcome read = runCli({u"read"_s, file, u"--sheet"_s, sheet});
            QVERIFY2(read.status == 0 || read.status == 2, qPrintable(sheet + u": "_s + read.err));
            QCOMPARE(read.err.isEmpty(), read.status == 0);
        }
    }

    void budgets_refuseWithTheLimitMet_data()
    {
        QTest::addColumn<QStringList>("arguments"); // %1: the made files' folder, %2: tests/data
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("said");
        const QString db = u"--db=%1/kuaidishuju.db"_s;
        QTest::newRow("50 million shared strings")
            << QStringList{u"sheets"_s, u"%2/damaged/xlsx-50m-shared-strings.xlsx"_s} << 2
            << u"文本太多（超过 500 万条）"_s;
        QTest::newRow("nested two million deep")
            << QStringList{u"read"_s, u"%2/damaged/xlsx-deep-nesting.xlsx"_s} << 2 << u"嵌套超过 64 层"_s;
        QTest::newRow("20 sheets declaring 65536 × 256")
            << QStringList{u"read"_s, u"%2/damaged/xls-20-sheets-65536x256.xls"_s, u"--sheet"_s, u"表20"_s}
            << 0 << QString();
        QTest::newRow("FreeXL over-read")
            << QStringList{u"sheets"_s, u"%2/damaged/xls-freexl-overread.xls"_s} << 2 << u"已损坏"_s;
        QTest::newRow("6 MB of commas")
            << QStringList{u"read"_s, u"%1/commas.csv"_s} << 2 << u"500 万个单元格"_s;
        QTest::newRow("a million rows, as a template")
            << QStringList{db, u"create"_s, u"新"_s, u"%1/million-rows.csv"_s} << 2 << u"表格有 1000000 行"_s;
        QTest::newRow("a 30 MB cell")
            << QStringList{db, u"create"_s, u"大"_s, u"%1/huge-cell.csv"_s} << 0 << QString();
        QTest::newRow("100,000 columns")
            << QStringList{db, u"create"_s, u"宽"_s, u"%1/wide.csv"_s} << 2 << u"最多只能保存 2000 列"_s;
        QTest::newRow("a million orders priced into a workbook")
            << QStringList{u"--db=%1/orders.db"_s, u"batch"_s, u"%1/million-orders.csv"_s, u"--out"_s,
                           u"%1/million-orders.xlsx"_s}
            << 0 << QString();
        QTest::newRow("two 联系方式 columns")
            << QStringList{db, u"create"_s, u"重"_s, u"%1/two-contacts.csv"_s} << 2
            << u"两列都叫“联系方式”"_s;
    }
    void budgets_refuseWithTheLimitMet()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, status);
        QFETCH(QString, said);
        for (QString &argument : arguments)
            argument.replace(u"%1"_s, m_dir.path())
                .replace(u"%2"_s, KuaidiTest::testData(QString()).chopped(1));
        const Outcome outcome = runCli(arguments);
        QCOMPARE(outcome.status, status);
        QVERIFY2(outcome.err.contains(said), qPrintable(outcome.err));
    }
};

QTEST_GUILESS_MAIN(TestDamagedInputs)
#include "tst_damagedinputs.moc"
