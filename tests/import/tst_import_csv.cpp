#include <import/csvreader.h>
#include <import/workbook.h>

#include <QFile>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <QTest>

using namespace Kuaidi;
using namespace Qt::StringLiterals;

using Rows = QList<QStringList>;

namespace {

// Writes @p bytes to a file in @p dir and reads its only sheet.
std::optional<TextTable> importBytes(const QTemporaryDir &dir, const QByteArray &bytes,
                                     QString *error = nullptr)
{
    const QString path = dir.filePath(u"表.csv"_s);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return std::nullopt;
    file.write(bytes);
    file.close();
    Workbook book;
    if (!book.open(path) || book.sheetNames() != QStringList{u"表"_s}) {
        if (error)
            *error = book.lastError();
        return std::nullopt;
    }
    return book.readSheet(u"表"_s);
}

} // namespace

class TestImportCsv : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // Rows, and the line of the file each starts on.
    void parse_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<Rows>("rows");
        QTest::addColumn<QList<int>>("lines");
        QTest::newRow("lf") << u"a,b\nc,d\n"_s << Rows{{u"a"_s, u"b"_s}, {u"c"_s, u"d"_s}}
                            << QList<int>{1, 2};
        QTest::newRow("crlf, no final line end")
            << u"a,b\r\nc,d"_s << Rows{{u"a"_s, u"b"_s}, {u"c"_s, u"d"_s}} << QList<int>{1, 2};
        QTest::newRow("lone cr") << u"a\rb"_s << Rows{{u"a"_s}, {u"b"_s}} << QList<int>{1, 2};
        QTest::newRow("empty cells") << u",x,\n"_s << Rows{{QString(), u"x"_s, QString()}} << QList<int>{1};
        QTest::newRow("empty lines dropped, still counted")
            << u"a\n\n\r\nb"_s << Rows{{u"a"_s}, {u"b"_s}} << QList<int>{1, 4};
        QTest::newRow("comma in quotes")
            << u"\"江苏,南京\",1"_s << Rows{{u"江苏,南京"_s, u"1"_s}} << QList<int>{1};
        QTest::newRow("doubled quote") << u"\"他说\"\"好\"\"\""_s << Rows{{u"他说\"好\""_s}} << QList<int>{1};
        QTest::newRow("line break in quotes")
            << u"\"a\r\nb\",c\nd"_s << Rows{{u"a\r\nb"_s, u"c"_s}, {u"d"_s}} << QList<int>{1, 3};
        QTest::newRow("lines inside quotes counted")
            << u"h\n\"1\n2\n3\"\n\nx"_s << Rows{{u"h"_s}, {u"1\n2\n3"_s}, {u"x"_s}} << QList<int>{1, 2, 6};
        QTest::newRow("quoted empty") << u"\"\",x"_s << Rows{{QString(), u"x"_s}} << QList<int>{1};
        QTest::newRow("quote inside plain text")
            << u"5\"寸,x"_s << Rows{{u"5\"寸"_s, u"x"_s}} << QList<int>{1};
        QTest::newRow("text after closing quote")
            << u"\"a\"b,c"_s << Rows{{u"ab"_s, u"c"_s}} << QList<int>{1};
        QTest::newRow("unterminated quote")
            << u"a,\"b,c\nd"_s << Rows{{u"a"_s, u"b,c\nd"_s}} << QList<int>{1};
        QTest::newRow("blanks kept") << u" a , b "_s << Rows{{u" a "_s, u" b "_s}} << QList<int>{1};
    }
    void parse()
    {
        QFETCH(QString, text);
        QFETCH(Rows, rows);
        QFETCH(QList<int>, lines);
        Rows cells;
        QList<int> numbers;
        for (const SheetRow &row : CsvReader::parse(text)) {
            cells.append(row.cells);
            numbers.append(row.number);
        }
        QCOMPARE(cells, rows);
        QCOMPARE(numbers, lines);
    }

    // The rules that turn rows into fields and records, which every format shares.
    void table_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("columns");
        QTest::addColumn<Rows>("rows");
        QTest::addColumn<QList<int>>("sourceRows"); // the titles' line, then each record's
        QTest::newRow("names trimmed, cells not")
            << u" 地区 ,价格\n 北京 , 8 "_s << QStringList{u"地区"_s, u"价格"_s}
            << Rows{{u" 北京 "_s, u" 8 "_s}} << QList<int>{1, 2};
        QTest::newRow("nameless column with data") << u"a,,c\n1,2,3"_s << QStringList{u"a"_s, u"F2"_s, u"c"_s}
                                                   << Rows{{u"1"_s, u"2"_s, u"3"_s}} << QList<int>{1, 2};
        QTest::newRow("data right of the header") << u"a\n1,,3"_s << QStringList{u"a"_s, u"F2"_s, u"F3"_s}
                                                  << Rows{{u"1"_s, QString(), u"3"_s}} << QList<int>{1, 2};
        QTest::newRow("unused columns dropped") << u"a,b,, ,\n1,,,\n"_s << QStringList{u"a"_s, u"b"_s}
                                                << Rows{{u"1"_s, QString()}} << QList<int>{1, 2};
        QTest::newRow("blank rows skipped, their lines counted")
            << u"a,b\n,\n1,2\n  ,\t\n3,4"_s << QStringList{u"a"_s, u"b"_s}
            << Rows{{u"1"_s, u"2"_s}, {u"3"_s, u"4"_s}} << QList<int>{1, 3, 5};
        QTest::newRow("blank rows above the header")
            << u",\n\na\n1"_s << QStringList{u"a"_s} << Rows{{u"1"_s}} << QList<int>{3, 4};
        QTest::newRow("duplicate names kept") << u"价格,价格\n1,2"_s << QStringList{u"价格"_s, u"价格"_s}
                                              << Rows{{u"1"_s, u"2"_s}} << QList<int>{1, 2};
        QTest::newRow("short row padded") << u"a,b,c\n1"_s << QStringList{u"a"_s, u"b"_s, u"c"_s}
                                          << Rows{{u"1"_s, QString(), QString()}} << QList<int>{1, 2};
        QTest::newRow("header only") << u"a,b\r\n"_s << QStringList{u"a"_s, u"b"_s} << Rows{}
                                     << QList<int>{1};
        QTest::newRow("nothing but separators") << u",,\n,\n"_s << QStringList{} << Rows{} << QList<int>{};
    }
    void table()
    {
        QFETCH(QString, text);
        QFETCH(QStringList, columns);
        QFETCH(Rows, rows);
        QFETCH(QList<int>, sourceRows);
        QTemporaryDir dir;
        QString error;
        const std::optional<TextTable> table = importBytes(dir, text.toUtf8(), &error);
        QVERIFY2(table, qPrintable(error));
        QCOMPARE(table->columns, columns);
        QCOMPARE(table->rows, rows);
        QCOMPARE(table->sourceRows, sourceRows);
    }

    // The encoding is decided on the whole file: a damaged byte in a UTF-8
    // file is read as U+FFFD with a warning naming its line, not taken as a
    // reason to read the whole file as GBK.
    void encoding_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("region");
        QTest::addColumn<QString>("warning");
        const QString region = u"江苏南京"_s;
        const QByteArray text = u"地区\n"_s.toUtf8();
        QTest::newRow("utf-8") << text + region.toUtf8() << region << QString();
        QTest::newRow("utf-8 bom") << "\xEF\xBB\xBF" + text + region.toUtf8() << region << QString();
        // Written out, not encoded here: a Qt without ICU (Windows) has no GBK.
        QTest::newRow("gbk") << QByteArray("\xB5\xD8\xC7\xF8\n\xBD\xAD\xCB\xD5\xC4\xCF\xBE\xA9") << region
                             << QString();
        QTest::newRow("gb18030, four-byte character")
            << QByteArray("\xB5\xD8\xC7\xF8\n\x95\x34\xB2\x35") << u"𠮷"_s << QString();
        QTest::newRow("utf-16 bom") << QByteArray(QStringEncoder(QStringEncoder::Utf16LE,
                                                                 QStringEncoder::Flag::WriteBom)
                                                      .encode(u"地区\n"_s + region))
                                    << region << QString();
        // A file cut short mid-character must not be mistaken for GBK.
        QTest::newRow("utf-8 cut mid-character")
            << text + region.toUtf8() + "\n\xE5\x8C" << region << QString();
        QByteArray damaged = text + region.toUtf8();
        for (int line = 3; line <= 8; ++line)
            damaged += "\n" + u"广东广州"_s.toUtf8() + (line == 8 ? QByteArray("\xFF") : QByteArray());
        QTest::newRow("utf-8, one byte damaged on line 8")
            << damaged << region << u"第 8 行有不是 UTF-8 文字的字节"_s;
    }
    void encoding()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, region);
        QFETCH(QString, warning);
        QTemporaryDir dir;
        const QString path = dir.filePath(u"表.csv"_s);
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(bytes);
        file.close();
        Workbook book;
        QVERIFY(book.open(path));
        const std::optional<TextTable> table = book.readSheet(u"表"_s);
        QVERIFY(table);
        QCOMPARE(table->columns, QStringList{u"地区"_s});
        QVERIFY(!table->rows.isEmpty());
        QCOMPARE(table->rows.first(), QStringList{region});
        QCOMPARE(book.warnings().join(u'\n').contains(warning), true);
        QCOMPARE(book.warnings().isEmpty(), warning.isEmpty());
        if (!warning.isEmpty())
            QCOMPARE(table->rows.last(), QStringList{u"广东广州\uFFFD"_s});
    }

    // A seller who knows the encoding better than the bytes tell says so.
    void encoding_chosen()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(u"表.csv"_s);
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("\xA6\x61\xB0\xCF\n\xBB\x4F\xA5\x5F"); // 地區, 臺北 in Big5
        file.close();
        Workbook book;
        book.setEncoding(u"big5"_s);
        QVERIFY(book.open(path));
        const std::optional<TextTable> table = book.readSheet(u"表"_s);
        QVERIFY(table);
        QCOMPARE(table->rows, Rows{{u"臺北"_s}});
        book.setEncoding(u"no-such-encoding"_s);
        QVERIFY(!book.open(path));
        QVERIFY2(book.lastError().contains(u"不认识的文字编码"_s), qPrintable(book.lastError()));
    }
};

QTEST_GUILESS_MAIN(TestImportCsv)
#include "tst_import_csv.moc"
