#include "../common/compoundwriter.h"
#include "../common/testdata.h"

#include <core/sanitizer.h>

#include <QDir>
#include <QFile>
#include <QMap>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <functional>
#include <memory>

#ifdef Q_OS_WIN
#include <qt_windows.h>
#else
#include <sys/resource.h>
#endif

#include <zip.h>

using namespace Qt::StringLiterals;
using Kuaidi::Sanitized;

// Every hostile or damaged input ever found, replayed on every build through
// kuaidi-cli: each is read or refused with a message (exit 0 or 2), within the
// address space a reader may use. Files that are made, not found, are
// written by tests/data/damaged/make-damaged.py or, when large, here.

namespace {

constexpr quint64 AddressSpaceBytes = quint64(2) << 30;

struct Outcome
{
    int status = -1;
    QString out;
    QString err;
};

Outcome runCli(const QStringList &arguments)
{
    QProcess process;
#ifdef Q_OS_WIN
    // A job's memory limit, set as the program starts (Wine does not
    // enforce it; Windows does).
    process.start(QStringLiteral(KUAIDI_CLI_PATH), arguments);
    const std::unique_ptr<void, decltype(&CloseHandle)> job(CreateJobObjectW(nullptr, nullptr), &CloseHandle);
    if (job && process.waitForStarted()) {
        JOBOBJECT_EXTENDED_LIMIT_INFORMATION limit{};
        limit.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_PROCESS_MEMORY;
        limit.ProcessMemoryLimit = SIZE_T(AddressSpaceBytes);
        SetInformationJobObject(job.get(), JobObjectExtendedLimitInformation, &limit, sizeof limit);
        if (HANDLE child =
                OpenProcess(PROCESS_SET_QUOTA | PROCESS_TERMINATE, FALSE, DWORD(process.processId()))) {
            AssignProcessToJobObject(job.get(), child);
            CloseHandle(child);
        }
    }
#else
    if (!Sanitized) {
        process.setChildProcessModifier([] {
            const rlimit limit{rlim_t(AddressSpaceBytes), rlim_t(AddressSpaceBytes)};
            setrlimit(RLIMIT_AS, &limit);
        });
    }
    process.start(QStringLiteral(KUAIDI_CLI_PATH), arguments);
#endif
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

// An .xlsx of one sheet named 表: @p parts replace or add to the minimal
// package, whose sheet holds @p sheetData.
bool writeXlsx(const QString &path, const QByteArray &sheetData, const QMap<QString, QByteArray> &parts = {})
{
    const QByteArray main = "http://schemas.openxmlformats.org/spreadsheetml/2006/main";
    const QByteArray rel = "http://schemas.openxmlformats.org/officeDocument/2006/relationships";
    QMap<QString, QByteArray> all{
        {u"xl/workbook.xml"_s,
         "<workbook xmlns=\"" + main + "\" xmlns:r=\"" + rel +
             "\"><sheets><sheet name=\"表\" sheetId=\"1\" r:id=\"rId1\"/></sheets></workbook>"},
        {u"xl/_rels/workbook.xml.rels"_s,
         "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
         "<Relationship Id=\"rId1\" Type=\"" +
             rel +
             "/worksheet\" Target=\"sheet1.xml\"/>"
             "<Relationship Id=\"rId2\" Type=\"" +
             rel + "/sharedStrings\" Target=\"sharedStrings.xml\"/></Relationships>"},
        {u"xl/sheet1.xml"_s,
         "<worksheet xmlns=\"" + main + "\"><sheetData>" + sheetData + "</sheetData></worksheet>"},
    };
    for (auto it = parts.cbegin(); it != parts.cend(); ++it)
        all[it.key()] = it.value();
    int error = 0;
    zip_t *zip = zip_open(QFile::encodeName(path).constData(), ZIP_CREATE | ZIP_TRUNCATE, &error);
    if (!zip)
        return false;
    for (auto it = all.cbegin(); it != all.cend(); ++it) {
        zip_source_t *source =
            zip_source_buffer(zip, it.value().constData(), zip_uint64_t(it.value().size()), 0);
        const zip_int64_t index = zip_file_add(zip, it.key().toUtf8().constData(), source, ZIP_FL_ENC_UTF_8);
        if (index < 0) {
            zip_source_free(source);
            zip_discard(zip);
            return false;
        }
        zip_set_file_compression(zip, zip_uint64_t(index), ZIP_CM_DEFLATE, 1);
    }
    return zip_close(zip) == 0;
}

// A header row of @p cells cells, every one showing shared string 0.
QByteArray headerOfSharedString(int cells)
{
    QByteArray row = "<row r=\"1\">";
    for (int c = 0; c < cells; ++c)
        row += "<c t=\"s\"><v>0</v></c>";
    return row + "</row>";
}

QByteArray sharedStrings(const QByteArray &text)
{
    return "<sst xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\"><si><t>" + text +
           "</t></si></sst>";
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
        // Small files whose one text fills many cells.
        QVERIFY(writeXlsx(made(u"40m-text-60-cells.xlsx"_s), headerOfSharedString(60),
                          {{u"xl/sharedStrings.xml"_s, sharedStrings(QByteArray(40'000'000, 'x'))}}));
        QVERIFY(writeXlsx(made(u"8m-text-16384-cells.xlsx"_s), headerOfSharedString(16'384),
                          {{u"xl/sharedStrings.xml"_s, sharedStrings(QByteArray(8'000'000, 'x'))}}));
        // The parts that only name the sheets, each just under the size a
        // worksheet may have.
        const QByteArray padding(250'000'000, ' ');
        QVERIFY(
            writeXlsx(made(u"huge-index-parts.xlsx"_s), {},
                      {{u"xl/workbook.xml"_s, "<workbook>" + padding + "</workbook>"},
                       {u"xl/_rels/workbook.xml.rels"_s, "<Relationships>" + padding + "</Relationships>"},
                       {u"xl/sharedStrings.xml"_s, sharedStrings(padding)}}));
        // Excel 97 shared strings: 70 million empty ones, in full CONTINUE
        // records of 2741 each.
        QVERIFY(writeFile(made(u"70m-empty-strings.xls"_s), [](QFile &f) {
            const QByteArray strings = QByteArray(3 * 2741, '\0');
            QByteArray stream = KuaidiTest::biffRecord(
                0x0809, KuaidiTest::le16(0x0600) + KuaidiTest::le16(5) + QByteArray(12, '\0'));
            stream +=
                KuaidiTest::biffRecord(0x00FC, KuaidiTest::le32(70'000'000) + KuaidiTest::le32(70'000'000) +
                                                   QByteArray(3 * 2740, '\0'));
            const QByteArray more = KuaidiTest::biffRecord(0x003C, strings);
            stream.reserve(stream.size() + 25'540 * more.size() + 4);
            for (int i = 0; i < 25'540; ++i)
                stream += more;
            stream += KuaidiTest::biffRecord(0x000A, {});
            f.write(KuaidiTest::compoundFile(u"Workbook"_s, stream));
        }));
        QVERIFY(writeFile(made(u"200mb-price.csv"_s), [](QFile &f) {
            f.write("地区,首重价格,续重价格\n北京,");
            f.write(QByteArray(200'000'000, '9'));
            f.write(",5\n");
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
            << QStringList{u"read"_s, u"%2/damaged/xlsx-50m-shared-strings.xlsx"_s} << 2
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
        // Budgets by the text the cells expand to, not by parts and cells alone.
        QTest::newRow("a 40-million-character text in 60 cells, read")
            << QStringList{u"read"_s, u"%1/40m-text-60-cells.xlsx"_s} << 2 << u"文字太多"_s;
        QTest::newRow("a 40-million-character text in 60 cells, as a template")
            << QStringList{db, u"create"_s, u"长"_s, u"%1/40m-text-60-cells.xlsx"_s} << 2 << u"文字太多"_s;
        QTest::newRow("an 8-million-character text in 16,384 cells")
            << QStringList{u"read"_s, u"%1/8m-text-16384-cells.xlsx"_s} << 2 << u"文字太多"_s;
        QTest::newRow("workbook, rels and shared strings of 250 MB each")
            << QStringList{u"sheets"_s, u"%1/huge-index-parts.xlsx"_s} << 2 << u"太大（超过 16 MB）"_s;
        QTest::newRow("70 million empty shared strings")
            << QStringList{u"sheets"_s, u"%1/70m-empty-strings.xls"_s} << 2 << u"文本太多（超过 500 万条）"_s;
        QTest::newRow("a 200 MB price")
            << QStringList{db, u"create"_s, u"价"_s, u"%1/200mb-price.csv"_s} << 2 << u"文字太多"_s;
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
        QVERIFY2(outcome.err.contains(said), qPrintable(outcome.err.left(500)));
        // A message quotes a seller's text cut short, never whole.
        QVERIFY2(outcome.err.size() < 1000, qPrintable(outcome.err.left(500)));
    }
};

QTEST_GUILESS_MAIN(TestDamagedInputs)
#include "tst_damagedinputs.moc"
