#include "../common/compoundwriter.h"
#include "../common/testdata.h"

#include <import/workbook.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <QTest>

using namespace Kuaidi;
using namespace KuaidiTest;
using namespace Qt::StringLiterals;

using Rows = QList<QStringList>;

namespace {

QString sheetFile(const QString &name)
{
    return KuaidiTest::testData(u"sheets/"_s + name);
}

const QStringList FixtureSheets{u"运费"_s, u"模板"_s, u"空表"_s, u"杂项"_s, u"引号"_s};

QString realFile(const QString &name)
{
    return KuaidiTest::testData(u"real/"_s + name);
}

// BIFF records as Excel 97 (version 0x0600) or Excel 95 (0x0500) writes them.
QByteArray utf16(const QString &text)
{
    QByteArray bytes;
    for (const QChar c : text)
        bytes += le16(c.unicode());
    return bytes;
}
QByteArray bof(quint16 version, quint16 substream)
{
    return biffRecord(0x0809, le16(version) + le16(substream) + QByteArray(version == 0x0600 ? 12 : 4, '\0'));
}
QByteArray eof()
{
    return biffRecord(0x000A, {});
}
QByteArray label8(quint16 row, quint16 column, const QString &text)
{
    return biffRecord(0x0204,
                      le16(row) + le16(column) + le16(0) + le16(quint16(text.size())) + '\x01' + utf16(text));
}
QByteArray label5(quint16 row, quint16 column, const QByteArray &bytes)
{
    return biffRecord(0x0204, le16(row) + le16(column) + le16(0) + le16(quint16(bytes.size())) + bytes);
}
QByteArray codePage(quint16 codePage)
{
    return biffRecord(0x0042, le16(codePage));
}
// A formula in a shared group whose cached result is a text, which the
// STRING record after the group's SHRFMLA record holds.
QByteArray sharedTextFormula(quint16 row, quint16 column, const QString &result)
{
    const QByteArray tokens("\x1E\x01\x00", 3); // the number 1
    return biffRecord(0x0006, le16(row) + le16(column) + le16(0) + QByteArray("\0\0\0\0\0\0\xFF\xFF", 8) +
                                  le16(0x0008) + le32(0) + le16(3) + tokens) +
           biffRecord(0x04BC,
                      le16(row) + le16(row) + char(column) + char(column) + le16(0) + le16(3) + tokens) +
           biffRecord(0x0207, le16(quint16(result.size())) + '\x01' + utf16(result));
}
// A workbook stream: globals (with @p globals' own records) naming one
// worksheet per entry of @p sheets, then the worksheets.
QByteArray workbookStream(quint16 version, const QByteArray &globals,
                          const QList<std::pair<QByteArray, QByteArray>> &sheets)
{
    const auto boundSheet = [version](quint32 offset, const QByteArray &name) {
        const QByteArray body = le32(offset) + '\0' + '\0' +
                                char(version == 0x0600 ? name.size() / 2 : name.size()) +
                                (version == 0x0600 ? QByteArray("\x01") : QByteArray()) + name;
        return biffRecord(0x0085, body);
    };
    QByteArray head = bof(version, 0x0005) + globals;
    qsizetype size = head.size() + eof().size();
    for (const auto &sheet : sheets)
        size += boundSheet(0, sheet.first).size();
    QByteArray body;
    for (const auto &sheet : sheets) {
        head += boundSheet(quint32(size + body.size()), sheet.first);
        body += bof(version, 0x0010) + sheet.second + eof();
    }
    return head + eof() + body;
}

// Opens whatever the bytes are and reads every sheet. Failing is fine; a crash,
// a silent failure or a record of the wrong width is not.
void openAndReadAll(const QString &path)
{
    Workbook book;
    if (!book.open(path)) {
        QVERIFY(!book.lastError().isEmpty());
        QVERIFY(!book.isOpen());
        return;
    }
    for (const QString &name : book.sheetNames()) {
        const std::optional<TextTable> table = book.readSheet(name);
        if (!table) {
            QVERIFY(!book.lastError().isEmpty());
            continue;
        }
        for (const QStringList &row : table->rows)
            QCOMPARE(row.size(), table->columns.size());
    }
}

} // namespace

class TestImportWorkbook : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void sheetNames_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QStringList>("names");
        QTest::newRow("xls") << u"运费表.xls"_s << FixtureSheets;
        QTest::newRow("xlsx") << u"运费表.xlsx"_s << FixtureSheets;
        QTest::newRow("csv") << u"运费-utf8.csv"_s << QStringList{u"运费-utf8"_s};
        QTest::newRow("xls written by Excel")
            << u"Formate.xls"_s << QStringList{u"Blätt1"_s, u"ÖÄÜ"_s, u"Blätt3"_s, u"Formate"_s};
    }
    void sheetNames()
    {
        QFETCH(QString, file);
        QFETCH(QStringList, names);
        Workbook book;
        QVERIFY2(book.open(sheetFile(file)), qPrintable(book.lastError()));
        QCOMPARE(book.sheetNames(), names);
    }

    void readSheet_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("sheet");
        QTest::addColumn<QStringList>("columns");
        QTest::addColumn<QList<QStringList>>("rows");

        const QStringList freightColumns{u"地区"_s, u"首重价格"_s, u"续重价格"_s, u"到达时间"_s};
        const QList<QStringList> freight{{u"江苏南京"_s, u"10"_s, u"5"_s, u"2天"_s},
                                         {u"吉林"_s, u"12.5"_s, u"6.5"_s, u"3-4天"_s},
                                         {u"北京"_s, u"8"_s, QString(), u"次日达"_s},
                                         {u"广东"_s, u"15"_s, u"7.25"_s, QString()}};
        QTest::newRow("xls, seller layout") << u"运费表.xls"_s << u"运费"_s << freightColumns << freight;
        QTest::newRow("xlsx, seller layout") << u"运费表.xlsx"_s << u"运费"_s << freightColumns << freight;
        QTest::newRow("csv utf-8") << u"运费-utf8.csv"_s << u"运费-utf8"_s << freightColumns << freight;
        QTest::newRow("csv utf-8, bom, crlf")
            << u"运费-utf8bom.csv"_s << u"运费-utf8bom"_s << freightColumns << freight;
        QTest::newRow("csv gbk") << u"运费-gbk.csv"_s << u"运费-gbk"_s << freightColumns << freight;

        const QStringList editorColumns{u"地区"_s, u"省区"_s, u"市等级"_s, u"首重价格"_s, u"续重价格"_s};
        const QList<QStringList> editor{{u"江苏南京"_s, u"江苏"_s, u"省会"_s, u"10"_s, u"4"_s},
                                        {u"吉林"_s, u"吉林"_s, QString(), u"12.5"_s, u"6"_s},
                                        {u"广东广州"_s, u"广东"_s, u"省会"_s, u"12"_s, u"5.5"_s}};
        QTest::newRow("xls, editor layout") << u"运费表.xls"_s << u"模板"_s << editorColumns << editor;
        QTest::newRow("xlsx, editor layout") << u"运费表.xlsx"_s << u"模板"_s << editorColumns << editor;

        QTest::newRow("xls, small enough for the mini stream")
            << u"小表.xls"_s << u"Sheet1"_s << QStringList{u"地区"_s, u"首重价格"_s}
            << QList<QStringList>{{u"北京"_s, u"8"_s}};
        // Excel's own file: dates and times by their number formats.
        QTest::newRow("xls by Excel, dates and times")
            << u"Formate.xls"_s << u"Blätt1"_s << QStringList{u"Huber"_s, u"1907-07-03"_s}
            << QList<QStringList>{
                   {u"Äcker"_s, u"2005-02-23"_s}, {u"Öcker"_s, u"1988-05-03"_s}, {u"Morgen"_s, u"06:34:00"_s},
                   {u"Mittag"_s, u"12:56:00"_s},  {u"Abends"_s, u"17:47:13"_s},  {u"gut"_s, u"0.974"_s},
                   {u"schlecht"_s, u"0.124"_s},   {u"viel"_s, u"1000.3"_s},      {u"wenig"_s, u"1.2"_s}};
        QTest::newRow("xls, header only")
            << u"运费表.xls"_s << u"空表"_s << freightColumns << QList<QStringList>();
        QTest::newRow("xlsx, header only")
            << u"运费表.xlsx"_s << u"空表"_s << freightColumns << QList<QStringList>();

        const QStringList quotedColumns{u"地区"_s, u"首重价格"_s, u"备注"_s};
        const QList<QStringList> quoted{{u"江苏南京,苏州"_s, u"12.5"_s, u"他说\"次日达\""_s},
                                        {u"广东"_s, QString(), u"第一行\n第二行"_s}};
        QTest::newRow("csv quoted") << u"引号.csv"_s << u"引号"_s << quotedColumns << quoted;
        QTest::newRow("xls, comma quote newline") << u"运费表.xls"_s << u"引号"_s << quotedColumns << quoted;
        QTest::newRow("xlsx, comma quote newline")
            << u"运费表.xlsx"_s << u"引号"_s << quotedColumns << quoted;
    }
    void readSheet()
    {
        QFETCH(QString, file);
        QFETCH(QString, sheet);
        QFETCH(QStringList, columns);
        QFETCH(QList<QStringList>, rows);
        Workbook book;
        QVERIFY2(book.open(sheetFile(file)), qPrintable(book.lastError()));
        const std::optional<TextTable> table = book.readSheet(sheet);
        QVERIFY2(table, qPrintable(book.lastError()));
        QCOMPARE(table->columns, columns);
        QCOMPARE(table->rows, rows);
    }

    // Formulas, booleans, errors, dates, a nameless column, a blank row and
    // a duplicate field name, all on one sheet.
    void mixedCells_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("textFormula");
        QTest::addColumn<QString>("date");
        // LibreOffice saves no text result for a text formula in .xls, only 0.
        QTest::newRow("xls") << u"运费表.xls"_s << u"0"_s << u"2024-01-15"_s;
        QTest::newRow("xlsx") << u"运费表.xlsx"_s << u"次日"_s << u"2024-01-15"_s;
    }
    void mixedCells()
    {
        QFETCH(QString, file);
        QFETCH(QString, textFormula);
        QFETCH(QString, date);
        Workbook book;
        QVERIFY2(book.open(sheetFile(file)), qPrintable(book.lastError()));
        const std::optional<TextTable> table = book.readSheet(u"杂项"_s);
        QVERIFY2(table, qPrintable(book.lastError()));
        QCOMPARE(table->columns, (QStringList{u"地区"_s, u"金额"_s, u"F3"_s, u"备注"_s, u"金额"_s}));
        const QList<QStringList> rows{{u"江苏南京"_s, u"0.3"_s, u"无表头"_s, u"TRUE"_s, u"#DIV/0!"_s},
                                      {u"吉林"_s, u"1.2"_s, QString(), textFormula, u"-3"_s},
                                      {u"北京"_s, u"1234567.89"_s, QString(), date, u"0"_s}};
        QCOMPARE(table->rows, rows);
    }

    // Workbooks real programs wrote, each read as other readers read it.
    void realWorkbooks_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QStringList>("sheets");
        QTest::addColumn<QString>("sheet");
        QTest::addColumn<int>("row"); // -1: the titles
        QTest::addColumn<int>("column");
        QTest::addColumn<QString>("text");
        QTest::newRow("Mac Excel 95, code page 10029")
            << u"pss_maccentraleurope.biff5.xls"_s << QStringList{u"Ärkusz1"_s} << u"Ärkusz1"_s << -1 << 8
            << u"Ładowność"_s;
        QTest::newRow("last sector 11 bytes short")
            << u"pss_sample.xls"_s << QStringList{u"Sheet"_s} << u"Sheet"_s << -1 << 0 << u"Title"_s;
        QTest::newRow("text result past a shared formula")
            << u"poi_StringContinueRecords.xls"_s
            << QStringList{u"file load sequence"_s, u"Param"_s, u"SQL init"_s} << u"file load sequence"_s << 2
            << 48 << u"$AV$3"_s;
        const QStringList three{u"Sheet1"_s, u"Sheet2"_s, u"Sheet3"_s};
        QTest::newRow("date in .xls") << u"edr_Test_num_double_date_bool_string.xls"_s << three << u"Sheet1"_s
                                      << -1 << 2 << u"2009-05-11"_s;
        QTest::newRow("the same date in .xlsx") << u"edr_Test_num_double_date_bool_string.xlsx"_s << three
                                                << u"Sheet1"_s << 0 << 2 << u"2009-05-18"_s;
        QTest::newRow("LibreOffice .ods")
            << u"cal_any_sheets.ods"_s << QStringList{u"Visible"_s, u"Hidden"_s, u"VeryHidden"_s, u"Chart"_s}
            << u"Visible"_s << 1 << 1 << u"6"_s;
    }
    void realWorkbooks()
    {
        QFETCH(QString, file);
        QFETCH(QStringList, sheets);
        QFETCH(QString, sheet);
        QFETCH(int, row);
        QFETCH(int, column);
        QFETCH(QString, text);
        Workbook book;
        QVERIFY2(book.open(realFile(file)), qPrintable(book.lastError()));
        QCOMPARE(book.sheetNames(), sheets);
        const std::optional<TextTable> table = book.readSheet(sheet);
        QVERIFY2(table, qPrintable(book.lastError()));
        QCOMPARE((row < 0 ? table->columns : table->rows.value(row)).value(column), text);
    }

    // Every formula whose result is a text, the shared ones included.
    void sharedFormulaTextResults()
    {
        Workbook book;
        QVERIFY(book.open(realFile(u"poi_StringContinueRecords.xls"_s)));
        const std::optional<TextTable> table = book.readSheet(u"file load sequence"_s);
        QVERIFY(table);
        QHash<QString, int> counts;
        for (const QStringList &row : table->rows) {
            for (const QString &cell : row)
                ++counts[cell];
        }
        QCOMPARE(counts.value(u"Crontab"_s), 85);
        QCOMPARE(counts.value(u"Yes"_s), 394);
        QCOMPARE(counts.value(u"$AV$3"_s), 3);
    }

    // The same workbook saved as .xls and as .xlsx reads the same.
    void xlsAndXlsxAgree()
    {
        Workbook xls;
        Workbook xlsx;
        QVERIFY(xls.open(realFile(u"edr_Test_num_double_date_bool_string.xls"_s)));
        QVERIFY(xlsx.open(realFile(u"edr_Test_num_double_date_bool_string.xlsx"_s)));
        QCOMPARE(xls.sheetNames(), xlsx.sheetNames());
        for (const QString &sheet : xls.sheetNames()) {
            const std::optional<TextTable> a = xls.readSheet(sheet);
            const std::optional<TextTable> b = xlsx.readSheet(sheet);
            QVERIFY(a && b);
            QCOMPARE(a->columns, b->columns);
            QCOMPARE(a->rows, b->rows);
        }
    }

    // Workbooks of kinds no spreadsheet program here writes, made record by
    // record.
    void madeXls_data()
    {
        QTest::addColumn<QString>("fileName");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("sheet");
        QTest::addColumn<Rows>("rows");               // the titles first
        const QByteArray gbk("\xB5\xD8\xC7\xF8");     // 地区
        const QByteArray beijing("\xB1\xB1\xBE\xA9"); // 北京

        QTest::newRow("text result past a shared formula")
            << u"公式.xls"_s
            << compoundFile(u"Workbook"_s,
                            workbookStream(0x0600, codePage(1200),
                                           {{utf16(u"表"_s), label8(0, 0, u"任务"_s) +
                                                                 sharedTextFormula(1, 0, u"Crontab"_s)}}))
            << u"表"_s << Rows{{u"任务"_s}, {u"Crontab"_s}};
        // As FoxPro exports: a worksheet and no globals, no code page, two
        // bytes after the last EOF.
        QTest::newRow("lone worksheet, no code page, stray bytes")
            << u"导出.xls"_s
            << compoundFile(u"Book"_s, bof(0x0500, 0x0010) + label5(0, 0, gbk) + label5(1, 0, beijing) +
                                           eof() + "\x01\x02")
            << u"导出"_s << Rows{{u"地区"_s}, {u"北京"_s}};
        QTest::newRow("Excel 95, code page in the sheet")
            << u"俄.xls"_s
            << compoundFile(
                   u"Book"_s,
                   workbookStream(0x0500, {}, {{"Sheet1", codePage(1251) + label5(0, 0, "\xCC\xE8\xF0")}}))
            << u"Sheet1"_s << Rows{{u"Мир"_s}};
        QTest::newRow("Excel 97 text records, no shared strings")
            << u"文本.xls"_s
            << compoundFile(u"Workbook"_s, workbookStream(0x0600, {},
                                                          {{utf16(u"表"_s), label8(0, 0, u"地区"_s) +
                                                                                label8(1, 0, u"北京"_s)}}))
            << u"表"_s << Rows{{u"地区"_s}, {u"北京"_s}};
        QTest::newRow("Excel 95 text records in an Excel 97 file")
            << u"混合.xls"_s
            << compoundFile(u"Workbook"_s,
                            workbookStream(0x0600, codePage(936),
                                           {{utf16(u"表"_s), label5(0, 0, gbk) + label5(1, 0, beijing)}}))
            << u"表"_s << Rows{{u"地区"_s}, {u"北京"_s}};
    }
    void madeXls()
    {
        QFETCH(QString, fileName);
        QFETCH(QByteArray, bytes);
        QFETCH(QString, sheet);
        QFETCH(Rows, rows);
        QTemporaryDir dir;
        QFile file(dir.filePath(fileName));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(bytes);
        file.close();
        Workbook book;
        QVERIFY2(book.open(file.fileName()), qPrintable(book.lastError()));
        QCOMPARE(book.sheetNames(), QStringList{sheet});
        const std::optional<TextTable> table = book.readSheet(sheet);
        QVERIFY2(table, qPrintable(book.lastError()));
        QCOMPARE(table->columns, rows.first());
        QCOMPARE(table->rows, rows.mid(1));
    }

    // The seller's own row numbers, blank rows counted, in every format.
    void sourceRows_data()
    {
        QTest::addColumn<QString>("file");
        for (const QString &file : {u"运费表.xls"_s, u"运费表.xlsx"_s, u"运费表.fods"_s})
            QTest::newRow(qPrintable(file)) << file;
    }
    void sourceRows()
    {
        QFETCH(QString, file);
        Workbook book;
        QVERIFY2(book.open(sheetFile(file)), qPrintable(book.lastError()));
        const std::optional<TextTable> table = book.readSheet(u"杂项"_s);
        QVERIFY(table);
        // A blank row lies between 江苏南京 and 吉林.
        QCOMPARE(table->sourceRows, (QList<int>{1, 2, 4, 5}));
        QCOMPARE(table->sourceRow(1), 4);
    }

    void openFails_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("content"); // null: do not create the file
        QTest::addColumn<QString>("message");
        QTest::newRow("missing") << u"无.xls"_s << QByteArray() << u"文件不存在"_s;
        QTest::newRow("empty") << u"空.csv"_s << QByteArray("") << u"文件是空的"_s;
        QTest::newRow("unknown type") << u"运费.pdf"_s << QByteArray("%PDF-1.4") << u".xls、.xlsx"_s;
        QTest::newRow("web page named xls")
            << u"导出.xls"_s << QByteArray("<html><table>") << u"不是 Excel 工作簿"_s;
        QTest::newRow("zip but no workbook")
            << u"坏.xlsx"_s << QByteArray("PK\x03\x04garbage") << u"已损坏"_s;
        QTest::newRow("ole2 header only")
            << u"坏.xls"_s << QByteArray("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8) << u"已损坏"_s;
        QTest::newRow("Excel 4.0 worksheet")
            << u"旧.xls"_s << QByteArray("\x09\x04\x06\x00\x00\x00\x10\x00\x00\x00", 10) << u"格式太旧"_s;
        QFile xlsb(realFile(u"cal_any_sheets.xlsb"_s));
        QTest::newRow("Excel binary workbook")
            << u"表.xlsb"_s << (xlsb.open(QIODevice::ReadOnly) ? xlsb.readAll() : QByteArray())
            << u"这是 Excel 二进制工作簿（.xlsb），请在 Excel 或 WPS 中另存为 .xlsx"_s;
    }
    void openFails()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, content);
        QFETCH(QString, message);
        QTemporaryDir dir;
        const QString path = dir.filePath(name);
        if (!content.isNull()) {
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(content);
        }
        Workbook book;
        QVERIFY(book.open(sheetFile(u"运费表.xlsx"_s)));
        QVERIFY(!book.open(path));
        QVERIFY2(book.lastError().contains(message), qPrintable(book.lastError()));
        QVERIFY(!book.isOpen());
        QVERIFY(book.sheetNames().isEmpty());
        QVERIFY(!book.readSheet(u"运费"_s));
    }

    void readErrors()
    {
        Workbook book;
        QVERIFY(!book.readSheet(u"运费"_s));
        QVERIFY(!book.lastError().isEmpty());
        QVERIFY(!book.open(KuaidiTest::testData(u"sheets"_s)));
        QVERIFY(book.lastError().contains(u"文件夹"));
        QVERIFY(book.open(sheetFile(u"运费表.xls"_s)));
        QVERIFY(!book.readSheet(u"Sheet1"_s));
        QVERIFY2(book.lastError().contains(u"“Sheet1”"), qPrintable(book.lastError()));
    }

    // A sheet whose DIMENSION record claims a size no Excel 97–2003 sheet can
    // have is damaged; nothing is allocated from the claim.
    void impossibleSheetSizeRefused()
    {
        QFile source(sheetFile(u"运费表.xls"_s));
        QVERIFY(source.open(QIODevice::ReadOnly));
        QByteArray bytes = source.readAll();
        const QByteArray dimension("\x00\x02\x0e\x00", 4); // record type 0x0200, 14 bytes long
        qsizetype patched = 0;
        for (qsizetype at = bytes.indexOf(dimension); at >= 0;
             at = bytes.indexOf(dimension, at + 1), ++patched)
            bytes.replace(at + 8, 4, QByteArray("\x00\x00\x10\x00", 4)); // 1,048,576 rows
        QVERIFY(patched > 0);
        QTemporaryDir dir;
        QFile out(dir.filePath(u"大.xls"_s));
        QVERIFY(out.open(QIODevice::WriteOnly));
        out.write(bytes);
        out.close();
        Workbook book;
        QVERIFY(book.open(out.fileName()));
        QVERIFY(!book.readSheet(u"运费"_s));
        QVERIFY2(book.lastError().contains(u"已损坏"), qPrintable(book.lastError()));
    }

    void damagedFilesNeverCrash_data()
    {
        QTest::addColumn<QString>("file");
        QTest::newRow("xls") << u"运费表.xls"_s;
        QTest::newRow("xls, mini stream") << u"小表.xls"_s;
        QTest::newRow("xlsx") << u"运费表.xlsx"_s;
        QTest::newRow("csv") << u"运费-gbk.csv"_s;
    }
    void damagedFilesNeverCrash()
    {
        QFETCH(QString, file);
        QFile source(sheetFile(file));
        QVERIFY(source.open(QIODevice::ReadOnly));
        const QByteArray original = source.readAll();
        QTemporaryDir dir;
        const QString path = dir.filePath(u"damaged."_s + QFileInfo(file).suffix());
        const auto write = [&](const QByteArray &bytes) {
            QFile out(path);
            QVERIFY(out.open(QIODevice::WriteOnly | QIODevice::Truncate));
            out.write(bytes);
        };

        for (qsizetype length = 0; length < original.size(); length += 3) {
            write(original.left(length));
            openAndReadAll(path);
            if (QTest::currentTestFailed())
                QFAIL(qPrintable(u"truncated to %1 bytes"_s.arg(length)));
        }
        QRandomGenerator random(20240115);
        for (int round = 0; round < 300; ++round) {
            QByteArray bytes = original;
            for (int i = random.bounded(1, 9); i > 0; --i)
                bytes[random.bounded(bytes.size())] = char(random.bounded(256));
            write(bytes);
            openAndReadAll(path);
            if (QTest::currentTestFailed())
                QFAIL(qPrintable(u"corruption round %1"_s.arg(round)));
        }
    }
};

QTEST_GUILESS_MAIN(TestImportWorkbook)
#include "tst_import_workbook.moc"
