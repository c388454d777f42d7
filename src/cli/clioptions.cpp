#include "clioptions.h"

#include <core/numbertext.h>
#include <core/schema.h>
#include <fees/feecurve.h>
#include <fees/feequote.h>
#include <ratedb/ratedatabase.h>

#include <QCommandLineParser>
#include <QRegularExpression>

using namespace Qt::StringLiterals;

namespace Kuaidi {

QString usage()
{
    return uR"(用法:
  kuaidi-cli [--db PATH] templates
  kuaidi-cli [--db PATH] quote DESTINATION WEIGHT [--level LEVEL] [--volume M3] [--exact] [--json]
  kuaidi-cli [--db PATH] breakdown DESTINATION WEIGHT [--level LEVEL] [--volume M3] [--exact] [--row K]
  kuaidi-cli [--db PATH] rows TEMPLATE [--json]
  kuaidi-cli [--db PATH] rules TEMPLATE [--rounding 不取整|0.5|1] [--first-weight KG] [--divisor N]
                                [--brackets KG,KG,…] [--bands KG,KG,…] [--band-mode 全程|超出部分]
                                [--unit 1|0.5] [--max-weight KG]
  kuaidi-cli region TEXT
  kuaidi-cli address TEXT
  kuaidi-cli sheets WORKBOOK [--encoding NAME]
  kuaidi-cli read WORKBOOK [--sheet SHEET] [--json] [--encoding NAME]
  kuaidi-cli [--db PATH] create TEMPLATE WORKBOOK [--sheet SHEET] [--fee-20-30 X] [--fee-30-50 X]
                                 [--other-fee X] [--contact TEXT] [--encoding NAME]
  kuaidi-cli [--db PATH] create TEMPLATE WORKBOOK --replace …   (replaces the rows of TEMPLATE)
  kuaidi-cli [--db PATH] migrate OLD.mdb [--replace] [--encoding NAME]
  kuaidi-cli [--db PATH] delete TEMPLATE --yes
  kuaidi-cli [--db PATH] export TEMPLATE FILE.xlsx|FILE.csv
  kuaidi-cli [--db PATH] backups
  kuaidi-cli [--db PATH] restore BACKUP [--whole] --yes   (without --whole: only the templates it was taken for)
  kuaidi-cli [--db PATH] curve DESTINATION [--level LEVEL] [--volume M3] [--step KG] [--json]
  kuaidi-cli [--db PATH] batch ORDERS [--sheet SHEET] [--level LEVEL] [--templates A,B,…] [--out FILE]
  kuaidi-cli [--db PATH] reconcile BILL --template NAME [--sheet SHEET] [--level LEVEL]
                                 [--tolerance YUAN] [--out FILE]
  kuaidi-cli copy --from DB --to DB [--templates A,B,…] [--replace]

WORKBOOK 可以是 .xls、.xlsx、.ods、.csv 或 Access 数据库 .mdb、.accdb（每张表是一个工作表）；
--encoding 指定 Access 97 数据库（默认 gbk）和 CSV 文件的文字编码，如 gbk、big5、windows-1252。
migrate 把数据库中每张运费模板格式的表（有地区、首重价格、续重价格列）导入为同名模板。
PATH 和 DB 是数据库文件，或数据库服务器 postgresql://用户名@主机:端口/数据库名[?schema=名称]；
程序不保存密码，服务器的密码请写在 ~/.pgpass 文件中，或设置环境变量 PGPASSWORD。
)"_s;
}

ParsedCommandLine parseCommandLine(const QStringList &arguments)
{
    QCommandLineParser parser;
    const QCommandLineOption db(u"db"_s, u"rate database file"_s, u"PATH"_s);
    const QCommandLineOption from(u"from"_s, u"database to copy from"_s, u"DB"_s);
    const QCommandLineOption to(u"to"_s, u"database to copy to"_s, u"DB"_s);
    const QCommandLineOption level(u"level"_s, u"customer star level"_s, u"LEVEL"_s, levelNames().first());
    const QCommandLineOption json(u"json"_s, u"JSON output"_s);
    const QCommandLineOption row(u"row"_s, u"result row, from 0"_s, u"K"_s, u"0"_s);
    const QCommandLineOption sheet(u"sheet"_s, u"sheet to import"_s, u"SHEET"_s);
    const QCommandLineOption encoding(u"encoding"_s, u"encoding of Access 97 and CSV texts"_s, u"NAME"_s);
    const QCommandLineOption fee20(u"fee-20-30"_s, u"20–30 kg surcharge"_s, u"X"_s);
    const QCommandLineOption fee30(u"fee-30-50"_s, u"30–50 kg surcharge"_s, u"X"_s);
    const QCommandLineOption otherFee(u"other-fee"_s, u"other fee"_s, u"X"_s);
    const QCommandLineOption contact(u"contact"_s, u"contact text"_s, u"TEXT"_s);
    const QCommandLineOption volume(u"volume"_s, u"parcel volume, m³"_s, u"M3"_s);
    const QCommandLineOption exact(u"exact"_s, u"no city or province fallback"_s);
    const QCommandLineOption step(u"step"_s, u"weight step of a fee curve, kg"_s, u"KG"_s, u"0.5"_s);
    const QCommandLineOption replace(u"replace"_s, u"replace the rows of an existing template"_s);
    const QCommandLineOption yes(u"yes"_s, u"confirm a destructive command"_s);
    const QCommandLineOption whole(u"whole"_s, u"restore the whole database"_s);
    const QCommandLineOption rounding(u"rounding"_s, u"计费取整"_s, u"STEP"_s);
    const QCommandLineOption firstWeight(u"first-weight"_s, u"首重重量"_s, u"KG"_s);
    const QCommandLineOption divisor(u"divisor"_s, u"抛重系数"_s, u"N"_s);
    const QCommandLineOption brackets(u"brackets"_s, u"重量段"_s, u"KG,KG"_s);
    const QCommandLineOption bands(u"bands"_s, u"区间起点"_s, u"KG,KG"_s);
    const QCommandLineOption bandMode(u"band-mode"_s, u"区间计价"_s, u"MODE"_s);
    const QCommandLineOption unit(u"unit"_s, u"续重单位"_s, u"KG"_s);
    const QCommandLineOption maxWeight(u"max-weight"_s, u"最大重量"_s, u"KG"_s);
    const QCommandLineOption templates(u"templates"_s, u"templates to price by"_s, u"A,B"_s);
    const QCommandLineOption templateName(u"template"_s, u"template of the bill"_s, u"NAME"_s);
    const QCommandLineOption out(u"out"_s, u"output file, .csv or .xlsx"_s, u"FILE"_s);
    const QCommandLineOption tolerance(u"tolerance"_s, u"difference that still agrees, yuan"_s, u"YUAN"_s,
                                       u"0.01"_s);
    const QCommandLineOption help(QStringList{u"h"_s, u"help"_s}, u"usage"_s);
    const QCommandLineOption version(QStringList{u"v"_s, u"version"_s}, u"version"_s);
    parser.addOptions({db,      level,     json,    row,      sheet,       fee20,     fee30,     otherFee,
                       contact, volume,    exact,   rounding, firstWeight, divisor,   templates, templateName,
                       out,     tolerance, replace, yes,      step,        help,      version,   from,
                       to,      brackets,  bands,   bandMode, unit,        maxWeight, encoding,  whole});
    parser.addPositionalArgument(u"command"_s, u"command"_s);

    ParsedCommandLine parsed;
    if (!parser.parse(arguments)) {
        // "-1" reads as an option; it can only be meant as a weight.
        static const QRegularExpression negative(u"^-[0-9.]"_s);
        const QStringList numbers = arguments.mid(1).filter(negative);
        parsed.error = numbers.isEmpty()
                           ? parser.errorText()
                           : u"请输入正确的货物重量：“%1”不是大于 0 的数字"_s.arg(numbers.first());
        return parsed;
    }
    CliOptions &o = parsed.options;
    o.help = parser.isSet(help);
    o.version = parser.isSet(version);
    if (o.help || o.version)
        return parsed;
    QStringList positional = parser.positionalArguments();
    if (positional.isEmpty()) {
        parsed.error = u"缺少命令"_s;
        return parsed;
    }
    o.command = positional.takeFirst();
    o.arguments = positional;
    o.databasePath = parser.isSet(db) ? parser.value(db) : RateDatabase::defaultPath();
    o.from = parser.value(from);
    o.to = parser.value(to);
    o.level = parser.value(level);
    o.json = parser.isSet(json);
    o.sheet = parser.value(sheet);
    o.encoding = parser.value(encoding);
    o.defaults = {parser.value(fee20), parser.value(fee30), parser.value(otherFee), parser.value(contact)};
    o.exact = parser.isSet(exact);
    o.replace = parser.isSet(replace);
    o.yes = parser.isSet(yes);
    o.whole = parser.isSet(whole);
    const QList<const QCommandLineOption *> ruleOptions{&rounding, &firstWeight, &divisor, &brackets,
                                                        &bands,    &bandMode,    &unit,    &maxWeight};
    for (int i = 0; i < ruleOptions.size(); ++i) {
        if (parser.isSet(*ruleOptions.at(i)))
            o.ruleTexts.insert(i, parser.value(*ruleOptions.at(i)));
    }
    if (parser.isSet(volume)) {
        o.volume = parseNumber(parser.value(volume));
        if (!o.volume || *o.volume < 0) {
            parsed.error =
                u"--volume 需要一个不小于 0 的数字（立方米），“%1”不是"_s.arg(parser.value(volume));
            return parsed;
        }
    }
    if (parser.isSet(templates))
        o.templates = parser.value(templates).split(u',', Qt::SkipEmptyParts);
    o.templateName = parser.value(templateName);
    o.out = parser.value(out);
    const std::optional<double> yuan = parseNumber(parser.value(tolerance));
    if (!yuan || *yuan < 0) {
        parsed.error = u"--tolerance 需要一个不小于 0 的数字（元），“%1”不是"_s.arg(parser.value(tolerance));
        return parsed;
    }
    o.tolerance = *yuan;
    const std::optional<double> kilograms = parseWeight(parser.value(step));
    if (!kilograms || *kilograms > MaximumWeight) {
        parsed.error = u"--step 需要一个大于 0、不超过 50 的数字（KG），“%1”不是"_s.arg(parser.value(step));
        return parsed;
    }
    // Each weight of a curve is a line of output: a step that would print
    // millions of them is a slip of the keyboard.
    if (curveWeightCount(*kilograms, MaximumWeight) > MaxCurvePoints) {
        parsed.error = u"--step %1 太小：曲线最多 %2 个重量点，画到 50 KG 步长至少要 %3 KG"_s.arg(
            parser.value(step), QString::number(MaxCurvePoints),
            numberToText(MaximumWeight / double(MaxCurvePoints)));
        return parsed;
    }
    o.step = *kilograms;
    bool rowOk = false;
    o.row = parser.value(row).toInt(&rowOk);
    if (!rowOk || o.row < 0)
        parsed.error = u"--row 需要一个不小于 0 的整数"_s;
    else if (levelIndex(o.level) < 0)
        parsed.error = u"未知的收费级别“%1”，可选：%2"_s.arg(o.level, levelNames().join(u"、"));
    return parsed;
}

} // namespace Kuaidi
