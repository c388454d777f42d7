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
    void parse_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<Rows>("rows");
        QTest::newRow("lf") << u"a,b\nc,d\n"_s << Rows{{u"a"_s, u"b"_s}, {u"c"_s, u"d"_s}};
        QTest::newRow("crlf, no final line end")
            << u"a,b\r\nc,d"_s << Rows{{u"a"_s, u"b"_s}, {u"c"_s, u"d"_s}};
        QTest::newRow("lone cr") << u"a\rb"_s << Rows{{u"a"_s}, {u"b"_s}};
        QTest::newRow("empty cells") << u",x,\n"_s << Rows{{QString(), u"x"_s, QString()}};
        QTest::newRow("empty lines dropped") << u"a\n\n\r\nb"_s << Rows{{u"a"_s}, {u"b"_s}};
        QTest::newRow("comma in quotes") << u"\"江苏,南京\",1"_s << Rows{{u"江苏,南京"_s, u"1"_s}};
        QTest::newRow("doubled quote") << u"\"他说\"\"好\"\"\""_s << Rows{{u"他说\"好\""_s}};
        QTest::newRow("line break in quotes") << u"\"a\r\nb\",c"_s << Rows{{u"a\r\nb"_s, u"c"_s}};
        QTest::newRow("quoted empty") << u"\"\",x"_s << Rows{{QString(), u"x"_s}};
        QTest::newRow("quote inside plain text") << u"5\"寸,x"_s << Rows{{u"5\"寸"_s, u"x"_s}};
        QTest::newRow("text after closing quote") << u"\"a\"b,c"_s << Rows{{u"ab"_s, u"c"_s}};
        QTest::newRow("unterminated quote") << u"a,\"b,c\nd"_s << Rows{{u"a"_s, u"b,c\nd"_s}};
        QTest::newRow("blanks kept") << u" a , b "_s << Rows{{u" a "_s, u" b "_s}};
    }
    void parse()
    {
        QFETCH(QString, text);
        QFETCH(Rows, rows);
        QCOMPARE(CsvReader::parse(text), rows);
    }

    // The rules that turn rows into fields and records, which every format shares.
    void table_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("columns");
        QTest::addColumn<Rows>("rows");
        QTest::newRow("names trimmed, cells not")
            << u" 地区 ,价格\n 北京 , 8 "_s << QStringList{u"地区"_s, u"价格"_s}
            << Rows{{u" 北京 "_s, u" 8 "_s}};
        QTest::newRow("nameless column with data")
            << u"a,,c\n1,2,3"_s << QStringList{u"a"_s, u"F2"_s, u"c"_s} << Rows{{u"1"_s, u"2"_s, u"3"_s}};
        QTest::newRow("data right of the header")
            << u"a\n1,,3"_s << QStringList{u"a"_s, u"F2"_s, u"F3"_s} << Rows{{u"1"_s, QString(), u"3"_s}};
        QTest::newRow("unused columns dropped")
            << u"a,b,, ,\n1,,,\n"_s << QStringList{u"a"_s, u"b"_s} << Rows{{u"1"_s, QString()}};
        QTest::newRow("blank rows skipped") << u"a,b\n,\n1,2\n  ,\t\n3,4"_s << QStringList{u"a"_s, u"b"_s}
                                            << Rows{{u"1"_s, u"2"_s}, {u"3"_s, u"4"_s}};
        QTest::newRow("blank rows above the header")
            << u",\n\na\n1"_s << QStringList{u"a"_s} << Rows{{u"1"_s}};
        QTest::newRow("duplicate names kept")
            << u"价格,价格\n1,2"_s << QStringList{u"价格"_s, u"价格"_s} << Rows{{u"1"_s, u"2"_s}};
        QTest::newRow("short row padded")
            << u"a,b,c\n1"_s << QStringList{u"a"_s, u"b"_s, u"c"_s} << Rows{{u"1"_s, QString(), QString()}};
        QTest::newRow("header only") << u"a,b\r\n"_s << QStringList{u"a"_s, u"b"_s} << Rows{};
        QTest::newRow("nothing but separators") << u",,\n,\n"_s << QStringList{} << Rows{};
    }
    void table()
    {
        QFETCH(QString, text);
        QFETCH(QStringList, columns);
        QFETCH(Rows, rows);
        QTemporaryDir dir;
        QString error;
        const std::optional<TextTable> table = importBytes(dir, text.toUtf8(), &error);
        QVERIFY2(table, qPrintable(error));
        QCOMPARE(table->columns, columns);
        QCOMPARE(table->rows, rows);
    }

    void encoding_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("region");
        const QString region = u"江苏南京"_s;
        const QByteArray text = u"地区\n"_s.toUtf8();
        QTest::newRow("utf-8") << text + region.toUtf8() << region;
        QTest::newRow("utf-8 bom") << "\xEF\xBB\xBF" + text + region.toUtf8() << region;
        // Written out, not encoded here: a Qt without ICU (Windows) has no GBK.
        QTest::newRow("gbk") << QByteArray("\xB5\xD8\xC7\xF8\n\xBD\xAD\xCB\xD5\xC4\xCF\xBE\xA9") << region;
        QTest::newRow("utf-16 bom") << QByteArray(QStringEncoder(QStringEncoder::Utf16LE,
                                                                 QStringEncoder::Flag::WriteBom)
                                                      .encode(u"地区\n"_s + region))
                                    << region;
        // A file cut short mid-character must not be mistaken for GBK.
        QTest::newRow("utf-8 cut mid-character") << text + region.toUtf8() + "\n\xE5\x8C" << region;
    }
    void encoding()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, region);
        QTemporaryDir dir;
        const std::optional<TextTable> table = importBytes(dir, bytes);
        QVERIFY(table);
        QCOMPARE(table->columns, QStringList{u"地区"_s});
        QVERIFY(!table->rows.isEmpty());
        QCOMPARE(table->rows.first(), QStringList{region});
    }
};

QTEST_GUILESS_MAIN(TestImportCsv)
#include "tst_import_csv.moc"
