#include "../common/testdata.h"

#include <import/workbook.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

using namespace Kuaidi;
using namespace Qt::StringLiterals;

namespace {

QString sheetFile(const QString &name)
{
    return KuaidiTest::testData(u"sheets/"_s + name);
}

const QStringList FixtureSheets{u"运费"_s, u"模板"_s, u"空表"_s, u"杂项"_s, u"引号"_s};

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
