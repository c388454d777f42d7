#include "../common/testdata.h"

#include <import/accessreader.h>
#include <import/workbook.h>

#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTest>

#include <sys/resource.h>

using namespace Kuaidi;
using namespace Qt::StringLiterals;

// Real Access databases, read through the kuaidi-access helper, against what
// two independent readers read from them (tests/data/access/expected.json).

namespace {

QString accessFile(const QString &name)
{
    return KuaidiTest::testData(u"access/"_s + name);
}

QJsonObject expectedFiles()
{
    QFile file(accessFile(u"expected.json"_s));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QJsonDocument::fromJson(file.readAll()).object().value("files"_L1).toObject();
}

QByteArray fileBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The largest resident size of any process this test has waited for, the
// helpers included, in MB.
long largestChildMegabytes()
{
    rusage usage{};
    getrusage(RUSAGE_CHILDREN, &usage);
    return usage.ru_maxrss / 1024;
}

} // namespace

class TestImportAccess : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        if (!AccessReader::available())
            QSKIP("built without libmdb: Access databases are not read");
        QVERIFY(!expectedFiles().isEmpty());
    }

    // Tables, columns, row counts and the text of every text and memo cell.
    void samplesReadAsExpected_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QJsonObject>("expected");
        const QJsonObject files = expectedFiles();
        for (auto it = files.begin(); it != files.end(); ++it) {
            if (it.value().toObject().value("opens"_L1).toObject().value("libmdb"_L1).toBool())
                QTest::newRow(qPrintable(it.key())) << it.key() << it.value().toObject();
        }
    }
    void samplesReadAsExpected()
    {
        QFETCH(QString, file);
        QFETCH(QJsonObject, expected);
        Workbook book;
        QVERIFY2(book.open(accessFile(file)), qPrintable(book.lastError()));
        const QJsonArray tables = expected.value("tables"_L1).toArray();
        QStringList names;
        for (const QJsonValue &table : tables)
            names << table.toObject().value("name"_L1).toString();
        QCOMPARE(book.sheetNames(), names);

        for (const QJsonValue &value : tables) {
            const QJsonObject table = value.toObject();
            const QString name = table.value("name"_L1).toString();
            const std::optional<TextTable> sheet = book.readSheet(name);
            QVERIFY2(sheet, qPrintable(name + u": "_s + book.lastError()));
            QStringList columns;
            for (const QJsonValue &column : table.value("columns"_L1).toArray())
                columns << column.toObject().value("name"_L1).toString();
            QCOMPARE(sheet->columns, columns);
            QCOMPARE(sheet->rows.size(), table.value("row_count"_L1).toInteger());
            // Field names first, then every record by its place, blank or not.
            QCOMPARE(sheet->sourceRows.size(), sheet->rows.size() + 1);
            for (qsizetype r = 0; r < sheet->sourceRows.size(); ++r)
                QCOMPARE(sheet->sourceRows.at(r), int(r + 1));

            QList<qsizetype> textColumns;
            for (const QJsonValue &column : table.value("text_columns"_L1).toArray())
                textColumns << columns.indexOf(column.toString());
            const QJsonArray rows = table.value("rows"_L1).toArray();
            QCOMPARE(rows.size(), sheet->rows.size());
            for (qsizetype r = 0; r < rows.size(); ++r) {
                const QJsonArray cells = rows.at(r).toArray();
                for (qsizetype i = 0; i < textColumns.size(); ++i) {
                    // libmdb reads NULL and "" alike.
                    const QString want = cells.at(i).isNull() ? QString() : cells.at(i).toString();
                    QCOMPARE(sheet->rows.at(r).at(textColumns.at(i)), want);
                }
            }
        }
    }

    void encryptedDatabaseRefused()
    {
        Workbook book;
        QVERIFY(!book.open(accessFile(u"mdbreader_office-agile-4.4-first-pages.accdb"_s)));
        QVERIFY2(book.lastError().contains(u"密码"_s), qPrintable(book.lastError()));
    }

    // Access 97 files do not say how their texts are encoded: GBK unless the
    // seller names another; bytes the chosen code page leaves undefined read
    // as U+FFFD.
    void accessNinetySevenEncoding_data()
    {
        QTest::addColumn<QString>("encoding");
        QTest::addColumn<QString>("text");
        QTest::newRow("GBK by default") << QString() << u"GBK编码"_s;
        QTest::newRow("windows-1252 chosen") << u"windows-1252"_s << u"GBK±àÂë"_s;
        QTest::newRow("undefined bytes") << u"ISO-8859-8"_s << u"GBK±\u05D0\uFFFD\u05DB"_s;
    }
    void accessNinetySevenEncoding()
    {
        QFETCH(QString, encoding);
        QFETCH(QString, text);
        Workbook book;
        book.setEncoding(encoding);
        QVERIFY2(book.open(accessFile(u"ucanaccess_charsetGBK.mdb"_s)), qPrintable(book.lastError()));
        const std::optional<TextTable> sheet = book.readSheet(u"table1"_s);
        QVERIFY(sheet);
        QCOMPARE(sheet->rows.value(0).value(1), text);
    }

    // A copy cut inside a page (libmdb then allocates without end) or at a
    // page boundary (it would list fewer tables) is refused as damaged,
    // within seconds and a few hundred MB.
    void cutCopiesRefused_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<qsizetype>("length");
        const QJsonObject files = expectedFiles();
        for (auto it = files.begin(); it != files.end(); ++it) {
            const QString format = it.value().toObject().value("format"_L1).toString();
            const qsizetype size = QFileInfo(accessFile(it.key())).size();
            if (format == u"JET3" ||
                !it.value().toObject().value("opens"_L1).toObject().value("libmdb"_L1).toBool())
                continue;
            const qsizetype insidePage = qMin<qsizetype>(61 * 4096 + 2048, size - 2048);
            QTest::newRow(qPrintable(it.key() + u", inside a page"_s)) << it.key() << insidePage;
            QTest::newRow(qPrintable(it.key() + u", at a page boundary"_s))
                << it.key() << (size / 2 / 4096) * 4096;
        }
    }
    void cutCopiesRefused()
    {
        QFETCH(QString, file);
        QFETCH(qsizetype, length);
        QTemporaryDir dir;
        const QString path = dir.filePath(u"cut.mdb"_s);
        QFile cut(path);
        QVERIFY(cut.open(QIODevice::WriteOnly));
        cut.write(fileBytes(accessFile(file)).left(length));
        cut.close();

        QElapsedTimer timer;
        timer.start();
        Workbook book;
        bool refused = !book.open(path);
        for (const QString &sheet : book.sheetNames())
            refused = !book.readSheet(sheet) || refused;
        QVERIFY(refused);
        QVERIFY2(book.lastError().contains(u"已损坏"_s), qPrintable(book.lastError()));
        QVERIFY2(timer.elapsed() < 5000, qPrintable(QString::number(timer.elapsed())));
        QVERIFY2(largestChildMegabytes() < 400, qPrintable(QString::number(largestChildMegabytes())));
    }

    // Frames out of their order are damage, whatever the helper did: a
    // table name among a table's rows once made the reader write a cell
    // through a row the list had moved.
    void helperOutputOutOfOrderIsDamage_data()
    {
        QTest::addColumn<QByteArray>("output");
        const auto frame = [](char tag, const QByteArray &body) {
            QByteArray bytes(1, tag);
            bytes += char(body.size()) + QByteArray(3, '\0') + body;
            return bytes;
        };
        const QByteArray head = frame('J', "4") + frame('C', "\x0A"
                                                             "a");
        const QByteArray done = frame('Z', {});
        QTest::newRow("table name among rows") << head + frame('R', {}) + frame('V', "x") + frame('T', "t") +
                                                      frame('T', "u") + frame('T', "v") + frame('V', "y") +
                                                      done;
        QTest::newRow("column after rows") << head + frame('R', {}) +
                                                  frame('C', "\x0A"
                                                             "b") +
                                                  done;
        QTest::newRow("value before any row") << head + frame('V', "x") + done;
        QTest::newRow("more values than columns")
            << head + frame('R', {}) + frame('V', "x") + frame('V', "y") + done;
        QTest::newRow("row without columns") << frame('J', "4") + frame('R', {}) + done;
        QTest::newRow("bytes after the end") << head + done + "x";
    }
    void helperOutputOutOfOrderIsDamage()
    {
        QFETCH(QByteArray, output);
        const AccessReader::Result result = AccessReader::parseOutput(output, u"GBK"_s);
        QVERIFY2(result.error.contains(u"已损坏"_s), qPrintable(result.error));
        QVERIFY(result.rows.isEmpty());
    }

    // What the helper writes, cut off anywhere (a helper killed mid-write),
    // is a damaged file; whole, it is the table.
    void helperOutputCutAnywhereIsDamage()
    {
        const QByteArray output = fileBytes(accessFile(u"frames/read-jet4"_s));
        QVERIFY(!output.isEmpty());
        const AccessReader::Result whole = AccessReader::parseOutput(output, u"GBK"_s);
        QVERIFY2(whole.error.isEmpty(), qPrintable(whole.error));
        QCOMPARE(whole.rows.size(), 9);
        QCOMPARE(whole.rows.at(0).cells, (QStringList{u"ID"_s, u"Unicode"_s}));
        QCOMPARE(whole.rows.at(5).cells, (QStringList{u"5"_s, u"漢字仮名交じり文"_s}));
        for (qsizetype length = 0; length < output.size(); ++length) {
            const AccessReader::Result cut = AccessReader::parseOutput(output.left(length), u"GBK"_s);
            QVERIFY2(cut.error.contains(u"已损坏"_s), qPrintable(QString::number(length)));
            QVERIFY(cut.rows.isEmpty());
        }
    }
};

QTEST_GUILESS_MAIN(TestImportAccess)
#include "tst_import_access.moc"
