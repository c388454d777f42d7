// Couriers' price sheets as sellers get them (a title row, units in the
// headings, GBK text or an .xlsx workbook) made into templates and quoted at
// weights on and around every limit they name.

#include "../common/clirun.h"
#include "../common/testdata.h"

#include <batch/tablefile.h>
#include <cli/cli.h>
#include <import/workbook.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QTextStream>

using namespace Kuaidi;
using namespace KuaidiTest;
using namespace Qt::StringLiterals;

namespace {

CliRun run(const QStringList &arguments)
{
    return runCliCommand(arguments);
}

// Each sheet, with the rules a seller sets for it beyond what its headings
// say.
struct Courier
{
    QString name;
    QStringList rules;
};

const QList<Courier> &couriers()
{
    static const QList<Courier> all{
        {u"电商快递"_s, {u"--rounding"_s, u"1"_s}},
        {u"分段快递"_s, {u"--rounding"_s, u"1"_s, u"--max-weight"_s, u"100"_s}},
        {u"特快分区"_s, {u"--rounding"_s, u"1"_s, u"--band-mode"_s, u"超出部分"_s}},
        {u"邮政包裹"_s, {u"--band-mode"_s, u"超出部分"_s}},
        {u"物流专线"_s, {u"--max-weight"_s, u"5000"_s}},
    };
    return all;
}

} // namespace

class TestPriceSheets : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;

    // A database holding every courier made from its sheet in @p format.
    QString databaseOf(const QString &format)
    {
        const QString path = m_dir.filePath(format + u".db"_s);
        if (QFileInfo::exists(path))
            return path;
        for (const Courier &courier : couriers()) {
            QString sheet = testData(u"couriers/%1.csv"_s.arg(courier.name));
            if (format == u"xlsx") {
                // The same rows in a workbook: the title row stays the first.
                Workbook workbook;
                if (!workbook.open(sheet))
                    return {};
                const std::optional<TextTable> table = workbook.readSheet(workbook.sheetNames().first());
                sheet = m_dir.filePath(courier.name + u".xlsx"_s);
                if (!table || !writeTableFile(sheet, {{courier.name, *table, {}}}).isEmpty())
                    return {};
            }
            const CliRun created = run({u"--db"_s, path, u"create"_s, courier.name, sheet});
            if (created.status != CliOk)
                qWarning() << created.err;
            if (run(QStringList{u"--db"_s, path, u"rules"_s, courier.name} + courier.rules).status != CliOk)
                return {};
        }
        return path;
    }

private Q_SLOTS:
    void quote_byTheSheetsOwnRules_data()
    {
        QTest::addColumn<QString>("format");
        QTest::addColumn<QString>("courier");
        QTest::addColumn<QString>("destination");
        QTest::addColumn<QString>("weight");
        QTest::addColumn<QString>("fee");
        // Fees as each courier bills them; a text for a parcel not priced.
        const QList<std::tuple<QString, QString, QString, QString>> cases{
            // Brackets by the weight as weighed, then first + additional by
            // the weight rounded up to 1 kg.
            {u"电商快递"_s, u"江苏"_s, u"0.3"_s, u"2.05"_s},
            {u"电商快递"_s, u"江苏"_s, u"0.5"_s, u"2.05"_s},
            {u"电商快递"_s, u"江苏"_s, u"0.51"_s, u"2.5"_s},
            {u"电商快递"_s, u"江苏"_s, u"3"_s, u"3.8"_s},
            {u"电商快递"_s, u"江苏"_s, u"3.01"_s, u"7"_s},  // 4 + 1 × (4 − 1)
            {u"电商快递"_s, u"江苏"_s, u"8.01"_s, u"12"_s}, // 4 + 1 × (9 − 1)
            {u"电商快递"_s, u"江苏"_s, u"50"_s, u"53"_s},
            {u"电商快递"_s, u"江苏"_s, u"50.5"_s, u"超过最大重量"_s},
            {u"电商快递"_s, u"新疆"_s, u"0.3"_s, u"18"_s}, // no brackets on this row
            {u"电商快递"_s, u"新疆"_s, u"3.01"_s, u"63"_s},
            // Six brackets, then two bands of their own first and
            // additional prices, up to 100 kg.
            {u"分段快递"_s, u"江苏"_s, u"0.5"_s, u"3"_s},
            {u"分段快递"_s, u"江苏"_s, u"0.51"_s, u"3.5"_s},
            {u"分段快递"_s, u"江苏"_s, u"3"_s, u"5.5"_s},
            {u"分段快递"_s, u"江苏"_s, u"3.01"_s, u"7"_s},
            {u"分段快递"_s, u"江苏"_s, u"8"_s, u"9"_s},
            {u"分段快递"_s, u"江苏"_s, u"8.01"_s, u"26"_s},  // 10 + 2 × (9 − 1)
            {u"分段快递"_s, u"江苏"_s, u"30"_s, u"68"_s},    // 10 + 2 × 29
            {u"分段快递"_s, u"江苏"_s, u"30.01"_s, u"85"_s}, // 40 + 1.5 × (31 − 1)
            {u"分段快递"_s, u"江苏"_s, u"50.5"_s, u"115"_s},
            {u"分段快递"_s, u"江苏"_s, u"100"_s, u"188.5"_s},
            {u"分段快递"_s, u"江苏"_s, u"100.5"_s, u"超过最大重量"_s},
            {u"分段快递"_s, u"西藏"_s, u"0.3"_s, u"未报价"_s}, // "不发" in the bracket
            {u"分段快递"_s, u"西藏"_s, u"8.01"_s, u"126"_s},   // 30 + 12 × 8
            // A group of provinces; above 3 kg the part above 3 kg only at
            // the second rate.
            {u"特快分区"_s, u"江苏"_s, u"0.5"_s, u"18"_s},
            {u"特快分区"_s, u"江苏"_s, u"3"_s, u"30"_s},
            {u"特快分区"_s, u"江苏"_s, u"3.01"_s, u"35"_s}, // 18 + 6 × 2 + 5 × 1
            {u"特快分区"_s, u"江苏"_s, u"8.01"_s, u"60"_s},
            {u"特快分区"_s, u"江苏"_s, u"50"_s, u"265"_s},
            {u"特快分区"_s, u"浙江"_s, u"3.01"_s, u"30"_s}, // 16 + 5 × 2 + 4 × 1
            // Per 500 g, rounded up to 0.5 kg; the second rate above 5 kg.
            {u"邮政包裹"_s, u"江苏"_s, u"0.5"_s, u"8"_s},
            {u"邮政包裹"_s, u"江苏"_s, u"3"_s, u"12"_s},
            {u"邮政包裹"_s, u"江苏"_s, u"3.01"_s, u"13"_s},
            {u"邮政包裹"_s, u"江苏"_s, u"5"_s, u"16"_s},
            {u"邮政包裹"_s, u"江苏"_s, u"8.01"_s, u"21.6"_s}, // 8 + 8 + 0.8 × 7
            {u"邮政包裹"_s, u"江苏"_s, u"50"_s, u"88"_s},
            {u"邮政包裹"_s, u"江苏"_s, u"50.5"_s, u"超过最大重量"_s},
            // Heavy freight: 10 kg first, three rates for the whole weight,
            // a minimum fee, up to 5 tonnes.
            {u"物流专线"_s, u"江苏"_s, u"0.5"_s, u"45"_s},
            {u"物流专线"_s, u"江苏"_s, u"20"_s, u"45"_s}, // 42 raised to the minimum
            {u"物流专线"_s, u"江苏"_s, u"25"_s, u"48"_s},
            {u"物流专线"_s, u"江苏"_s, u"50"_s, u"78"_s},
            {u"物流专线"_s, u"江苏"_s, u"50.5"_s, u"78.6"_s},
            {u"物流专线"_s, u"江苏"_s, u"300"_s, u"378"_s},
            {u"物流专线"_s, u"江苏"_s, u"301"_s, u"321"_s},
            {u"物流专线"_s, u"江苏"_s, u"801"_s, u"662.8"_s},
            {u"物流专线"_s, u"江苏"_s, u"5000"_s, u"4022"_s},
            {u"物流专线"_s, u"江苏"_s, u"5000.5"_s, u"超过最大重量"_s},
        };
        for (const QString &format : {u"csv"_s, u"xlsx"_s}) {
            for (const auto &[courier, destination, weight, fee] : cases) {
                QTest::addRow("%s %s %s %s", qPrintable(format), qPrintable(courier), qPrintable(destination),
                              qPrintable(weight))
                    << format << courier << destination << weight << fee;
            }
        }
    }
    void quote_byTheSheetsOwnRules()
    {
        QFETCH(QString, format);
        QFETCH(QString, courier);
        QFETCH(QString, destination);
        QFETCH(QString, weight);
        QFETCH(QString, fee);
        const QString db = databaseOf(format);
        QVERIFY(!db.isEmpty());
        const CliRun quoted = run({u"--db"_s, db, u"quote"_s, destination, weight, u"--exact"_s});
        QCOMPARE(quoted.status, int(CliOk));
        // A fee is a line of stdout; a parcel not priced a line of stderr.
        QString found;
        for (const QString &line : quoted.out.split(u'\n') + quoted.err.split(u'\n')) {
            const QStringList cells = line.split(u'\t');
            if (cells.value(0) == courier)
                found = cells.value(2);
        }
        QCOMPARE(found, fee);
    }

    void batch_billedWeightIsTheWeightThatPriced()
    {
        // A bracket prices the weight as weighed; above the brackets it is
        // rounded up to whole kilograms.
        const QString orders = m_dir.filePath(u"orders.csv"_s);
        QFile file(orders);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("收货地址,重量\n江苏南京,0.5\n江苏南京,3.01\n");
        file.close();
        const QString out = m_dir.filePath(u"priced.csv"_s);
        QCOMPARE(run({u"--db"_s, databaseOf(u"csv"_s), u"batch"_s, orders, u"--templates"_s, u"电商快递"_s,
                      u"--out"_s, out})
                     .status,
                 int(CliOk));
        Workbook book;
        QVERIFY(book.open(out));
        const std::optional<TextTable> priced = book.readSheet(book.sheetNames().value(0));
        QVERIFY(priced);
        const qsizetype billed = priced->columns.indexOf(u"计费重量"_s);
        QCOMPARE(priced->rows.value(0).value(billed), u"0.5"_s);
        QCOMPARE(priced->rows.value(1).value(billed), u"4"_s);
    }

    void create_namesWhatItLeftOut()
    {
        const QString db = m_dir.filePath(u"named.db"_s);
        const CliRun created =
            run({u"--db"_s, db, u"create"_s, u"甲"_s, testData(u"couriers/电商快递.csv"_s)});
        QCOMPARE(created.status, int(CliOk));
        QCOMPARE(created.out, u"5\n"_s); // the footnote and the blank line are no rows
        QVERIFY2(created.err.contains(u"注：以上价格不含保价"_s), qPrintable(created.err));
        const CliRun unused =
            run({u"--db"_s, db, u"create"_s, u"乙"_s, testData(u"couriers/分段快递.csv"_s)});
        QCOMPARE(unused.err, u"未使用的列：面单费\n"_s);
        const CliRun heavy = run({u"--db"_s, db, u"create"_s, u"丙"_s, testData(u"couriers/物流专线.csv"_s)});
        QVERIFY2(heavy.err.contains(u"区间起点 300、800KG 不低于最大重量 50KG"_s), qPrintable(heavy.err));
        QCOMPARE(run({u"--db"_s, db, u"rules"_s, u"乙"_s}).out,
                 u"计费取整\t不取整\n首重重量\t1\n抛重系数\t0\n重量段\t0.5,1,2,3,5,8\n区间起点\t8,30\n"
                 u"区间计价\t全程\n续重单位\t1\n最大重量\t50\n"_s);
    }

    // Whatever a template holds, its export creates it again: every price
    // and, in .xlsx, every rule.
    void export_thenCreate_givesTheSameTemplate_data()
    {
        QTest::addColumn<QString>("courier");
        QTest::addColumn<QString>("format");
        for (const Courier &courier : couriers()) {
            for (const QString &format : {u"csv"_s, u"xlsx"_s})
                QTest::addRow("%s %s", qPrintable(courier.name), qPrintable(format))
                    << courier.name << format;
        }
    }
    void export_thenCreate_givesTheSameTemplate()
    {
        QFETCH(QString, courier);
        QFETCH(QString, format);
        const QString from = databaseOf(u"csv"_s);
        const QString file = m_dir.filePath(u"export-%1.%2"_s.arg(courier, format));
        QCOMPARE(run({u"--db"_s, from, u"export"_s, courier, file}).status, int(CliOk));
        const QString to = m_dir.filePath(u"again-%1-%2.db"_s.arg(courier, format));
        QCOMPARE(run({u"--db"_s, to, u"create"_s, courier, file}).status, int(CliOk));
        QCOMPARE(run({u"--db"_s, to, u"rows"_s, courier}).out,
                 run({u"--db"_s, from, u"rows"_s, courier}).out);
        const QStringList rules = run({u"--db"_s, from, u"rules"_s, courier}).out.split(u'\n');
        const QStringList again = run({u"--db"_s, to, u"rules"_s, courier}).out.split(u'\n');
        // A .csv has no rules sheet: what its headings say comes back, the
        // rounding, divisor, band pricing and maximum do not.
        const QList<int> carried =
            format == u"xlsx" ? QList<int>{0, 1, 2, 3, 4, 5, 6, 7} : QList<int>{1, 3, 4, 6};
        for (const int rule : carried)
            QCOMPARE(again.value(rule), rules.value(rule));
    }
};

QTEST_GUILESS_MAIN(TestPriceSheets)
#include "tst_pricesheets.moc"
