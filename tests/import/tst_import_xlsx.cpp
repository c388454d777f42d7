#include <import/ooxmltext.h>
#include <import/workbook.h>

#include <QFile>
#include <QMap>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>

#include <zip.h>

#include <functional>

using namespace Kuaidi;
using namespace Qt::StringLiterals;

using Rows = QList<QStringList>;
using Parts = QMap<QString, QByteArray>;

namespace {

const QByteArray Main = "http://schemas.openxmlformats.org/spreadsheetml/2006/main";
const QByteArray RelType = "http://schemas.openxmlformats.org/officeDocument/2006/relationships/";

// Shared strings 0 and 1 name the fields; 2 is rich text with a phonetic
// guide; 3 holds an escaped carriage return.
const QByteArray SharedStrings = "<si><t>地区</t></si><si><t>价格</t></si>"
                                 "<si><r><t>江</t></r><r><rPr/><t>苏</t></r><rPh><t>jiangsu</t></rPh></si>"
                                 "<si><t>a_x000D_b</t></si>";
const QByteArray Header = R"(<row r="1"><c r="A1" t="s"><v>0</v></c><c r="B1" t="s"><v>1</v></c></row>)";

QByteArray relationships(const QList<QByteArrayList> &rels)
{
    QByteArray xml =
        R"(<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">)";
    for (const QByteArrayList &rel : rels)
        xml += R"(<Relationship Id=")" + rel[0] + R"(" Type=")" + RelType + rel[1] + R"(" Target=")" +
               rel[2] + "\"/>";
    return xml + "</Relationships>";
}

QByteArray workbook(const QByteArray &sheets)
{
    return R"(<workbook xmlns=")" + Main + R"(" xmlns:r=")" + RelType.chopped(1) + R"("><sheets>)" + sheets +
           "</sheets></workbook>";
}

Parts package(const QByteArray &sheetData, bool withSharedStrings = true)
{
    Parts parts;
    parts[u"xl/workbook.xml"_s] = workbook(R"(<sheet name="表" sheetId="1" r:id="rId1"/>)");
    parts[u"xl/_rels/workbook.xml.rels"_s] = relationships(
        {{"rId1", "worksheet", "worksheets/sheet1.xml"}, {"rId2", "sharedStrings", "sharedStrings.xml"}});
    parts[u"xl/worksheets/sheet1.xml"_s] =
        R"(<worksheet xmlns=")" + Main + R"("><sheetData>)" + sheetData + "</sheetData></worksheet>";
    if (withSharedStrings)
        parts[u"xl/sharedStrings.xml"_s] = R"(<sst xmlns=")" + Main + R"(">)" + SharedStrings + "</sst>";
    return parts;
}

// Two cell formats: s="0" General, as Excel's first always is, and s="1"
// showing number format @p id, whose code is @p code unless it is one of
// Excel's built-in formats.
QByteArray styles(int id, const QString &code)
{
    QByteArray formats;
    if (!code.isEmpty())
        formats = R"(<numFmts count="1"><numFmt numFmtId=")" + QByteArray::number(id) + R"(" formatCode=")" +
                  code.toHtmlEscaped().toUtf8() + R"("/></numFmts>)";
    return R"(<styleSheet xmlns=")" + Main + R"(">)" + formats +
           R"(<cellStyleXfs count="1"><xf numFmtId="0"/></cellStyleXfs><cellXfs count="2"><xf numFmtId="0"/><xf numFmtId=")" +
           QByteArray::number(id) + R"(" xfId="0"/></cellXfs></styleSheet>)";
}

bool writeZip(const QString &path, const Parts &parts, bool stored = false)
{
    int error = 0;
    zip_t *zip = zip_open(path.toUtf8().constData(), ZIP_CREATE | ZIP_TRUNCATE, &error);
    if (!zip)
        return false;
    for (auto it = parts.cbegin(); it != parts.cend(); ++it) {
        zip_source_t *source =
            zip_source_buffer(zip, it.value().constData(), zip_uint64_t(it.value().size()), 0);
        const zip_int64_t index = zip_file_add(zip, it.key().toUtf8().constData(), source, ZIP_FL_ENC_UTF_8);
        if (index < 0) {
            zip_source_free(source);
            zip_discard(zip);
            return false;
        }
        if (stored)
            zip_set_file_compression(zip, zip_uint64_t(index), ZIP_CM_STORE, 0);
    }
    return zip_close(zip) == 0;
}

// Changes a 32-bit field of every entry of the central directory.
void changeEveryEntry(QByteArray &zip, int field, const std::function<quint32(quint32)> &change)
{
    for (qsizetype at = 0; (at = zip.indexOf("PK\x01\x02", at)) >= 0; at += 4)
        qToLittleEndian(change(qFromLittleEndian<quint32>(zip.constData() + at + field)),
                        zip.data() + at + field);
}

// The same zip with every entry's sizes in a zip64 extra field, as some
// writers put them however small the parts.
void moveSizesToZip64(QByteArray &zip)
{
    const qsizetype end = zip.size() - 22; // no comment
    const auto u16 = [&zip](qsizetype at) { return qFromLittleEndian<quint16>(zip.constData() + at); };
    const auto u32 = [&zip](qsizetype at) { return qFromLittleEndian<quint32>(zip.constData() + at); };
    const qsizetype directory = u32(end + 16);
    QByteArray entries;
    for (qsizetype at = directory; at < end;) {
        const qsizetype length = 46 + u16(at + 28) + u16(at + 30) + u16(at + 32);
        QByteArray entry = zip.mid(at, length);
        QByteArray extra(20, '\0');
        qToLittleEndian<quint16>(1, extra.data());
        qToLittleEndian<quint16>(16, extra.data() + 2);
        qToLittleEndian<quint64>(u32(at + 24), extra.data() + 4);  // size
        qToLittleEndian<quint64>(u32(at + 20), extra.data() + 12); // packed size
        qToLittleEndian<quint32>(0xFFFFFFFF, entry.data() + 20);
        qToLittleEndian<quint32>(0xFFFFFFFF, entry.data() + 24);
        qToLittleEndian<quint16>(u16(at + 30) + 20, entry.data() + 30);
        entry.insert(46 + u16(at + 28) + u16(at + 30), extra);
        entries += entry;
        at += length;
    }
    QByteArray tail = zip.mid(end);
    qToLittleEndian<quint32>(quint32(entries.size()), tail.data() + 12);
    zip = zip.left(directory) + entries + tail;
}

} // namespace

class TestImportXlsx : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;

    QString write(const Parts &parts)
    {
        const QString path = m_dir.filePath(u"表.xlsx"_s);
        return writeZip(path, parts) ? path : QString();
    }

private Q_SLOTS:
    void cells_data()
    {
        QTest::addColumn<QByteArray>("rowsXml");
        QTest::addColumn<QStringList>("columns");
        QTest::addColumn<Rows>("rows");
        const QStringList two{u"地区"_s, u"价格"_s};
        QTest::newRow("numbers") << QByteArray(R"(<row r="2"><c r="A2"><v>0.30000000000000004</v></c>)"
                                               R"(<c r="B2" t="n"><v>1.25E-2</v></c></row>)")
                                 << two << Rows{{u"0.3"_s, u"0.0125"_s}};
        QTest::newRow("booleans and errors")
            << QByteArray(R"(<row r="2"><c r="A2" t="b"><v>1</v></c><c r="B2" t="e"><v>#N/A</v></c></row>)"
                          R"(<row r="3"><c r="A3" t="b"><f>1=2</f><v>0</v></c></row>)")
            << two << Rows{{u"TRUE"_s, u"#N/A"_s}, {u"FALSE"_s, QString()}};
        QTest::newRow("formula and inline text")
            << QByteArray(
                   R"(<row r="2"><c r="A2" t="str"><f>"公"&amp;"式"</f><v>公式</v></c>)"
                   R"(<c r="B2" t="inlineStr"><is><r><t>江</t></r><r><t xml:space="preserve">苏 </t></r></is></c></row>)")
            << two << Rows{{u"公式"_s, u"江苏 "_s}};
        QTest::newRow("shared rich text, escapes")
            << QByteArray(R"(<row r="2"><c r="A2" t="s"><v>2</v></c><c r="B2" t="s"><v>3</v></c></row>)")
            << two << Rows{{u"江苏"_s, u"a\rb"_s}};
        QTest::newRow("cells and rows without r")
            << QByteArray(R"(<row><c t="inlineStr"><is><t>x</t></is></c><c><v>2</v></c></row>)"
                          R"(<row><c r="B3"><v>5</v></c></row>)")
            << two << Rows{{u"x"_s, u"2"_s}, {QString(), u"5"_s}};
        QTest::newRow("rows out of order")
            << QByteArray(R"(<row r="4"><c r="A4"><v>4</v></c></row><row r="3"><c r="A3"><v>3</v></c></row>)")
            << two << Rows{{u"3"_s, QString()}, {u"4"_s, QString()}};
        QTest::newRow("formula never computed")
            << QByteArray(R"(<row r="2"><c r="A2"><f>1+1</f></c><c r="B2"><v>7</v></c></row>)") << two
            << Rows{{QString(), u"7"_s}};
        QTest::newRow("value beyond the header") << QByteArray(R"(<row r="2"><c r="D2"><v>4</v></c></row>)")
                                                 << QStringList{u"地区"_s, u"价格"_s, u"F3"_s, u"F4"_s}
                                                 << Rows{{QString(), QString(), QString(), u"4"_s}};
    }
    void cells()
    {
        QFETCH(QByteArray, rowsXml);
        QFETCH(QStringList, columns);
        QFETCH(Rows, rows);
        Workbook book;
        QVERIFY2(book.open(write(package(Header + rowsXml))), qPrintable(book.lastError()));
        const std::optional<TextTable> table = book.readSheet(u"表"_s);
        QVERIFY2(table, qPrintable(book.lastError()));
        QCOMPARE(table->columns, columns);
        QCOMPARE(table->rows, rows);
    }

    // What Excel writes for texts XML cannot hold, both ways.
    void ooxmlEscaping_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("escaped");
        QTest::newRow("plain, tab, line feed") << u"江苏\t\n_x"_s << u"江苏\t\n_x"_s;
        QTest::newRow("carriage return") << u"a\rb"_s << u"a_x000D_b"_s;
        QTest::newRow("control character") << u"\x01"_s << u"_x0001_"_s;
        QTest::newRow("U+FFFE, U+FFFF") << QString(QChar(0xFFFE)) + QChar(0xFFFF) << u"_xFFFE__xFFFF_"_s;
        QTest::newRow("lone surrogate") << QString(QChar(0xD800)) << u"_xD800_"_s;
        QTest::newRow("astral pair kept") << u"😀"_s << u"😀"_s;
        QTest::newRow("literal escape") << u"_x0041_"_s << u"_x005F_x0041_"_s;
        QTest::newRow("not hex: as it is") << u"_x00G1_"_s << u"_x00G1_"_s;
    }
    void ooxmlEscaping()
    {
        QFETCH(QString, text);
        QFETCH(QString, escaped);
        QCOMPARE(escapeOoxmlText(text), escaped);
        QCOMPARE(unescapeOoxmlText(escaped), text);
    }

    void hostileSheet_data()
    {
        QTest::addColumn<QByteArray>("rowsXml");
        QTest::addColumn<QString>("message");
        const QString damaged = u"已损坏"_s;
        QTest::newRow("shared string past the end")
            << QByteArray(R"(<row><c t="s"><v>4</v></c></row>)") << damaged;
        QTest::newRow("negative shared string")
            << QByteArray(R"(<row><c t="s"><v>-1</v></c></row>)") << damaged;
        QTest::newRow("column past XFD") << QByteArray(R"(<row><c r="XFE2"><v>1</v></c></row>)") << damaged;
        QTest::newRow("column letters overflow")
            << QByteArray(R"(<row><c r="ZZZZZZZZZZZZZZZZ2"><v>1</v></c></row>)") << damaged;
        QTest::newRow("row zero") << QByteArray(R"(<row r="0"><c><v>1</v></c></row>)") << damaged;
        QTest::newRow("row overflows")
            << QByteArray(R"(<row r="99999999999"><c><v>1</v></c></row>)") << damaged;
        QTest::newRow("cell outside a row") << QByteArray(R"(<c r="A2"><v>1</v></c>)") << damaged;
        QTest::newRow("broken xml") << QByteArray(R"(<row><c><v>1</v></row>)") << damaged;

        QByteArray farCells;
        for (int row = 2; row < 400; ++row)
            farCells += "<row><c r=\"XFD" + QByteArray::number(row) + "\"><v>1</v></c></row>";
        QTest::newRow("cells far right in every row") << farCells << u"太大"_s;
        // Few stored cells, but padding every record to the header's width would not fit.
        QByteArray wide = R"(<row><c r="XFD1"><v>1</v></c></row>)";
        for (int row = 2; row < 400; ++row)
            wide += "<row><c><v>1</v></c></row>";
        QTest::newRow("wide header, many rows") << wide << u"太大"_s;
    }
    void hostileSheet()
    {
        QFETCH(QByteArray, rowsXml);
        QFETCH(QString, message);
        Workbook book;
        QVERIFY2(book.open(write(package(Header + rowsXml))), qPrintable(book.lastError()));
        QVERIFY(!book.readSheet(u"表"_s));
        QVERIFY2(book.lastError().contains(message), qPrintable(book.lastError()));
    }

    // A number shows as a date or time by its cell's format, as .xls cells
    // do: Excel's built-in formats by id, custom ones by their codes.
    void datesByFormat_data()
    {
        QTest::addColumn<int>("formatId");
        QTest::addColumn<QString>("formatCode"); // empty: a built-in format
        QTest::addColumn<QByteArray>("cell");    // the <c> of B2
        QTest::addColumn<QString>("text");
        const QByteArray day = R"(<c r="B2" s="1"><v>39944</v></c>)"; // 2009-05-11
        const QByteArray moment = R"(<c r="B2" s="1"><v>39944.6320601852</v></c>)";
        QTest::newRow("built-in m/d/yyyy") << 14 << QString() << day << u"2009-05-11"_s;
        QTest::newRow("built-in date and time") << 22 << QString() << moment << u"2009-05-11 15:10:10"_s;
        QTest::newRow("built-in [h]:mm:ss")
            << 46 << QString() << QByteArray(R"(<c r="B2" s="1"><v>10.6320601851852</v></c>)")
            << u"255:10:10"_s;
        QTest::newRow("built-in 上午/下午 time") << 56 << QString() << moment << u"15:10:10"_s;
        QTest::newRow("locale and ;@") << 176 << u"[$-409]m/d/yy;@"_s << day << u"2009-05-11"_s;
        QTest::newRow("time ;@") << 177 << u"h:mm;@"_s << moment << u"15:10:10"_s;
        QTest::newRow("Chinese date") << 178 << u"yyyy\"年\"m\"月\"d\"日\";@"_s << day << u"2009-05-11"_s;
        QTest::newRow("上午/下午 hh時mm分ss秒")
            << 179 << u"[$-404]上午/下午 hh\"時\"mm\"分\"ss\"秒\";@"_s << moment << u"15:10:10"_s;
        QTest::newRow("number format") << 180 << u"#,##0.00"_s << day << u"39944"_s;
        QTest::newRow("text format") << 49 << QString() << day << u"39944"_s;
        QTest::newRow("ISO date text")
            << 14 << QString() << QByteArray(R"(<c r="B2" s="1" t="d"><v>2009-05-11T00:00:00</v></c>)")
            << u"2009-05-11"_s;
        QTest::newRow("no style") << 14 << QString() << QByteArray(R"(<c r="B2"><v>39944</v></c>)")
                                  << u"39944"_s;
    }
    void datesByFormat()
    {
        QFETCH(int, formatId);
        QFETCH(QString, formatCode);
        QFETCH(QByteArray, cell);
        QFETCH(QString, text);
        Parts parts = package(Header + R"(<row r="2"><c r="A2"><v>1</v></c>)" + cell + "</row>");
        parts[u"xl/_rels/workbook.xml.rels"_s] =
            relationships({{"rId1", "worksheet", "worksheets/sheet1.xml"},
                           {"rId2", "sharedStrings", "sharedStrings.xml"},
                           {"rId3", "styles", "styles.xml"}});
        parts[u"xl/styles.xml"_s] = styles(formatId, formatCode);
        Workbook book;
        QVERIFY2(book.open(write(parts)), qPrintable(book.lastError()));
        const std::optional<TextTable> table = book.readSheet(u"表"_s);
        QVERIFY2(table, qPrintable(book.lastError()));
        QCOMPARE(table->rows, (Rows{{u"1"_s, text}}));
    }

    // An .ods is the flat .fods's content zipped: both read as the .xlsx
    // LibreOffice saved from the same sheets.
    void openDocumentAsExcel_data()
    {
        QTest::addColumn<QString>("sheet");
        for (const QString &sheet : {u"运费"_s, u"模板"_s, u"空表"_s, u"杂项"_s, u"引号"_s})
            QTest::newRow(qPrintable(sheet)) << sheet;
    }
    void openDocumentAsExcel()
    {
        QFETCH(QString, sheet);
        QFile flat(QStringLiteral(KUAIDI_TEST_DATA "/sheets/运费表.fods"));
        QVERIFY(flat.open(QIODevice::ReadOnly));
        Parts parts;
        parts[u"mimetype"_s] = "application/vnd.oasis.opendocument.spreadsheet";
        parts[u"content.xml"_s] = flat.readAll();
        const QString ods = m_dir.filePath(u"运费表.ods"_s);
        QVERIFY(writeZip(ods, parts));

        Workbook excel;
        QVERIFY(excel.open(QStringLiteral(KUAIDI_TEST_DATA "/sheets/运费表.xlsx")));
        std::optional<TextTable> expected = excel.readSheet(sheet);
        QVERIFY(expected);
        // A boolean the .xlsx keeps as the number 0 with a TRUE/FALSE format.
        if (sheet == u"杂项")
            expected->rows[2][4] = u"FALSE"_s;
        for (const QString &path : {ods, flat.fileName()}) {
            Workbook book;
            QVERIFY2(book.open(path), qPrintable(book.lastError()));
            QCOMPARE(book.sheetNames(), excel.sheetNames());
            const std::optional<TextTable> table = book.readSheet(sheet);
            QVERIFY2(table, qPrintable(book.lastError()));
            QCOMPARE(table->columns, expected->columns);
            QCOMPARE(table->rows, expected->rows);
            QCOMPARE(table->sourceRows, expected->sourceRows);
        }
    }

    // The zip container itself: what other programs write is read; a part
    // that does not inflate to what the directory says is damage.
    void zipContainer_data()
    {
        QTest::addColumn<bool>("stored");
        QTest::addColumn<std::function<void(QByteArray &)>>("change");
        QTest::addColumn<bool>("readable");
        using Change = std::function<void(QByteArray &)>;
        QTest::newRow("deflated") << false << Change([](QByteArray &) {}) << true;
        QTest::newRow("stored") << true << Change([](QByteArray &) {}) << true;
        QTest::newRow("sizes in zip64 fields") << false << Change(moveSizesToZip64) << true;
        QTest::newRow("zip64 sizes said smaller") << false << Change([](QByteArray &zip) {
            moveSizesToZip64(zip);
            for (qsizetype at = 0; (at = zip.indexOf("\x01\x00\x10\x00", at)) >= 0; at += 4)
                zip[at + 4] = char(uchar(zip.at(at + 4)) / 2);
        }) << false;
        QTest::newRow("a comment and stray bytes after the end") << false << Change([](QByteArray &zip) {
            zip[zip.size() - 2] = 5; // the comment's length
            zip += "notesXY";
        }) << true;
        QTest::newRow("checksums wrong") << false << Change([](QByteArray &zip) {
            changeEveryEntry(zip, 16, [](quint32 crc) { return ~crc; });
        }) << false;
        QTest::newRow("sizes said smaller") << false << Change([](QByteArray &zip) {
            changeEveryEntry(zip, 24, [](quint32 size) { return size / 2; });
        }) << false;
        QTest::newRow("stored, sizes said larger") << true << Change([](QByteArray &zip) {
            changeEveryEntry(zip, 24, [](quint32 size) { return size + 1; });
        }) << false;
        QTest::newRow("encrypted") << false << Change([](QByteArray &zip) {
            changeEveryEntry(zip, 8, [](quint32 flags) { return flags | 1; });
        }) << false;
        QTest::newRow("cut short") << false << Change([](QByteArray &zip) { zip.chop(zip.size() / 2); })
                                   << false;
        QTest::newRow("no zip at all") << false << Change([](QByteArray &zip) { zip.fill('P'); }) << false;
    }
    void zipContainer()
    {
        QFETCH(bool, stored);
        QFETCH(std::function<void(QByteArray &)>, change);
        QFETCH(bool, readable);
        const QString path = m_dir.filePath(u"包.xlsx"_s);
        QVERIFY(writeZip(path, package(Header + R"(<row><c><v>1</v></c></row>)"), stored));
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadWrite));
        QByteArray zip = file.readAll();
        change(zip);
        file.resize(0);
        file.write(zip);
        file.close();
        Workbook book;
        const bool read = book.open(path) && book.readSheet(u"表"_s).has_value();
        QCOMPARE(read, readable);
        if (!read)
            QVERIFY2(book.lastError().contains(u"已损坏"), qPrintable(book.lastError()));
    }

    // Where the parts live is up to the package's relationships.
    void packageLayout_data()
    {
        QTest::addColumn<Parts>("parts");
        QTest::addColumn<QStringList>("sheets"); // empty: open() must fail
        QTest::addColumn<bool>("readable");
        const QByteArray data = Header + R"(<row><c><v>1</v></c></row>)";

        Parts absolute = package(data);
        absolute[u"xl/_rels/workbook.xml.rels"_s] =
            relationships({{"rId1", "worksheet", "/xl/worksheets/sheet1.xml"},
                           {"rId2", "sharedStrings", "/xl/sharedStrings.xml"}});
        QTest::newRow("absolute targets") << absolute << QStringList{u"表"_s} << true;

        Parts moved = package(data);
        moved[u"_rels/.rels"_s] = relationships({{"rId1", "officeDocument", "book/main.xml"}});
        moved[u"book/main.xml"_s] = moved.take(u"xl/workbook.xml"_s);
        moved[u"book/_rels/main.xml.rels"_s] =
            relationships({{"rId1", "worksheet", "../xl/worksheets/sheet1.xml"},
                           {"rId2", "sharedStrings", "../xl/sharedStrings.xml"}});
        moved.remove(u"xl/_rels/workbook.xml.rels"_s);
        QTest::newRow("workbook found through package relationships")
            << moved << QStringList{u"表"_s} << true;

        Parts chart = package(data);
        chart[u"xl/workbook.xml"_s] = workbook(R"(<sheet name="图" sheetId="2" r:id="rId3"/>)"
                                               R"(<sheet name="表" sheetId="1" r:id="rId1"/>)");
        chart[u"xl/_rels/workbook.xml.rels"_s] =
            relationships({{"rId1", "worksheet", "worksheets/sheet1.xml"},
                           {"rId2", "sharedStrings", "sharedStrings.xml"},
                           {"rId3", "chartsheet", "chartsheets/sheet1.xml"}});
        QTest::newRow("chart sheet left out") << chart << QStringList{u"表"_s} << true;

        QTest::newRow("no shared strings")
            << package(R"(<row><c t="inlineStr"><is><t>地区</t></is></c></row>)", false)
            << QStringList{u"表"_s} << true;

        // Some programs write the entries' folders with backslashes.
        Parts backslashes;
        for (auto it = absolute.cbegin(); it != absolute.cend(); ++it)
            backslashes[QString(it.key()).replace(u'/', QChar(0x5C))] = it.value();
        QTest::newRow("backslashes in entry names") << backslashes << QStringList{u"表"_s} << true;

        Parts escape = package(data);
        escape[u"xl/_rels/workbook.xml.rels"_s] = relationships({{"rId1", "worksheet", "../../sheet1.xml"}});
        QTest::newRow("target outside the package") << escape << QStringList() << false;

        Parts noSheet = package(data);
        noSheet.remove(u"xl/worksheets/sheet1.xml"_s);
        QTest::newRow("worksheet part missing") << noSheet << QStringList{u"表"_s} << false;

        Parts dangling = package(data);
        dangling[u"xl/workbook.xml"_s] = workbook(R"(<sheet name="表" sheetId="1" r:id="rId9"/>)");
        QTest::newRow("sheet without relationship") << dangling << QStringList() << false;
    }
    void packageLayout()
    {
        QFETCH(Parts, parts);
        QFETCH(QStringList, sheets);
        QFETCH(bool, readable);
        Workbook book;
        if (sheets.isEmpty()) {
            QVERIFY(!book.open(write(parts)));
            QVERIFY2(book.lastError().contains(u"已损坏"), qPrintable(book.lastError()));
            return;
        }
        QVERIFY2(book.open(write(parts)), qPrintable(book.lastError()));
        QCOMPARE(book.sheetNames(), sheets);
        const std::optional<TextTable> table = book.readSheet(sheets.first());
        QCOMPARE(bool(table), readable);
        if (table)
            QCOMPARE(table->columns.first(), u"地区"_s);
        else
            QVERIFY(!book.lastError().isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestImportXlsx)
#include "tst_import_xlsx.moc"
