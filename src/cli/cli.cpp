#include "cli.h"

#include <batch/batchquote.h>
#include <batch/tablefile.h>
#include <core/numbertext.h>
#include <core/program.h>
#include <core/schema.h>
#include <fees/feecurve.h>
#include <fees/feequery.h>
#include <import/workbook.h>
#include <ratedb/ratedatabase.h>
#include <ratedb/templatecopy.h>
#include <regions/regiontable.h>
#include <templates/raterows.h>
#include <templates/ratesheet.h>
#include <templates/templategrid.h>

#include <QCommandLineParser>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTextStream>

using namespace Qt::StringLiterals;

namespace Kuaidi {

namespace {

QString usage()
{
    return uR"(用法:
  kuaidi-cli [--db PATH] templates
  kuaidi-cli [--db PATH] quote DESTINATION WEIGHT [--level LEVEL] [--volume M3] [--exact] [--json]
  kuaidi-cli [--db PATH] breakdown DESTINATION WEIGHT [--level LEVEL] [--volume M3] [--exact] [--row K]
  kuaidi-cli [--db PATH] rows TEMPLATE [--json]
  kuaidi-cli [--db PATH] rules TEMPLATE [--rounding 不取整|0.5|1] [--first-weight KG] [--divisor N]
  kuaidi-cli region TEXT
  kuaidi-cli address TEXT
  kuaidi-cli sheets WORKBOOK
  kuaidi-cli read WORKBOOK [--sheet SHEET] [--json]
  kuaidi-cli [--db PATH] create TEMPLATE WORKBOOK [--sheet SHEET] [--fee-20-30 X] [--fee-30-50 X]
                                 [--other-fee X] [--contact TEXT]
  kuaidi-cli [--db PATH] create TEMPLATE WORKBOOK --replace …   (replaces the rows of TEMPLATE)
  kuaidi-cli [--db PATH] delete TEMPLATE --yes
  kuaidi-cli [--db PATH] export TEMPLATE FILE.xlsx|FILE.csv
  kuaidi-cli [--db PATH] backups
  kuaidi-cli [--db PATH] restore BACKUP --yes
  kuaidi-cli [--db PATH] curve DESTINATION [--level LEVEL] [--volume M3] [--step KG] [--json]
  kuaidi-cli [--db PATH] batch ORDERS [--sheet SHEET] [--level LEVEL] [--templates A,B,…] [--out FILE]
  kuaidi-cli [--db PATH] reconcile BILL --template NAME [--sheet SHEET] [--level LEVEL]
                                 [--tolerance YUAN] [--out FILE]
  kuaidi-cli copy --from DB --to DB [--templates A,B,…] [--replace]

PATH 和 DB 是数据库文件，或数据库服务器 postgresql://用户名@主机:端口/数据库名[?schema=名称]；
程序不保存密码，服务器的密码请写在 ~/.pgpass 文件中，或设置环境变量 PGPASSWORD。
)"_s;
}

struct CliOptions
{
    bool help = false;
    bool version = false;
    QString command;
    QStringList arguments; // positional arguments after the command
    QString databasePath;
    QString from; // copy: the database to copy from, and the one to copy to
    QString to;
    QString level;
    bool json = false;
    int row = 0;
    QString sheet;
    NewTemplateDefaults defaults;
    std::optional<double> volume;
    bool exact = false;
    bool replace = false;
    bool yes = false;
    // Billing rules to store; unset ones stay as they are.
    std::optional<QString> rounding;
    std::optional<QString> firstWeight;
    std::optional<QString> divisor;
    // Batch work.
    std::optional<QStringList> templates;
    QString templateName;
    QString out;
    double tolerance = 0.01;
    double step = 0.5;
};

/// The parsed command line, or the message for a usage error.
struct ParsedCommandLine
{
    CliOptions options;
    QString error;
};

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
    const QCommandLineOption fee20(u"fee-20-30"_s, u"20–30 kg surcharge"_s, u"X"_s);
    const QCommandLineOption fee30(u"fee-30-50"_s, u"30–50 kg surcharge"_s, u"X"_s);
    const QCommandLineOption otherFee(u"other-fee"_s, u"other fee"_s, u"X"_s);
    const QCommandLineOption contact(u"contact"_s, u"contact text"_s, u"TEXT"_s);
    const QCommandLineOption volume(u"volume"_s, u"parcel volume, m³"_s, u"M3"_s);
    const QCommandLineOption exact(u"exact"_s, u"no city or province fallback"_s);
    const QCommandLineOption step(u"step"_s, u"weight step of a fee curve, kg"_s, u"KG"_s, u"0.5"_s);
    const QCommandLineOption replace(u"replace"_s, u"replace the rows of an existing template"_s);
    const QCommandLineOption yes(u"yes"_s, u"confirm a destructive command"_s);
    const QCommandLineOption rounding(u"rounding"_s, u"计费取整"_s, u"STEP"_s);
    const QCommandLineOption firstWeight(u"first-weight"_s, u"首重重量"_s, u"KG"_s);
    const QCommandLineOption divisor(u"divisor"_s, u"抛重系数"_s, u"N"_s);
    const QCommandLineOption templates(u"templates"_s, u"templates to price by"_s, u"A,B"_s);
    const QCommandLineOption templateName(u"template"_s, u"template of the bill"_s, u"NAME"_s);
    const QCommandLineOption out(u"out"_s, u"output file, .csv or .xlsx"_s, u"FILE"_s);
    const QCommandLineOption tolerance(u"tolerance"_s, u"difference that still agrees, yuan"_s, u"YUAN"_s,
                                       u"0.01"_s);
    const QCommandLineOption help(QStringList{u"h"_s, u"help"_s}, u"usage"_s);
    const QCommandLineOption version(QStringList{u"v"_s, u"version"_s}, u"version"_s);
    parser.addOptions({db,        level,        json,   row,       sheet,    fee20,       fee30,
                       otherFee,  contact,      volume, exact,     rounding, firstWeight, divisor,
                       templates, templateName, out,    tolerance, replace,  yes,         step,
                       help,      version,      from,   to});
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
    o.defaults = {parser.value(fee20), parser.value(fee30), parser.value(otherFee), parser.value(contact)};
    o.exact = parser.isSet(exact);
    o.replace = parser.isSet(replace);
    o.yes = parser.isSet(yes);
    const auto optional = [&parser](const QCommandLineOption &option) {
        return parser.isSet(option) ? std::optional<QString>(parser.value(option)) : std::nullopt;
    };
    o.rounding = optional(rounding);
    o.firstWeight = optional(firstWeight);
    o.divisor = optional(divisor);
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
    o.step = *kilograms;
    bool rowOk = false;
    o.row = parser.value(row).toInt(&rowOk);
    if (!rowOk || o.row < 0)
        parsed.error = u"--row 需要一个不小于 0 的整数"_s;
    else if (levelIndex(o.level) < 0)
        parsed.error = u"未知的收费级别“%1”，可选：%2"_s.arg(o.level, levelNames().join(u"、"));
    return parsed;
}

// One line of tab-separated cells; tabs and line breaks inside a cell would
// break the columns, so they become blanks.
QString tsvLine(const QStringList &cells)
{
    QStringList clean;
    clean.reserve(cells.size());
    for (QString cell : cells) {
        cell.replace(u'\t', u' ').replace(u'\r', u' ').replace(u'\n', u' ');
        clean << cell;
    }
    return clean.join(u'\t');
}

QString jsonString(const QString &text)
{
    const QByteArray array = QJsonDocument(QJsonArray{text}).toJson(QJsonDocument::Compact);
    return QString::fromUtf8(array.mid(1, array.size() - 2));
}

// Objects keep the column order, which QJsonObject would sort away.
void writeJson(QTextStream &out, const QStringList &titles, const QList<QStringList> &rows)
{
    out << u'[';
    for (qsizetype r = 0; r < rows.size(); ++r) {
        if (r > 0)
            out << u',';
        out << "\n  {"_L1;
        for (qsizetype c = 0; c < titles.size(); ++c) {
            if (c > 0)
                out << ", "_L1;
            out << jsonString(titles.at(c)) << ": "_L1
                << jsonString(c < rows.at(r).size() ? rows.at(r).at(c) : QString());
        }
        out << u'}';
    }
    out << (rows.isEmpty() ? "]\n"_L1 : "\n]\n"_L1);
}

void writeTable(QTextStream &out, bool json, const QStringList &titles, const QList<QStringList> &rows)
{
    if (json) {
        writeJson(out, titles, rows);
        return;
    }
    out << tsvLine(titles) << u'\n';
    for (const QStringList &row : rows)
        out << tsvLine(row) << u'\n';
}

class Cli
{
public:
    Cli(const CliOptions &options, QTextStream &out, QTextStream &err) : m_o(options), m_out(out), m_err(err)
    {
    }

    int run()
    {
        struct Command
        {
            QLatin1StringView name;
            int arguments;
            int (Cli::*handler)();
        };
        static constexpr Command commands[] = {
            {"templates"_L1, 0, &Cli::templates},   {"quote"_L1, 2, &Cli::quote},
            {"breakdown"_L1, 2, &Cli::breakdown},   {"rows"_L1, 1, &Cli::rows},
            {"region"_L1, 1, &Cli::region},         {"sheets"_L1, 1, &Cli::sheets},
            {"create"_L1, 2, &Cli::create},         {"address"_L1, 1, &Cli::address},
            {"rules"_L1, 1, &Cli::rules},           {"read"_L1, 1, &Cli::read},
            {"batch"_L1, 1, &Cli::batch},           {"reconcile"_L1, 1, &Cli::reconcile},
            {"delete"_L1, 1, &Cli::deleteTemplate}, {"export"_L1, 2, &Cli::exportTemplate},
            {"backups"_L1, 0, &Cli::listBackups},   {"restore"_L1, 1, &Cli::restore},
            {"curve"_L1, 1, &Cli::curve},           {"copy"_L1, 0, &Cli::copy},
        };
        for (const Command &command : commands) {
            if (m_o.command != command.name)
                continue;
            if (m_o.arguments.size() != command.arguments)
                return usageError(u"命令 %1 需要 %2 个参数"_s.arg(m_o.command).arg(command.arguments));
            return (this->*command.handler)();
        }
        return usageError(u"未知命令“%1”"_s.arg(m_o.command));
    }

    int usageError(const QString &message)
    {
        m_err << message << u'\n' << usage();
        return CliBadInput;
    }

private:
    int badInput(const QString &message)
    {
        m_err << message << u'\n';
        return CliBadInput;
    }

    int databaseError(const RateDatabase &db)
    {
        m_err << db.lastError() << u'\n';
        return CliDatabaseError;
    }

    int templates()
    {
        RateDatabase db(m_o.databasePath);
        const QStringList names = db.templateNames();
        if (!db.lastError().isEmpty())
            return databaseError(db);
        for (const QString &name : names)
            m_out << name << u'\n';
        return CliOk;
    }

    /// The calculator's query: search, then price. Fills @p quotes.
    int runQuery(QList<FeeQuote> &quotes)
    {
        const std::optional<double> weight = parseWeight(m_o.arguments.at(1));
        if (!weight)
            return badInput(u"请输入正确的货物重量：“%1”不是大于 0 的数字"_s.arg(m_o.arguments.at(1)));
        RateDatabase db(m_o.databasePath);
        const QStringList names = db.templateNames();
        if (!db.lastError().isEmpty())
            return databaseError(db);
        const std::optional<QHash<QString, BillingRules>> rules = db.billingRulesOfAll();
        if (!rules)
            return databaseError(db);
        QStringList failed;
        const QList<MatchedRateRow> rows =
            DestinationSearch(db, names, m_o.arguments.at(0), &failed,
                              m_o.exact ? SearchScope::Exact : SearchScope::WithFallback);
        for (const QString &name : failed)
            m_err << u"模板“%1”无法查询，已跳过\n"_s.arg(name);
        const QList<FeeQuote> all = ComputeFees(rows, Parcel{*weight, m_o.volume}, m_o.level, *rules);
        if (rows.isEmpty())
            m_err << u"没有找到目的地包含“%1”的快递\n"_s.arg(m_o.arguments.at(0));
        else if (all.isEmpty())
            m_err << u"货物重量超过 %1KG，不能计算运费\n"_s.arg(numberToText(MaximumWeight));
        // Only fees a seller can charge are listed; the others are named,
        // so that nobody reads a missing price as free shipping.
        for (const FeeQuote &quote : all) {
            if (quote.hasFee())
                quotes.append(quote);
            else
                m_err << tsvLine({quote.courier, quote.destination,
                                  quote.priced ? u"报价不大于0"_s : UnpricedText.toString()})
                      << u'\n';
        }
        return CliOk;
    }

    int quote()
    {
        QList<FeeQuote> quotes;
        if (const int status = runQuery(quotes); status != CliOk)
            return status;
        QList<QStringList> rows;
        for (const FeeQuote &q : std::as_const(quotes))
            rows << q.toCells();
        writeTable(m_out, m_o.json, FeeQuote::titles(), rows);
        return CliOk;
    }

    int breakdown()
    {
        QList<FeeQuote> quotes;
        if (const int status = runQuery(quotes); status != CliOk)
            return status;
        if (quotes.isEmpty())
            return CliOk;
        if (m_o.row >= quotes.size())
            return badInput(u"只有 %1 行结果，没有第 %2 行（从 0 数起）"_s.arg(quotes.size()).arg(m_o.row));
        const FeeQuote &quote = quotes.at(m_o.row);
        m_out << FeeBreakdownText(quote, m_o.arguments.at(1), quote.billing) << u'\n';
        return CliOk;
    }

    /// CliOk when template @p name is in the database, or the status that
    /// says why it cannot be used.
    int checkTemplateExists(RateDatabase &db, const QString &name)
    {
        const QStringList names = db.templateNames();
        if (!db.lastError().isEmpty())
            return databaseError(db);
        if (!names.contains(name))
            return badInput(u"没有名为“%1”的快递模板"_s.arg(name));
        return CliOk;
    }

    int rows()
    {
        const QString &name = m_o.arguments.at(0);
        RateDatabase db(m_o.databasePath);
        if (const int status = checkTemplateExists(db, name); status != CliOk)
            return status;
        const std::optional<TextTable> table = db.readTemplate(name);
        if (!table)
            return databaseError(db);
        writeTable(m_out, m_o.json, RateColumns(), rateRowsOf(*table));
        return CliOk;
    }

    int region()
    {
        const std::optional<RegionMatch> match = MatchRegion(m_o.arguments.at(0));
        if (!match)
            return CliNoRegionMatch;
        m_out << tsvLine({match->entry->name.toString(), match->entry->province.toString(),
                          match->entry->elementId.toString(), QString::number(match->row)})
              << u'\n';
        return CliOk;
    }

    int address()
    {
        const std::optional<ResolvedAddress> resolved = ResolveAddress(m_o.arguments.at(0));
        if (!resolved)
            return CliNoRegionMatch;
        m_out << tsvLine({resolved->province->name.toString(),
                          resolved->city ? resolved->city->name.toString() : QString()})
              << u'\n';
        return CliOk;
    }

    /// Prints a template's billing rules, storing the ones given first.
    int rules()
    {
        const QString &name = m_o.arguments.at(0);
        RateDatabase db(m_o.databasePath);
        if (const int status = checkTemplateExists(db, name); status != CliOk)
            return status;
        std::optional<BillingRules> rules = db.billingRules(name);
        if (!rules)
            return databaseError(db);
        if (m_o.rounding || m_o.firstWeight || m_o.divisor) {
            const QStringList current = billingRuleTexts(*rules);
            QString problem;
            rules = billingRulesFromTexts(m_o.rounding.value_or(current.at(0)),
                                          m_o.firstWeight.value_or(current.at(1)),
                                          m_o.divisor.value_or(current.at(2)), &problem);
            if (!rules)
                return badInput(problem);
            if (!db.setBillingRules(name, *rules))
                return databaseError(db);
        }
        const QStringList texts = billingRuleTexts(*rules);
        for (int i = 0; i < texts.size(); ++i)
            m_out << billingRuleNames().at(i) << u'\t' << texts.at(i) << u'\n';
        return CliOk;
    }

    /// The sheet --sheet names (the first without it) of @p path.
    int readChosenSheet(const QString &path, std::optional<TextTable> &sheet)
    {
        Workbook workbook;
        if (!workbook.open(path))
            return badInput(workbook.failureMessage());
        const QStringList sheetNames = workbook.sheetNames();
        const QString sheetName = m_o.sheet.isEmpty() ? sheetNames.value(0) : m_o.sheet;
        if (!sheetNames.contains(sheetName))
            return badInput(u"工作簿中没有名为“%1”的表，可选：%2"_s.arg(sheetName, sheetNames.join(u"、")));
        sheet = workbook.readSheet(sheetName);
        if (!sheet)
            return badInput(workbook.failureMessage());
        return CliOk;
    }

    /// Prints a sheet as the program reads it: its fields, then its records.
    int read()
    {
        std::optional<TextTable> sheet;
        if (const int status = readChosenSheet(m_o.arguments.at(0), sheet); status != CliOk)
            return status;
        writeTable(m_out, m_o.json, sheet->columns, sheet->rows);
        return CliOk;
    }

    int sheets()
    {
        Workbook workbook;
        if (!workbook.open(m_o.arguments.at(0)))
            return badInput(workbook.failureMessage());
        for (const QString &name : workbook.sheetNames())
            m_out << name << u'\n';
        return CliOk;
    }

    /// The new-template page's steps: load the sheet, match provinces,
    /// preview with the defaults, save.
    int create()
    {
        const QString &name = m_o.arguments.at(0);
        if (const QString problem = checkTemplateName(name); !problem.isEmpty())
            return badInput(problem);
        const QList<std::pair<QLatin1StringView, QString>> fees{
            {"--fee-20-30"_L1, m_o.defaults.surcharge20To30},
            {"--fee-30-50"_L1, m_o.defaults.surcharge30To50},
            {"--other-fee"_L1, m_o.defaults.otherFee}};
        for (const auto &[option, value] : fees) {
            if (!isPriceText(value))
                return badInput(u"%1 需要一个数字，“%2”不是数字"_s.arg(option, value));
        }
        std::optional<TextTable> sheet;
        if (const int status = readChosenSheet(m_o.arguments.at(1), sheet); status != CliOk)
            return status;

        if (const QString problem = newTemplateSizeProblem(*sheet); !problem.isEmpty())
            return badInput(problem);
        const RateSheet rates = readRateSheet(*sheet);
        if (!rates.problems.isEmpty())
            return badInput(rates.problems.join(u'\n'));
        const TextTable grid = newTemplateGrid(rates, m_o.defaults);
        if (const QString problem = checkTemplateColumns(grid.columns); !problem.isEmpty())
            return badInput(problem);
        // An exported template brings its billing rules along.
        const std::optional<BillingRules> rules = exportedBillingRules(m_o.arguments.at(1));

        RateDatabase db(m_o.databasePath);
        const QStringList existing = db.templateNames();
        if (!db.lastError().isEmpty())
            return databaseError(db);
        const bool exists = existing.contains(name);
        if (exists && !m_o.replace)
            return badInput(u"保存失败：已有名为“%1”的快递模板（用 --replace 替换它的行）"_s.arg(name));
        if (!exists && existing.contains(name, Qt::CaseInsensitive))
            return badInput(u"保存失败：已有名为“%1”的快递模板"_s.arg(name));
        if (!(exists ? db.replaceTemplate(name, grid.columns, grid.rows)
                     : db.createTemplate(name, grid.columns, grid.rows)))
            return databaseError(db);
        if (rules && !db.setBillingRules(name, *rules))
            return databaseError(db);
        m_out << grid.rows.size() << u'\n';
        return CliOk;
    }

    /// The templates to price by, read into memory, and their billing
    /// rules; CliOk or the status that says why not.
    int batchPricer(RateDatabase &db, const QStringList &wanted, std::optional<OrderPricer> &pricer)
    {
        const QStringList names = db.templateNames();
        if (!db.lastError().isEmpty())
            return databaseError(db);
        for (const QString &name : wanted) {
            if (!names.contains(name))
                return badInput(u"没有名为“%1”的快递模板"_s.arg(name));
        }
        QStringList failed;
        const QList<std::shared_ptr<const TemplateRows>> rows = db.templateRows(wanted, &failed);
        if (!failed.isEmpty())
            return databaseError(db);
        const std::optional<QHash<QString, BillingRules>> rules = db.billingRulesOfAll();
        if (!rules)
            return databaseError(db);
        pricer.emplace(rows, *rules, levelIndex(m_o.level));
        return CliOk;
    }

    /// The result to --out, or to standard output with the summary on
    /// standard error.
    int writeResult(const QList<OutputSheet> &sheets)
    {
        const OutputSheet &result = sheets.at(0);
        const OutputSheet &summary = sheets.at(1);
        if (!m_o.out.isEmpty()) {
            if (const QString error = writeTableFile(m_o.out, sheets); !error.isEmpty())
                return badInput(error);
            if (QFileInfo(m_o.out).suffix().compare(u"csv"_s, Qt::CaseInsensitive) != 0)
                return CliOk;
        } else {
            writeTable(m_out, false, result.table.columns, result.table.rows);
        }
        writeTable(m_err, false, summary.table.columns, summary.table.rows);
        return CliOk;
    }

    int batch()
    {
        const OrderSheetResult sheet = readOrderSheet(m_o.arguments.at(0), m_o.sheet, false);
        if (!sheet.sheet)
            return badInput(sheet.error);
        RateDatabase db(m_o.databasePath);
        QStringList wanted = m_o.templates.value_or(db.templateNames());
        if (!db.lastError().isEmpty())
            return databaseError(db);
        std::optional<OrderPricer> pricer;
        if (const int status = batchPricer(db, wanted, pricer); status != CliOk)
            return status;
        const QList<BatchLine> lines = *priceOrders(*sheet.sheet, *pricer);
        return writeResult(batchSheets(*sheet.sheet, lines, wanted));
    }

    int reconcile()
    {
        if (m_o.templateName.isEmpty())
            return usageError(u"命令 reconcile 需要 --template NAME"_s);
        const OrderSheetResult sheet = readOrderSheet(m_o.arguments.at(0), m_o.sheet, true);
        if (!sheet.sheet)
            return badInput(sheet.error);
        RateDatabase db(m_o.databasePath);
        std::optional<OrderPricer> pricer;
        if (const int status = batchPricer(db, {m_o.templateName}, pricer); status != CliOk)
            return status;
        const QList<BillCheck> checks = *ReconcileBill(*sheet.sheet, *pricer, 0, m_o.tolerance);
        return writeResult(reconcileSheets(*sheet.sheet, checks));
    }

    /// A destructive command runs only with --yes; without it nothing
    /// changes.
    int confirmed(const QString &what)
    {
        if (m_o.yes)
            return CliOk;
        return badInput(u"%1会修改数据库，请加上 --yes 确认（之前会自动备份）；没有做任何修改"_s.arg(what));
    }

    int deleteTemplate()
    {
        const QString &name = m_o.arguments.at(0);
        RateDatabase db(m_o.databasePath);
        if (const int status = checkTemplateExists(db, name); status != CliOk)
            return status;
        if (const int status = confirmed(u"删除模板“%1”"_s.arg(name)); status != CliOk)
            return status;
        if (!db.deleteTemplate(name))
            return databaseError(db);
        return CliOk;
    }

    int exportTemplate()
    {
        const QString &name = m_o.arguments.at(0);
        RateDatabase db(m_o.databasePath);
        if (const int status = checkTemplateExists(db, name); status != CliOk)
            return status;
        const std::optional<TextTable> table = db.readTemplate(name);
        const std::optional<BillingRules> rules = db.billingRules(name);
        if (!table || !rules)
            return databaseError(db);
        if (const QString error = writeTableFile(m_o.arguments.at(1), templateSheets(name, *table, *rules));
            !error.isEmpty())
            return badInput(error);
        return CliOk;
    }

    int listBackups()
    {
        RateDatabase db(m_o.databasePath);
        const QList<Backup> all = db.backups();
        if (!db.lastError().isEmpty())
            return databaseError(db);
        for (const Backup &backup : all)
            m_out << tsvLine({backup.name, backup.time.toString(u"yyyy-MM-dd HH:mm:ss"), backup.operation})
                  << u'\n';
        return CliOk;
    }

    int restore()
    {
        const QString &name = m_o.arguments.at(0);
        RateDatabase db(m_o.databasePath);
        const QList<Backup> all = db.backups();
        if (!db.lastError().isEmpty())
            return databaseError(db);
        if (std::none_of(all.cbegin(), all.cend(), [&name](const Backup &b) { return b.name == name; }))
            return badInput(u"没有名为“%1”的备份（kuaidi-cli backups 列出全部备份）"_s.arg(name));
        if (const int status = confirmed(u"恢复备份“%1”"_s.arg(name)); status != CliOk)
            return status;
        if (!db.restoreBackup(name))
            return databaseError(db);
        return CliOk;
    }

    /// Every courier's fee over weight for one destination, and where the
    /// cheapest changes.
    int curve()
    {
        RateDatabase db(m_o.databasePath);
        const QStringList names = db.templateNames();
        if (!db.lastError().isEmpty())
            return databaseError(db);
        QStringList failed;
        const QList<std::shared_ptr<const TemplateRows>> rows = db.templateRows(names, &failed);
        const std::optional<QHash<QString, BillingRules>> rules = db.billingRulesOfAll();
        if (!failed.isEmpty() || !rules)
            return databaseError(db);
        const FeeCurve fees =
            ComputeFeeCurve(rows, *rules, m_o.arguments.at(0), levelIndex(m_o.level), m_o.volume, m_o.step);
        if (fees.isEmpty()) {
            m_err << u"没有快递为“%1”报价\n"_s.arg(m_o.arguments.at(0));
            return CliNoRegionMatch;
        }
        const auto text = [](const std::optional<double> &fee) {
            return fee ? numberToText(*fee) : QString();
        };
        if (m_o.json) {
            QJsonArray weights;
            for (const double w : fees.weights)
                weights.append(w);
            QJsonObject byCourier;
            for (qsizetype c = 0; c < fees.couriers.size(); ++c) {
                QJsonArray values;
                for (const std::optional<double> &fee : fees.fees.at(c))
                    values.append(fee ? QJsonValue(*fee) : QJsonValue());
                byCourier.insert(fees.couriers.at(c), values);
            }
            QJsonArray cheapest;
            for (const FeeCurve::Crossover &at : fees.cheapest)
                cheapest.append(QJsonObject{{u"from"_s, at.from}, {u"template"_s, at.courier}});
            const QJsonObject all{{u"weights"_s, weights}, {u"fees"_s, byCourier}, {u"cheapest"_s, cheapest}};
            m_out << QString::fromUtf8(QJsonDocument(all).toJson(QJsonDocument::Indented));
            return CliOk;
        }
        m_out << tsvLine(QStringList{u"重量"_s} + fees.couriers) << u'\n';
        for (qsizetype w = 0; w < fees.weights.size(); ++w) {
            QStringList line{numberToText(fees.weights.at(w))};
            for (qsizetype c = 0; c < fees.couriers.size(); ++c)
                line << text(fees.fees.at(c).at(w));
            m_out << tsvLine(line) << u'\n';
        }
        m_out << u'\n';
        for (const FeeCurve::Crossover &at : fees.cheapest)
            m_out << numberToText(at.from) << u'\t' << at.courier << u'\n';
        return CliOk;
    }

    int copy()
    {
        if (m_o.from.isEmpty() || m_o.to.isEmpty())
            return usageError(u"命令 copy 需要 --from 和 --to 两个数据库"_s);
        const auto same = [](const QString &location) {
            return isServerLocation(location) ? location : QFileInfo(location).absoluteFilePath();
        };
        if (same(m_o.from) == same(m_o.to))
            return badInput(u"--from 和 --to 是同一个数据库"_s);
        if (!isServerLocation(m_o.from) && !QFileInfo::exists(m_o.from))
            return badInput(u"来源数据库“%1”不存在"_s.arg(m_o.from));
        if (m_o.templates && m_o.templates->isEmpty())
            return badInput(u"--templates 没有列出任何模板"_s);
        RateDatabase source(m_o.from);
        RateDatabase target(m_o.to);
        const TemplateCopy copied =
            copyTemplates(source, target, m_o.templates.value_or(QStringList()), m_o.replace);
        for (qsizetype i = 0; i < copied.copied.size(); ++i)
            m_out << u"已复制\t%1\t%2 行\n"_s.arg(copied.copied.at(i)).arg(copied.rowCounts.at(i));
        if (copied.error.isEmpty())
            return CliOk;
        m_err << copied.error << u'\n';
        return copied.refused ? CliBadInput : CliDatabaseError;
    }

    const CliOptions &m_o;
    QTextStream &m_out;
    QTextStream &m_err;
};

} // namespace

int runCli(const QStringList &arguments, QTextStream &out, QTextStream &err)
{
    const ParsedCommandLine parsed = parseCommandLine(arguments);
    Cli cli(parsed.options, out, err);
    if (!parsed.error.isEmpty())
        return cli.usageError(parsed.error);
    if (parsed.options.help) {
        out << usage();
        return CliOk;
    }
    if (parsed.options.version) {
        out << "kuaidi-cli "_L1 << programVersion() << u'\n';
        return CliOk;
    }
    return cli.run();
}

} // namespace Kuaidi
