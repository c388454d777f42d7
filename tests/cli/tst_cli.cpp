#include "../common/clirun.h"
#include "../common/sampledb.h"
#include "../common/testdata.h"

#include <cli/cli.h>
#include <core/numbertext.h>
#include <core/program.h>
#include <core/schema.h>
#include <fees/feequote.h>

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QTextStream>

using namespace Kuaidi;
using namespace KuaidiTest;
using namespace Qt::StringLiterals;

class TestCli : public QObject
{
    Q_OBJECT

private:
    CliRun run(QStringList arguments, bool withDb = true)
    {
        if (withDb)
            arguments = QStringList{u"--db"_s, m_path} + arguments;
        return runCliCommand(arguments);
    }

    QTemporaryDir m_dir;
    QString m_path;

private Q_SLOTS:
    void initTestCase()
    {
        m_path = m_dir.filePath(u"kuaidishuju.db"_s);
        createRateTemplate(
            m_path, u"圆通快递"_s,
            {rateRow(u"1"_s, u"北京"_s, u"10"_s, u"5"_s, u"1"_s, u"2"_s, u"3"_s, u"张三\t010"_s, u"次日"_s),
             rateRow(u"2"_s, u"O'Hare_100%"_s, u"9"_s, u"5"_s)});
        createRateTemplate(m_path, u"中通快递"_s, {rateRow(u"1"_s, u"北京郊区"_s, u"8"_s, u"4"_s)});
    }

    void templates_inCreationOrder()
    {
        const CliRun r = run({u"templates"_s});
        QCOMPARE(r.status, int(CliOk));
        QCOMPARE(r.out, u"圆通快递\n中通快递\n"_s);
    }

    void quote_tabSeparated()
    {
        const CliRun r = run({u"quote"_s, u"北京"_s, u"3"_s});
        QCOMPARE(r.status, int(CliOk));
        QCOMPARE(r.out, u"快递名称\t目的地名\t快递费用\t首重价格\t续重价格\t价格区间手续费\t其他手续费\t联系"
                        u"方式\t到达时间\t计费重量\t匹配方式\n"
                        "圆通快递\t北京\t23\t10\t5\t1\t3\t张三 010\t次日\t3\t地区\n"
                        "中通快递\t北京郊区\t19\t8\t4\t1\t3\t\t\t3\t地区\n"_s);
    }

    void quote_json()
    {
        const CliRun r = run({u"quote"_s, u"'"_s, u"25"_s, u"--level"_s, u"二星客户"_s, u"--json"_s});
        QCOMPARE(r.status, int(CliOk));
        const QJsonArray array = QJsonDocument::fromJson(r.out.toUtf8()).array();
        QCOMPARE(array.size(), 1);
        const QJsonObject quote = array.first().toObject();
        QCOMPARE(quote.size(), 11);
        QCOMPARE(quote.value(u"计费重量"_s).toString(), u"25"_s);
        QCOMPARE(quote.value(u"目的地名"_s).toString(), u"O'Hare_100%"_s);
        QCOMPARE(quote.value(u"快递费用"_s).toString(), u"157"_s);
    }

    void quote_nothingToShow_headerAloneAndReason_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("out");
        const QString header = FeeQuote::titles().join(u'\t') + u'\n';
        QTest::newRow("no match") << QStringList{u"quote"_s, u"上海"_s, u"3"_s} << header;
        QTest::newRow("over 50 kg") << QStringList{u"quote"_s, u"北京"_s, u"60"_s} << header;
        QTest::newRow("no match, json")
            << QStringList{u"quote"_s, u"上海"_s, u"3"_s, u"--json"_s} << u"[]\n"_s;
    }
    void quote_nothingToShow_headerAloneAndReason()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, out);
        const CliRun r = run(arguments);
        QCOMPARE(r.status, int(CliOk));
        QCOMPARE(r.out, out);
        QVERIFY(!r.err.isEmpty());
    }

    void breakdown_ofChosenRow()
    {
        const CliRun r = run({u"breakdown"_s, u"北京"_s, u"25"_s, u"--row"_s, u"1"_s});
        QCOMPARE(r.status, int(CliOk));
        QVERIFY(r.out.startsWith(u"物流快递名称：中通快递   送达地点：北京郊区\r\n\r\n"_s));
        QVERIFY(r.out.contains(u"货物重量为：25KG\r\n\r\n20-30KG 每KG增加1元"_s));
        QCOMPARE(run({u"breakdown"_s, u"北京"_s, u"25"_s, u"--row"_s, u"2"_s}).status, int(CliBadInput));
    }

    void rows_inRateColumnOrder()
    {
        const CliRun r = run({u"rows"_s, u"中通快递"_s});
        QCOMPARE(r.status, int(CliOk));
        const QStringList lines = r.out.split(u'\n', Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 2);
        QCOMPARE(lines.at(0).split(u'\t'), RateColumns());
        QCOMPARE(lines.at(1).split(u'\t').mid(0, 3), (QStringList{u"1"_s, u"北京郊区"_s, u""_s}));
        QCOMPARE(run({u"rows"_s, u"中通快递"_s, u"--json"_s}).status, int(CliOk));
        QCOMPARE(run({u"rows"_s, u"不存在"_s}).status, int(CliBadInput));
    }

    void region()
    {
        const CliRun hit = run({u"region"_s, u"江苏南京"_s}, false);
        QCOMPARE(hit.status, int(CliOk));
        QCOMPARE(hit.out, u"南京\t江苏\tJ_City_320100\t3\n"_s);
        const CliRun miss = run({u"region"_s, u"国外"_s}, false);
        QCOMPARE(miss.status, int(CliNoRegionMatch));
        QVERIFY(miss.out.isEmpty());
    }

    void createThenRows_showsTheStoredTemplate()
    {
        const QString workbook = testData(u"sheets/运费表.xls"_s);
        const CliRun sheets = run({u"sheets"_s, workbook}, false);
        QCOMPARE(sheets.status, int(CliOk));
        QCOMPARE(sheets.out.split(u'\n', Qt::SkipEmptyParts).first(), u"运费"_s);

        const CliRun created =
            run({u"create"_s, u"汇通快递"_s, workbook, u"--sheet"_s, u"运费"_s, u"--fee-20-30"_s, u"1"_s,
                 u"--fee-30-50"_s, u"2"_s, u"--other-fee"_s, u"3"_s, u"--contact"_s, u"客服 400"_s});
        QCOMPARE(created.status, int(CliOk));
        QCOMPARE(created.out, u"4\n"_s);

        const QStringList lines = run({u"rows"_s, u"汇通快递"_s}).out.split(u'\n', Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 5);
        const QStringList regions{u"江苏南京"_s, u"吉林"_s, u"北京"_s, u"广东"_s};
        const QStringList provinces{u"江苏"_s, u"吉林"_s, u"北京"_s, u"广东"_s};
        for (int r = 0; r < 4; ++r) {
            const QStringList cells = lines.at(r + 1).split(u'\t');
            QCOMPARE(cells.size(), 41);
            QCOMPARE(cells.at(ColumnId), QString::number(r + 1));
            QCOMPARE(cells.at(ColumnRegion), regions.at(r));
            QCOMPARE(cells.at(ColumnProvince), provinces.at(r));
            QCOMPARE(cells.mid(6, 4), (QStringList{u"1"_s, u"2"_s, u"3"_s, u"客服 400"_s}));
            QCOMPARE(cells.mid(10, 30), QStringList(30, u"0"_s));
        }
        QCOMPARE(lines.at(1).split(u'\t').last(), u"2天"_s);

        // The new template is searched at once.
        QVERIFY(run({u"quote"_s, u"南京"_s, u"2"_s}).out.contains(u"汇通快递\t江苏南京\t18\t"_s));
    }

    void create_refusals_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("status");
        const QString workbook = testData(u"sheets/运费表.xlsx"_s);
        QTest::newRow("existing name")
            << QStringList{u"create"_s, u"圆通快递"_s, workbook} << int(CliBadInput);
        QTest::newRow("bad name") << QStringList{u"create"_s, u"圆通快递 "_s, workbook} << int(CliBadInput);
        QTest::newRow("reserved name")
            << QStringList{u"create"_s, u"__kuaidi_x"_s, workbook} << int(CliBadInput);
        QTest::newRow("no such sheet")
            << QStringList{u"create"_s, u"新"_s, workbook, u"--sheet"_s, u"无"_s} << int(CliBadInput);
        QTest::newRow("no such file")
            << QStringList{u"create"_s, u"新"_s, workbook + u".missing"_s} << int(CliBadInput);
        QTest::newRow("fee not a number")
            << QStringList{u"create"_s, u"新"_s, workbook, u"--other-fee"_s, u"1,5"_s} << int(CliBadInput);
        QTest::newRow("sheet without prices")
            << QStringList{u"create"_s, u"新"_s, workbook, u"--sheet"_s, u"引号"_s} << int(CliBadInput);
        QTest::newRow("title holding U+0000")
            << QStringList{u"create"_s, u"新"_s, testData(u"sheets/标题有空字符.csv"_s)} << int(CliBadInput);
    }
    void create_refusals()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, status);
        const QStringList before = run({u"templates"_s}).out.split(u'\n');
        const CliRun r = run(arguments);
        QCOMPARE(r.status, status);
        QVERIFY(!r.err.isEmpty());
        QCOMPARE(run({u"templates"_s}).out.split(u'\n'), before);
    }

    // Couriers that do not serve a region, or whose discounts leave nothing
    // to pay, are named on stderr instead of listed as the cheapest.
    void quote_listsOnlyFeesAndNamesTheRest()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(u"k.db"_s);
        QStringList discounted = rateRow(u"1"_s, u"西藏"_s, u"1"_s, u"0.5"_s);
        discounted[priceSetColumnIndex(5, FieldFirstWeight)] = u"-5"_s;
        createRateTemplate(
            path, u"韵达"_s,
            {rateRow(u"1"_s, u"西藏"_s, u"不发"_s, QString(), u"1"_s, u"2"_s, u"3"_s, QString(), u"不发"_s)});
        createRateTemplate(path, u"申通"_s, {discounted});
        createRateTemplate(path, u"中通"_s, {rateRow(u"1"_s, u"西藏"_s, u"20"_s, u"10"_s)});
        const CliRun r =
            run({u"--db"_s, path, u"quote"_s, u"西藏"_s, u"2.5"_s, u"--level"_s, u"五星客户"_s}, false);
        QCOMPARE(r.status, int(CliOk));
        const QStringList lines = r.out.split(u'\n', Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 2);
        QVERIFY(lines.at(1).startsWith(u"中通\t西藏\t38\t"_s));
        QCOMPARE(r.err, u"韵达\t西藏\t未报价\n申通\t西藏\t报价不大于0\n"_s);
    }

    void quote_volumeAndExact()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(u"k.db"_s);
        createRateTemplate(path, u"甲"_s, {rateRow(u"1"_s, u"江苏省"_s, u"10"_s, u"5"_s)});
        QCOMPARE(run({u"--db"_s, path, u"rules"_s, u"甲"_s, u"--divisor"_s, u"6000"_s}, false).status,
                 int(CliOk));
        // 0.03 m³ at 6000 cm³/kg bills 5 kg: 10 + 5 × 4 + 3.
        const CliRun r =
            run({u"--db"_s, path, u"quote"_s, u"南京"_s, u"2"_s, u"--volume"_s, u"0.03"_s}, false);
        QVERIFY2(r.out.contains(u"甲\t江苏省\t33\t10\t5\t1\t3\t\t\t5\t省份\n"_s), qPrintable(r.out));
        const CliRun breakdown =
            run({u"--db"_s, path, u"breakdown"_s, u"南京"_s, u"2"_s, u"--volume"_s, u"0.03"_s}, false);
        QVERIFY(breakdown.out.contains(u"货物重量为：2KG\r\n\r\n计费重量为：5KG（体积重）"_s));
        const CliRun exact = run({u"--db"_s, path, u"quote"_s, u"南京"_s, u"2"_s, u"--exact"_s}, false);
        QCOMPARE(exact.out.count(u'\n'), 1);
        QCOMPARE(run({u"--db"_s, path, u"quote"_s, u"南京"_s, u"2"_s, u"--volume"_s, u"abc"_s}, false).status,
                 int(CliBadInput));
    }

    void address_provinceTabCity_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("out");
        QTest::newRow("address") << u"江苏省南京市鼓楼区中山路1号"_s << int(CliOk) << u"江苏\t南京\n"_s;
        QTest::newRow("no city") << u"北京市朝阳区"_s << int(CliOk) << u"北京\t\n"_s;
        QTest::newRow("nothing") << u"火星"_s << int(CliNoRegionMatch) << QString();
    }
    void address_provinceTabCity()
    {
        QFETCH(QString, text);
        QFETCH(int, status);
        QFETCH(QString, out);
        const CliRun r = run({u"address"_s, text}, false);
        QCOMPARE(r.status, status);
        QCOMPARE(r.out, out);
    }

    void rules_printStoreAndRefuse()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(u"k.db"_s);
        createRateTemplate(path, u"甲"_s, {});
        const auto rules = [&](QStringList arguments) {
            return run(QStringList{u"--db"_s, path, u"rules"_s} + arguments, false);
        };
        // The later rules follow the first three, empty after the tab where
        // a template has no brackets or bands.
        const QString later = u"重量段\t\n区间起点\t\n区间计价\t全程\n续重单位\t1\n最大重量\t50\n"_s;
        QCOMPARE(rules({u"甲"_s}).out, u"计费取整\t不取整\n首重重量\t1\n抛重系数\t0\n"_s + later);
        QCOMPARE(rules({u"甲"_s, u"--rounding"_s, u"0.5"_s, u"--first-weight"_s, u"3"_s}).out,
                 u"计费取整\t0.5\n首重重量\t3\n抛重系数\t0\n"_s + later);
        QCOMPARE(rules({u"甲"_s, u"--divisor"_s, u"8000"_s}).out,
                 u"计费取整\t0.5\n首重重量\t3\n抛重系数\t8000\n"_s + later);
        QCOMPARE(rules({u"甲"_s, u"--brackets"_s, u"0.5,1,2,3"_s, u"--bands"_s, u"3, 8"_s, u"--band-mode"_s,
                        u"超出部分"_s, u"--unit"_s, u"0.5"_s, u"--max-weight"_s, u"3000"_s})
                     .out,
                 u"计费取整\t0.5\n首重重量\t3\n抛重系数\t8000\n重量段\t0.5,1,2,3\n区间起点\t3,"
                 u"8\n区间计价\t超出部分\n"
                 u"续重单位\t0.5\n最大重量\t3000\n"_s);
        const QString stored = rules({u"甲"_s}).out;
        for (const QStringList &bad :
             {QStringList{u"甲"_s, u"--rounding"_s, u"2"_s},
              QStringList{u"甲"_s, u"--first-weight"_s, u"0"_s},
              QStringList{u"甲"_s, u"--divisor"_s, u"-1"_s},
              QStringList{u"甲"_s, u"--brackets"_s, u"1,0.5"_s},
              QStringList{u"甲"_s, u"--band-mode"_s, u"按段"_s}, QStringList{u"甲"_s, u"--unit"_s, u"2"_s},
              QStringList{u"甲"_s, u"--max-weight"_s, u"-5"_s}, QStringList{u"乙"_s}}) {
            const CliRun r = rules(bad);
            QCOMPARE(r.status, int(CliBadInput));
            QVERIFY(!r.err.isEmpty());
        }
        QCOMPARE(rules({u"甲"_s}).out, stored);
        QCOMPARE(run({u"--db"_s, path, u"templates"_s}, false).out, u"甲\n"_s);
    }

    void badUsageAndInput_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::newRow("no command") << QStringList{};
        QTest::newRow("unknown command") << QStringList{u"fly"_s};
        QTest::newRow("missing argument") << QStringList{u"quote"_s, u"北京"_s};
        QTest::newRow("unknown option") << QStringList{u"templates"_s, u"--colour"_s};
        QTest::newRow("weight not a number") << QStringList{u"quote"_s, u"北京"_s, u"abc"_s};
        QTest::newRow("weight zero") << QStringList{u"quote"_s, u"北京"_s, u"0"_s};
        QTest::newRow("unknown level") << QStringList{u"quote"_s, u"北京"_s, u"3"_s, u"--level"_s, u"VIP"_s};
        QTest::newRow("negative weight") << QStringList{u"quote"_s, u"北京"_s, u"-1"_s};
        QTest::newRow("negative row") << QStringList{u"breakdown"_s, u"北京"_s, u"3"_s, u"--row"_s, u"-1"_s};
        QTest::newRow("curve step giving 10,001 weights")
            << QStringList{u"curve"_s, u"北京"_s, u"--step"_s, u"0.0049"_s};
    }
    void badUsageAndInput()
    {
        QFETCH(QStringList, arguments);
        const CliRun r = run(arguments);
        QCOMPARE(r.status, int(CliBadInput));
        QVERIFY(r.out.isEmpty());
        QVERIFY(!r.err.isEmpty());
    }

    void help_isChineseAndVersionNamesTheProgram()
    {
        const CliRun r = run({u"--help"_s}, false);
        QCOMPARE(r.status, int(CliOk));
        QVERIFY(r.out.startsWith(u"用法:"_s));
        for (const QString &option : {u"--version"_s, u"-v"_s}) {
            const CliRun version = run({option}, false);
            QCOMPARE(version.status, int(CliOk));
            QCOMPARE(version.out, u"kuaidi-cli "_s + programVersion() + u'\n');
            QVERIFY(QRegularExpression(u"^\\d+\\.\\d+"_s).match(programVersion()).hasMatch());
        }
    }

    void databaseError_namesTheFile()
    {
        const QString bogus = m_dir.filePath(u"bogus.db"_s);
        QFile f(bogus);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("not a database at all, but long enough to look like a header.....");
        f.close();
        const CliRun r = run({u"--db"_s, bogus, u"quote"_s, u"北京"_s, u"3"_s}, false);
        QCOMPARE(r.status, int(CliDatabaseError));
        QVERIFY(r.err.contains(bogus));
    }

    void executable_writesUtf8AndExitStatus()
    {
        QProcess p;
        p.start(QStringLiteral(KUAIDI_CLI_PATH), {u"--db"_s, m_path, u"quote"_s, u"北京郊区"_s, u"2"_s});
        QVERIFY(p.waitForFinished(30000));
        QCOMPARE(p.exitCode(), 0);
        QVERIFY(p.readAllStandardOutput().contains("中通快递\t北京郊区\t15"));
        p.start(QStringLiteral(KUAIDI_CLI_PATH), {u"region"_s, u"火星"_s});
        QVERIFY(p.waitForFinished(30000));
        QCOMPARE(p.exitCode(), 1);
        // An argument keeps a leading U+FEFF: a name beginning with one is
        // refused as the window refuses it, not saved without it.
        p.start(QStringLiteral(KUAIDI_CLI_PATH),
                {u"--db"_s, m_path, u"create"_s, u"\uFEFF新"_s, testData(u"sheets/运费表.xlsx"_s)});
        QVERIFY(p.waitForFinished(30000));
        QCOMPARE(p.exitCode(), int(CliBadInput));
        QVERIFY(QString::fromUtf8(p.readAllStandardError()).contains(u"控制字符"));
    }
    void copy_thereAndBackCellForCellRefusingTakenNames()
    {
        const QString there = m_dir.filePath(u"there.db"_s);
        const QString back = m_dir.filePath(u"back.db"_s);
        QCOMPARE(run({u"rules"_s, u"中通快递"_s, u"--rounding"_s, u"1"_s}).status, 0);
        const CliRun all = run({u"copy"_s, u"--from"_s, m_path, u"--to"_s, there}, false);
        QCOMPARE(all.status, 0);
        QVERIFY(all.out.startsWith(u"已复制\t圆通快递\t2 行\n已复制\t中通快递\t1 行\n"_s));
        QCOMPARE(run({u"copy"_s, u"--from"_s, there, u"--to"_s, back}, false).status, 0);
        const QStringList names = run({u"templates"_s}).out.split(u'\n', Qt::SkipEmptyParts);
        QCOMPARE(run({u"--db"_s, back, u"templates"_s}, false).out, run({u"templates"_s}).out);
        for (const QString &name : names) {
            QCOMPARE(run({u"--db"_s, back, u"rows"_s, name}, false).out, run({u"rows"_s, name}).out);
            QCOMPARE(run({u"--db"_s, back, u"rules"_s, name}, false).out, run({u"rules"_s, name}).out);
        }

        // Refusals write nothing, whichever name refuses.
        const QString partial = m_dir.filePath(u"partial.db"_s);
        QCOMPARE(
            run({u"copy"_s, u"--from"_s, m_path, u"--to"_s, partial, u"--templates"_s, u"中通快递"_s}, false)
                .status,
            0);
        const struct
        {
            QStringList arguments;
            QString message;
        } refusals[] = {
            {{u"--templates"_s, u"圆通快递,中通快递"_s}, u"--replace"_s},
            {{u"--templates"_s, u"圆通快递,没有这个"_s}, u"没有名为“没有这个”"_s},
        };
        for (const auto &refusal : refusals) {
            const CliRun r = run(
                QStringList{u"copy"_s, u"--from"_s, m_path, u"--to"_s, partial} + refusal.arguments, false);
            QCOMPARE(r.status, 2);
            QVERIFY2(r.err.contains(refusal.message), qPrintable(r.err));
            QCOMPARE(run({u"--db"_s, partial, u"templates"_s}, false).out, u"中通快递\n"_s);
        }
        QCOMPARE(run({u"copy"_s, u"--from"_s, m_path, u"--to"_s, m_path}, false).status, 2);
        QCOMPARE(run({u"copy"_s, u"--from"_s, m_path}, false).status, 2);
        // An empty list is not "every template".
        QCOMPARE(
            run({u"copy"_s, u"--from"_s, m_path, u"--to"_s, partial, u"--templates"_s, u","_s}, false).status,
            2);

        // --replace takes the source's rows and rules.
        QCOMPARE(run({u"rules"_s, u"中通快递"_s, u"--rounding"_s, u"0.5"_s}).status, 0);
        QCOMPARE(run({u"copy"_s, u"--from"_s, m_path, u"--to"_s, partial, u"--replace"_s}, false).status, 0);
        QVERIFY(run({u"--db"_s, partial, u"rules"_s, u"中通快递"_s}, false).out.contains(u"计费取整\t0.5"_s));
        QCOMPARE(run({u"rules"_s, u"中通快递"_s, u"--rounding"_s, u"不取整"_s}).status, 0);
    }

    void exportThenCreate_givesTheSameRowsAndRules()
    {
        QStringList awkward = rateRow(u"007"_s, u"北京, \"朝阳\""_s, u"10"_s, u"未填"_s, u"1"_s, u"2"_s,
                                      u"3"_s, u"张三\n李四"_s, QString(1000, u'长'));
        awkward[ColumnProvince] = u"0012"_s;
        createRateTemplate(m_path, u"导出"_s, {awkward, rateRow(u"2"_s, u"上海"_s, u"5元"_s, u"1"_s)});
        QCOMPARE(run({u"rules"_s, u"导出"_s, u"--rounding"_s, u"0.5"_s, u"--divisor"_s, u"8000"_s}).status,
                 0);
        const CliRun original = run({u"rows"_s, u"导出"_s});
        for (const QString &file : {u"导出.xlsx"_s, u"导出.csv"_s}) {
            const QString path = m_dir.filePath(file);
            QCOMPARE(run({u"export"_s, u"导出"_s, path}).status, 0);
            const QString copy = u"副本"_s + file.right(4);
            QCOMPARE(run({u"create"_s, copy, path}).status, 0);
            QCOMPARE(run({u"rows"_s, copy}).out, original.out);
            if (file.endsWith(u"xlsx"))
                QVERIFY(run({u"rules"_s, copy}).out.contains(u"抛重系数\t8000"_s));
        }
        // Under the same name only with --replace; the name and rules stay.
        const QString path = m_dir.filePath(u"导出.xlsx"_s);
        const CliRun refused = run({u"create"_s, u"导出"_s, path});
        QCOMPARE(refused.status, 2);
        QVERIFY(refused.err.contains(u"--replace"_s));
        QCOMPARE(run({u"create"_s, u"导出"_s, path, u"--replace"_s}).status, 0);
        QCOMPARE(run({u"rows"_s, u"导出"_s}).out, original.out);
        QVERIFY(run({u"backups"_s}).out.contains(u"\t替换模板"_s));

        // delete asks for --yes and changes nothing without it.
        const CliRun unconfirmed = run({u"delete"_s, u"副本.csv"_s});
        QCOMPARE(unconfirmed.status, 2);
        QVERIFY(run({u"templates"_s}).out.contains(u"副本.csv"_s));
        QCOMPARE(run({u"delete"_s, u"副本.csv"_s, u"--yes"_s}).status, 0);
        QVERIFY(!run({u"templates"_s}).out.contains(u"副本.csv"_s));
        const QString newest = run({u"backups"_s}).out.section(u'\t', 0, 0);
        QCOMPARE(run({u"restore"_s, newest}).status, 2);
        QCOMPARE(run({u"restore"_s, newest, u"--yes"_s}).status, 0);
        QVERIFY(run({u"templates"_s}).out.contains(u"副本.csv"_s));
    }

    // Replacing by a sheet of prices only: what goes is said first, and the
    // contacts and star levels of the regions kept stay.
    void create_replaceKeepsContactsAndSaysWhatChanges()
    {
        const auto write = [this](const QString &name, const QByteArray &text) {
            QFile file(m_dir.filePath(name));
            return file.open(QIODevice::WriteOnly) && file.write(text) == text.size() ? file.fileName()
                                                                                      : QString();
        };
        const QString first =
            write(u"第一版.csv"_s, "地区,首重价格,续重价格,联系方式\n上海,8,3,赵 789\n拉萨,20,15,\n");
        const QString second = write(u"第二版.csv"_s, "地区,首重价格,续重价格\n上海,8,2.5\n北京,10,5\n");
        QCOMPARE(run({u"create"_s, u"替换"_s, first}).status, 0);
        const CliRun replaced = run({u"create"_s, u"替换"_s, second, u"--replace"_s});
        QCOMPARE(replaced.status, 0);
        QCOMPARE(replaced.err, u"替换“替换”：原有 2 行，表格 2 行：删除 1 行（拉萨），新增 1 行（北京），"
                               "价格变动 1 行；联系方式、会员级别价格沿用原模板\n"_s);
        const QStringList rows = run({u"rows"_s, u"替换"_s}).out.split(u'\n', Qt::SkipEmptyParts);
        QCOMPARE(rows.size(), 3);
        for (const QString &row : rows.mid(1))
            QCOMPARE(row.split(u'\t').value(ColumnContact), u"赵 789"_s);
    }

    // A backup names the action and the template it was taken for; restore
    // says what will change, and brings back only that template unless
    // --whole is given.
    void restore_onlyTheTemplateUnlessWhole()
    {
        const QString db = m_dir.filePath(u"restore/kuaidishuju.db"_s);
        QDir().mkpath(QFileInfo(db).path());
        createRateTemplate(db, u"圆通"_s, {rateRow(u"1"_s, u"北京"_s, u"10"_s, u"5"_s)});
        createRateTemplate(db, u"中通"_s, {rateRow(u"1"_s, u"上海"_s, u"8"_s, u"4"_s)});
        const auto cli = [&](const QStringList &arguments) {
            return run(QStringList{u"--db"_s, db} + arguments, false);
        };
        QCOMPARE(cli({u"delete"_s, u"圆通"_s, u"--yes"_s}).status, 0);
        createRateTemplate(db, u"申通"_s, {rateRow(u"1"_s, u"广州"_s, u"7"_s, u"3"_s)});
        const QStringList listed = cli({u"backups"_s}).out.split(u'\n', Qt::SkipEmptyParts);
        QCOMPARE(listed.size(), 1);
        QCOMPARE(listed.first().section(u'\t', 2), u"删除模板\t圆通"_s);
        const QString name = listed.first().section(u'\t', 0, 0);

        const CliRun unconfirmed = cli({u"restore"_s, name});
        QCOMPARE(unconfirmed.status, 2);
        QVERIFY2(unconfirmed.out.contains(u"“圆通”：现在没有这个模板，恢复备份中的 1 行和计费规则"_s),
                 qPrintable(unconfirmed.out));
        QCOMPARE(cli({u"templates"_s}).out, u"中通\n申通\n"_s);
        QCOMPARE(cli({u"restore"_s, name, u"--yes"_s}).status, 0);
        QCOMPARE(cli({u"templates"_s}).out, u"中通\n申通\n圆通\n"_s);

        const CliRun whole = cli({u"restore"_s, name, u"--whole"_s, u"--yes"_s});
        QCOMPARE(whole.status, 0);
        QVERIFY2(whole.out.contains(u"“申通”：备份时还没有这个模板"_s), qPrintable(whole.out));
        QCOMPARE(cli({u"templates"_s}).out, u"圆通\n中通\n"_s);
    }

    void create_listsEveryProblemOfTheSheet()
    {
        const QString sheet = m_dir.filePath(u"报价.csv"_s);
        QFile file(sheet);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("2026年中通报价表\n目的地,首重(元)\n上海,面议\n江苏,约5\n");
        file.close();
        const CliRun result = run({u"create"_s, u"问题表"_s, sheet});
        QCOMPARE(result.status, 2);
        QVERIFY(result.err.contains(u"缺少“续重价格”列（表头在第 2 行）"_s));
        QVERIFY(result.err.contains(u"第 3 行的首重(元)“面议”、第 4 行的首重(元)“约5”"_s));
        QVERIFY(!run({u"templates"_s}).out.contains(u"问题表"_s));
    }
    // Every table in the template layout becomes a template of its name, in
    // table order, as create makes it; a name taken is passed over unless
    // --replace. An Access database shares this path with the workbooks
    // no program here can write as .mdb.
    void migrate_layoutTablesTakenAndTakenNamesPassedOver()
    {
        const QString db = m_dir.filePath(u"migrate.db"_s);
        const QString book = testData(u"sheets/运费表.xlsx"_s);
        const auto migrate = [&](const QStringList &more) {
            return run(QStringList{u"--db"_s, db, u"migrate"_s, book} + more, false);
        };
        const QString others = u"跳过\t杂项\t不是运费模板（没有“地区”“首重价格”“续重价格”列）\n"
                               u"跳过\t引号\t不是运费模板（没有“地区”“首重价格”“续重价格”列）\n"_s;
        CliRun r = migrate({});
        QCOMPARE(r.status, int(CliOk));
        QCOMPARE(r.out, u"已导入\t运费\t4 行\n已导入\t模板\t3 行\n已导入\t空表\t0 行\n"_s + others);

        // The same rows as create makes of the same sheet.
        QCOMPARE(run({u"--db"_s, db, u"create"_s, u"对照"_s, book, u"--sheet"_s, u"运费"_s}, false).status,
                 int(CliOk));
        const QString created = run({u"--db"_s, db, u"rows"_s, u"对照"_s}, false).out;
        QCOMPARE(run({u"--db"_s, db, u"rows"_s, u"运费"_s}, false).out, created);

        r = migrate({});
        QCOMPARE(r.status, int(CliBadInput));
        QVERIFY2(r.out.startsWith(u"未导入\t运费\t已有名为“运费”的快递模板"_s), qPrintable(r.out));
        QVERIFY2(r.err.contains(u"3 张运费表没有导入"_s), qPrintable(r.err));

        r = migrate({u"--replace"_s});
        QCOMPARE(r.status, int(CliOk));
        QVERIFY(r.out.startsWith(u"已导入\t运费\t4 行\n"_s));
        QVERIFY(!run({u"--db"_s, db, u"backups"_s}, false).out.isEmpty());

#ifdef KUAIDI_TEST_ACCESS
        r = run({u"--db"_s, db, u"migrate"_s, testData(u"access/jackcess_testV1997.mdb"_s)}, false);
        QCOMPARE(r.status, int(CliBadInput));
        QVERIFY2(r.err.contains(u"没有运费模板格式的表"_s), qPrintable(r.err));
#endif
    }

    // Access 97 texts are GBK unless --encoding names another; a name no
    // converter knows is refused.
    void encodingOption()
    {
#ifndef KUAIDI_TEST_ACCESS
        QSKIP("this build reads no Access databases");
#endif
        const QString gbk = testData(u"access/ucanaccess_charsetGBK.mdb"_s);
        CliRun r = run({u"read"_s, gbk}, false);
        QCOMPARE(r.status, int(CliOk));
        QCOMPARE(r.out, u"ID\tfield1\n2\tGBK编码\n"_s);
        r = run({u"read"_s, gbk, u"--encoding"_s, u"windows-1252"_s}, false);
        QCOMPARE(r.out, u"ID\tfield1\n2\tGBK±àÂë\n"_s);
        r = run({u"sheets"_s, gbk, u"--encoding"_s, u"klingon"_s}, false);
        QCOMPARE(r.status, int(CliBadInput));
        QVERIFY2(r.err.contains(u"不认识的文字编码“klingon”"_s), qPrintable(r.err));
    }

    void curve_matchesSingleQuotesAndFindsCrossovers()
    {
        QTemporaryDir dir;
        const QString db = dir.filePath(u"curve.db"_s);
        // 甲 = 2w + 3 + other, 乙 = w + 14 + other: equal at 11 kg, 乙 cheaper above;
        // 丙 has no price for the region and is no courier there.
        createRateTemplate(db, u"甲"_s,
                           {rateRow(u"1"_s, u"杭州"_s, u"5"_s, u"2"_s, u"0.5"_s, u"0.8"_s, u"1"_s)});
        createRateTemplate(db, u"乙"_s,
                           {rateRow(u"1"_s, u"浙江"_s, u"15"_s, u"1"_s, u"0.5"_s, u"0.8"_s, u"1"_s)});
        createRateTemplate(db, u"丙"_s, {rateRow(u"1"_s, u"杭州"_s, u"不发"_s, u""_s)});
        const QStringList dbArgs{u"--db"_s, db};
        const CliRun json = run(dbArgs + QStringList{u"curve"_s, u"杭州"_s, u"--json"_s}, false);
        QCOMPARE(json.status, 0);
        const QJsonObject curve = QJsonDocument::fromJson(json.out.toUtf8()).object();
        const QJsonArray weights = curve.value(u"weights"_s).toArray();
        QCOMPARE(weights.size(), 100);
        QCOMPARE(curve.value(u"fees"_s).toObject().keys(), (QStringList{u"乙"_s, u"甲"_s}));
        for (const QString &courier : {u"甲"_s, u"乙"_s}) {
            const QJsonArray fees = curve.value(u"fees"_s).toObject().value(courier).toArray();
            for (qsizetype w = 0; w < weights.size(); w += 7) {
                const QString weight = numberToText(weights.at(w).toDouble());
                const CliRun quote = run(dbArgs + QStringList{u"quote"_s, u"杭州"_s, weight}, false);
                const QStringList line = quote.out.split(u'\n').filter(courier + u'\t').value(0).split(u'\t');
                QCOMPARE(numberToText(fees.at(w).toDouble()), line.value(2));
            }
        }
        const QJsonArray cheapest = curve.value(u"cheapest"_s).toArray();
        QCOMPARE(cheapest.size(), 2);
        QCOMPARE(cheapest.at(0).toObject().value(u"template"_s).toString(), u"甲"_s);
        QCOMPARE(cheapest.at(1).toObject().value(u"from"_s).toDouble(), 11.5);
        QCOMPARE(cheapest.at(1).toObject().value(u"template"_s).toString(), u"乙"_s);

        const CliRun table = run(dbArgs + QStringList{u"curve"_s, u"杭州"_s, u"--step"_s, u"10"_s}, false);
        QCOMPARE(table.out, u"重量\t甲\t乙\n10\t24\t25\n20\t44\t35\n30\t79\t60\n40\t116\t87\n50\t144\t105\n\n"
                            u"10\t甲\n20\t乙\n"_s);
        QCOMPARE(run(dbArgs + QStringList{u"curve"_s, u"火星"_s}, false).status, 1);
        QCOMPARE(run(dbArgs + QStringList{u"curve"_s, u"杭州"_s, u"--step"_s, u"0"_s}, false).status, 2);
        // The finest step allowed: 10,000 weights up to 50 kg.
        const CliRun finest =
            run(dbArgs + QStringList{u"curve"_s, u"杭州"_s, u"--step"_s, u"0.005"_s, u"--json"_s}, false);
        QCOMPARE(finest.status, 0);
        QCOMPARE(QJsonDocument::fromJson(finest.out.toUtf8()).object().value(u"weights"_s).toArray().size(),
                 10000);
    }
};

QTEST_GUILESS_MAIN(TestCli)
#include "tst_cli.moc"
