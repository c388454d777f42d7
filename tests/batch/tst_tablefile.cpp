#include <batch/tablefile.h>
#include <import/workbook.h>
#include <templates/ratesheet.h>

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <zip.h>

using namespace Qt::StringLiterals;
using namespace Kuaidi;

namespace {

// A disk that fills after so many bytes.
class FullDevice final : public QBuffer
{
public:
    explicit FullDevice(qint64 room) : m_room(room) {}

protected:
    qint64 writeData(const char *data, qint64 size) override
    {
        if (pos() + size > m_room) {
            setErrorString(u"No space left on device"_s);
            return -1;
        }
        return QBuffer::writeData(data, size);
    }

private:
    qint64 m_room;
};

TextTable tableOf(const QStringList &columns, const QList<QStringList> &rows)
{
    TextTable table;
    table.columns = columns;
    table.rows = rows;
    return table;
}

// One part of a workbook as written, undeflated.
QByteArray partOf(const QString &path, const char *name)
{
    zip_t *zip = zip_open(QFile::encodeName(path).constData(), ZIP_RDONLY | ZIP_CHECKCONS, nullptr);
    if (!zip)
        return {};
    QByteArray bytes;
    if (zip_file_t *file = zip_fopen(zip, name, 0)) {
        char buffer[65536];
        for (zip_int64_t n; (n = zip_fread(file, buffer, sizeof buffer)) > 0;)
            bytes.append(buffer, qsizetype(n));
        zip_fclose(file);
    }
    zip_close(zip);
    return bytes;
}

QByteArray fileBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

const QList<OutputSheet> &batchLike()
{
    static const QList<OutputSheet> sheets{
        {u"报价"_s,
         tableOf({u"订单号"_s, u"差额"_s, u"备注"_s}, {{u"00123"_s, u"-1.5"_s, u"=HYPERLINK(\"x\")"_s},
                                                       {u"含,逗号\"引号"_s, u""_s, u"+86 138"_s}}),
         {1}},
        {u"汇总"_s, tableOf({u"项目"_s}, {{u"合计"_s}}), {}}};
    return sheets;
}

} // namespace

class TestTableFile : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

private Q_SLOTS:
    void writeTableFile_readsBack_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QList<QStringList>>("rows"); // as read back
        QTest::newRow("xlsx") << u"out.xlsx"_s << batchLike().first().table.rows;
        // Excel would run the formulas of a .csv file: they go in as texts.
        QTest::newRow("csv") << u"out.csv"_s
                             << QList<QStringList>{{u"00123"_s, u"-1.5"_s, u"'=HYPERLINK(\"x\")"_s},
                                                   {u"含,逗号\"引号"_s, u""_s, u"'+86 138"_s}};
    }
    void writeTableFile_readsBack()
    {
        QFETCH(QString, name);
        QFETCH(QList<QStringList>, rows);
        const QString path = m_dir.filePath(name);
        QCOMPARE(writeTableFile(path, batchLike()), QString());
        Workbook workbook;
        QVERIFY2(workbook.open(path), qPrintable(workbook.lastError()));
        const std::optional<TextTable> back = workbook.readSheet(workbook.sheetNames().first());
        QVERIFY(back);
        QCOMPARE(back->columns, batchLike().first().table.columns);
        QCOMPARE(back->rows, rows);
        if (name.endsWith(u"xlsx"))
            QCOMPARE(workbook.sheetNames(), (QStringList{u"报价"_s, u"汇总"_s}));
        else
            QVERIFY(fileBytes(path).startsWith("\xEF\xBB\xBF订单号,差额,备注\r\n"));
    }

    void csvRecord_guardsWhatExcelWouldRun_data()
    {
        QTest::addColumn<QString>("cell");
        QTest::addColumn<QByteArray>("written");
        QTest::newRow("formula") << u"=1+1"_s << QByteArray("'=1+1");
        QTest::newRow("plus") << u"+1+1"_s << QByteArray("'+1+1");
        QTest::newRow("minus") << u"-A1"_s << QByteArray("'-A1");
        QTest::newRow("at") << u"@SUM(A1)"_s << QByteArray("'@SUM(A1)");
        QTest::newRow("tab") << u"\t=1"_s << QByteArray("'\t=1");
        QTest::newRow("quoted formula") << u"=\"a,b\""_s << QByteArray("\"'=\"\"a,b\"\"\"");
        QTest::newRow("negative number") << u"-3.5"_s << QByteArray("-3.5");
        QTest::newRow("signed number") << u"+2"_s << QByteArray("+2");
        QTest::newRow("a dash alone") << u"-"_s << QByteArray("'-");
        QTest::newRow("inside") << u"a=b"_s << QByteArray("a=b");
        QTest::newRow("full-width sign") << u"＝1"_s << QByteArray("＝1");
    }
    void csvRecord_guardsWhatExcelWouldRun()
    {
        QFETCH(QString, cell);
        QFETCH(QByteArray, written);
        QCOMPARE(csvRecord({cell, u"x"_s}), written + ",x\r\n");
        const QByteArray plain = csvRecord({cell}, false);
        QVERIFY(!plain.startsWith('\'') && !plain.startsWith("\"'"));
    }

    void xlsx_numbersAsNumbersTextsAsTextsHeaderFrozenColumnsFitted()
    {
        const QString path = m_dir.filePath(u"kinds.xlsx"_s);
        const QList<OutputSheet> sheets{{u"对账"_s,
                                         tableOf({u"运单号"_s, u"差额"_s, u"收件地址"_s},
                                                 {{u"007"_s, u"-1.5"_s, u"江苏省南京市鼓楼区中山路一号"_s},
                                                  {u"=1+1"_s, u"=1+1"_s, u"@x"_s}}),
                                         {1}}};
        QCOMPARE(writeTableFile(path, sheets), QString());
        const QByteArray xml = partOf(path, "xl/worksheets/sheet1.xml");
        QVERIFY(
            xml.contains(R"(<pane ySplit="1" topLeftCell="A2" activePane="bottomLeft" state="frozen"/>)"));
        QVERIFY(xml.contains(R"(<c r="B2"><v>-1.5</v></c>)"));
        QVERIFY(xml.contains(R"(<c r="A2" t="inlineStr"><is><t>007</t>)"));
        QVERIFY(xml.contains(R"(<c r="B3" t="inlineStr"><is><t>=1+1</t>)"));
        QVERIFY(!xml.contains("<f>"));
        // The address column is wider than the number column.
        QVERIFY(xml.contains(R"(<col min="2" max="2" width="7" customWidth="1"/>)"));
        QVERIFY(xml.contains(R"(<col min="3" max="3" width="30" customWidth="1"/>)"));
    }

    void xlsx_oddTextsComeBackWhole()
    {
        const TextTable odd = tableOf({u"\uFFFE北京"_s}, {{u"\uFFFF"_s},
                                                          {u"a\rb\tc\r\nd"_s},
                                                          {u"\x01\x1f"_s},
                                                          {u"_x0041_ and _x00"_s},
                                                          {QString(QChar(0xD800))}});
        const QString path = m_dir.filePath(u"odd.xlsx"_s);
        QCOMPARE(writeTableFile(path, {{u"odd"_s, odd, {}}}), QString());
        Workbook workbook;
        QVERIFY2(workbook.open(path), qPrintable(workbook.lastError()));
        const std::optional<TextTable> back = workbook.readSheet(u"odd"_s);
        QVERIFY(back);
        QCOMPARE(back->columns, odd.columns);
        QCOMPARE(back->rows, odd.rows);
    }

    void xlsx_manyRowsStreamThrough()
    {
        // Past the first rows that set the widths and past several buffers.
        const QString path = m_dir.filePath(u"many.xlsx"_s);
        TableWriter writer(path);
        QVERIFY(writer.beginSheet(u"报价"_s, {u"订单号"_s, u"重量"_s}, {1}));
        for (int i = 0; i < 50'000; ++i)
            QVERIFY(writer.addRow({u"A%1"_s.arg(i), QString::number(i % 50 + 1)}));
        QVERIFY(writer.beginSheet(u"汇总"_s, {u"项目"_s}));
        QVERIFY2(writer.commit(), qPrintable(writer.errorString()));
        Workbook workbook;
        QVERIFY(workbook.open(path));
        const std::optional<TextTable> back = workbook.readSheet(u"报价"_s);
        QVERIFY(back);
        QCOMPARE(back->rows.size(), 50'000);
        QCOMPARE(back->rows.last(), (QStringList{u"A49999"_s, u"50"_s}));
        QCOMPARE(workbook.readSheet(u"汇总"_s)->columns, QStringList{u"项目"_s});
    }

    void tableWriter_fullDisk_failsWithTheReason_data()
    {
        QTest::addColumn<int>("format");
        QTest::addColumn<qint64>("room");
        for (const qint64 room : {0, 3, 100, 2000, 40'000}) {
            QTest::addRow("xlsx, %lld bytes", room) << int(TableWriter::Format::Xlsx) << room;
            QTest::addRow("csv, %lld bytes", room) << int(TableWriter::Format::Csv) << room;
        }
    }
    void tableWriter_fullDisk_failsWithTheReason()
    {
        QFETCH(int, format);
        QFETCH(qint64, room);
        FullDevice device(room);
        QVERIFY(device.open(QIODevice::WriteOnly));
        TableWriter writer(&device, TableWriter::Format(format), u"结果.xlsx"_s);
        bool written = writer.beginSheet(u"报价"_s, {u"订单号"_s, u"备注"_s});
        for (int i = 0; written && i < 5000; ++i)
            written = writer.addRow({QString::number(i), u"南京市鼓楼区"_s});
        written = written && writer.commit();
        QVERIFY(!written);
        QVERIFY2(writer.errorString().startsWith(u"无法写入“结果.xlsx”："_s),
                 qPrintable(writer.errorString()));
        QVERIFY(writer.errorString().contains(u"No space left on device"_s));
        // Nothing more goes to a device that failed.
        QVERIFY(!writer.addRow({u"x"_s}));
        QVERIFY(!writer.commit());
    }

    void tableWriter_failureOrNoCommit_leavesTheFileInPlace_data()
    {
        QTest::addColumn<QString>("name");
        QTest::newRow("xlsx") << u"kept.xlsx"_s;
        QTest::newRow("csv") << u"kept.csv"_s;
    }
    void tableWriter_failureOrNoCommit_leavesTheFileInPlace()
    {
        QFETCH(QString, name);
        QTemporaryDir dir;
        const QString path = dir.filePath(name);
        QCOMPARE(writeTableFile(path, batchLike()), QString());
        const QByteArray before = fileBytes(path);
        {
            TableWriter writer(path);
            QVERIFY(writer.beginSheet(u"报价"_s, {u"新"_s}));
            QVERIFY(writer.addRow({u"新的一行"_s}));
        } // dropped without commit
        QCOMPARE(fileBytes(path), before);
        if (name.endsWith(u"xlsx")) {
            const QList<OutputSheet> bad{{u"报价"_s, tableOf({u"新"_s}, {}), {}},
                                         {u"bad/name?"_s, tableOf({u"新"_s}, {}), {}}};
            QVERIFY(writeTableFile(path, bad).contains(u"bad/name?"_s));
            QVERIFY(writeTableFile(path, {batchLike().first(), batchLike().first()}).contains(u"重复"_s));
        }
        QCOMPARE(fileBytes(path), before);
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{name});
        QVERIFY(writeTableFile(dir.filePath(u"out.txt"_s), batchLike()).contains(u".xlsx"));
        QVERIFY(
            writeTableFile(dir.filePath(u"no/such/folder/out.csv"_s), batchLike()).startsWith(u"无法写入"_s));
    }

    void templateSheets_rulesSheetNeverTakesTheTemplatesName_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QStringList>("sheets");
        QTest::newRow("plain") << u"中通快递"_s << QStringList{u"中通快递"_s, u"计费规则"_s};
        QTest::newRow("named 计费规则") << u"计费规则"_s << QStringList{u"计费规则"_s, u"计费规则2"_s};
        QTest::newRow("not a sheet name") << u"a/b"_s << QStringList{u"模板"_s, u"计费规则"_s};
    }
    void templateSheets_rulesSheetNeverTakesTheTemplatesName()
    {
        QFETCH(QString, name);
        QFETCH(QStringList, sheets);
        BillingRules rules;
        rules.rounding = BillingRules::Rounding::HalfKilogram;
        rules.volumeDivisor = 6000;
        const QList<OutputSheet> written =
            templateSheets(name, tableOf({u"地区"_s, u"首重价格"_s}, {{u"北京"_s, u"=5"_s}}), rules);
        const QString path = m_dir.filePath(u"export.xlsx"_s);
        QCOMPARE(writeTableFile(path, written), QString());
        Workbook workbook;
        QVERIFY(workbook.open(path));
        QCOMPARE(workbook.sheetNames(), sheets);
        QCOMPARE(workbook.readSheet(sheets.first())->rows.first().last(), u"=5"_s);
        QCOMPARE(exportedBillingRules(path), std::optional<BillingRules>(rules));
        // As a .csv file, cells go exactly as stored, to be read back.
        const QString csv = m_dir.filePath(u"export.csv"_s);
        QCOMPARE(writeTableFile(csv, written), QString());
        QVERIFY(fileBytes(csv).endsWith(",=5\r\n"));
        QCOMPARE(exportedBillingRules(csv), std::nullopt);
    }
};

QTEST_GUILESS_MAIN(TestTableFile)
#include "tst_tablefile.moc"
