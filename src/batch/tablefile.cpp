#include "tablefile.h"

#include "xlsxwriter.h"

#include <core/numbertext.h>
#include <import/workbook.h>
#include <templates/ratesheet.h>

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>

using namespace Qt::StringLiterals;

namespace Kuaidi {

namespace {

// Whether Excel would take a cell of a .csv file for a formula (or for a
// command, as = and @ begin one).
bool looksLikeFormula(const QString &cell)
{
    if (cell.isEmpty())
        return false;
    switch (cell.front().unicode()) {
    case u'=':
    case u'+':
    case u'-':
    case u'@':
    case u'\t':
    case u'\r':
        return !isPlainNumber(cell);
    default:
        return false;
    }
}

// A write cut short (the disk filled, or the file met the system's size
// limit) comes without a reason of its own.
QString withReason(const QString &reason)
{
    return reason.isEmpty() || reason == u"Unknown error" ? u"磁盘已满，或文件超过了系统允许的大小"_s
                                                          : reason;
}

QString writeFailure(const QString &shown, const QString &reason)
{
    return u"无法写入“%1”：%2"_s.arg(shown, reason);
}

} // namespace

struct TableWriter::Private
{
    QString shown;
    Format format = Format::Csv;
    std::unique_ptr<QSaveFile> file;
    QIODevice *device = nullptr;
    std::unique_ptr<XlsxWriter> xlsx;
    qsizetype sheets = 0;
    bool guardFormulas = true;
    bool committed = false;
    QString error;

    bool fail(const QString &reason)
    {
        if (error.isEmpty())
            error = writeFailure(shown, reason);
        return false;
    }

    // The device's own failure, in words a seller reads.
    bool deviceFailed()
    {
        if (file && file->error() == QFileDevice::ResourceError)
            return fail(u"磁盘空间不足（%1）"_s.arg(file->errorString()));
        return fail(withReason(device->errorString()));
    }

    bool xlsxFailed()
    {
        if (file && file->error() != QFileDevice::NoError)
            return deviceFailed();
        return fail(withReason(xlsx->errorString()));
    }

    bool put(const QByteArray &bytes) { return device->write(bytes) == bytes.size() || deviceFailed(); }

    void start(QIODevice *onto)
    {
        device = onto;
        if (format == Format::Xlsx)
            xlsx = std::make_unique<XlsxWriter>(device);
    }
};

TableWriter::TableWriter(const QString &path) : d(std::make_unique<Private>())
{
    d->shown = QDir::toNativeSeparators(path);
    const QString suffix = QFileInfo(path).suffix().toLower();
    if (suffix != u"csv" && suffix != u"xlsx") {
        d->error = u"只能导出为 .xlsx 或 .csv 文件：“%1”"_s.arg(d->shown);
        return;
    }
    d->format = suffix == u"csv" ? Format::Csv : Format::Xlsx;
    d->file = std::make_unique<QSaveFile>(path);
    if (!d->file->open(QIODevice::WriteOnly)) {
        d->fail(u"无法创建文件（%1）"_s.arg(d->file->errorString()));
        return;
    }
    d->start(d->file.get());
}

TableWriter::TableWriter(QIODevice *device, Format format, const QString &shownName)
    : d(std::make_unique<Private>())
{
    d->shown = shownName;
    d->format = format;
    d->start(device);
}

TableWriter::~TableWriter()
{
    // Not committed: the file written aside goes, the one in place stays.
    if (d->file && !d->committed)
        d->file->cancelWriting();
}

QString TableWriter::errorString() const
{
    return d->error;
}

bool TableWriter::beginSheet(const QString &name, const QStringList &columns, const QSet<int> &numberColumns,
                             bool guardFormulas)
{
    if (!d->error.isEmpty())
        return false;
    ++d->sheets;
    d->guardFormulas = guardFormulas;
    if (d->format == Format::Xlsx)
        return d->xlsx->beginSheet(name, columns, numberColumns) || d->xlsxFailed();
    // A .csv file holds the first sheet alone.
    if (d->sheets > 1)
        return true;
    return d->put("\xEF\xBB\xBF") && d->put(csvRecord(columns, guardFormulas));
}

bool TableWriter::addRow(const QStringList &cells)
{
    if (!d->error.isEmpty())
        return false;
    if (d->sheets == 0)
        return d->fail(u"没有开始工作表"_s);
    if (d->format == Format::Xlsx)
        return d->xlsx->addRow(cells) || d->xlsxFailed();
    return d->sheets > 1 || d->put(csvRecord(cells, d->guardFormulas));
}

bool TableWriter::commit()
{
    if (!d->error.isEmpty())
        return false;
    if (d->sheets == 0)
        return d->fail(u"没有要写入的内容"_s);
    if (d->format == Format::Xlsx && !d->xlsx->finish())
        return d->xlsxFailed();
    if (d->file) {
        // QSaveFile::commit() does not check the last flush of its buffer:
        // a small file that did not fit on the disk would be moved into
        // place cut short.
        if (!d->file->flush() || !d->file->commit())
            return d->deviceFailed();
        d->committed = true;
    }
    return true;
}

QString writeTableFile(const QString &path, const QList<OutputSheet> &sheets)
{
    TableWriter writer(path);
    for (const OutputSheet &sheet : sheets) {
        if (!writer.beginSheet(sheet.name, sheet.table.columns, sheet.numberColumns, sheet.guardFormulas))
            return writer.errorString();
        for (const QStringList &row : sheet.table.rows) {
            if (!writer.addRow(row))
                return writer.errorString();
        }
    }
    return writer.commit() ? QString() : writer.errorString();
}

QByteArray csvRecord(const QStringList &cells, bool guardFormulas)
{
    QByteArray line;
    for (qsizetype c = 0; c < cells.size(); ++c) {
        if (c > 0)
            line += ',';
        QByteArray cell = cells.at(c).toUtf8();
        if (guardFormulas && looksLikeFormula(cells.at(c)))
            cell.prepend('\'');
        if (cell.contains(',') || cell.contains('"') || cell.contains('\n') || cell.contains('\r')) {
            cell.replace('"', "\"\"");
            cell = '"' + cell + '"';
        }
        line += cell;
    }
    return line + "\r\n";
}

QList<OutputSheet> templateSheets(const QString &name, const TextTable &rows, const BillingRules &rules)
{
    const QString sheet = isSheetName(name) ? name : u"模板"_s;
    // The rules' sheet never takes the name of the template's.
    QString rulesSheet = RulesSheetName.toString();
    if (sheet.compare(rulesSheet, Qt::CaseInsensitive) == 0)
        rulesSheet += u'2';
    const TextTable written(exportColumnTitles(rows.columns, rules), rows.rows);
    // Written to be read back by create: cells go in exactly as stored.
    return {{sheet, written, {}, false}, {rulesSheet, billingRulesSheet(rules), {}, false}};
}

std::optional<BillingRules> exportedBillingRules(const QString &path)
{
    Workbook workbook;
    if (!workbook.open(path))
        return std::nullopt;
    const QStringList names = workbook.sheetNames();
    for (qsizetype i = 1; i < names.size(); ++i) {
        if (!names.at(i).startsWith(RulesSheetName))
            continue;
        const std::optional<TextTable> sheet = workbook.readSheet(names.at(i));
        if (std::optional<BillingRules> rules = sheet ? billingRulesFromSheet(*sheet) : std::nullopt)
            return rules;
    }
    return std::nullopt;
}

} // namespace Kuaidi
