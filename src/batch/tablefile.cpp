#include "tablefile.h"

#include <core/numbertext.h>
#include <import/ooxmltext.h>
#include <import/workbook.h>
#include <templates/ratesheet.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <zip.h>

#include <algorithm>
#include <optional>

using namespace Qt::StringLiterals;

namespace Kuaidi {

namespace {

QString writeCsv(const QString &path, const TextTable &table)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return file.errorString();
    file.write("\xEF\xBB\xBF");
    file.write(csvRecord(table.columns));
    for (const QStringList &row : table.rows)
        file.write(csvRecord(row));
    if (!file.commit())
        return file.errorString();
    return {};
}

// Excel's own column names: A … Z, AA … ZZ, AAA ….
QByteArray columnName(int column)
{
    QByteArray name;
    for (int c = column + 1; c > 0; c = (c - 1) / 26)
        name.prepend(char('A' + (c - 1) % 26));
    return name;
}

// Text as XML character data: markup escaped, and the control characters
// XML cannot hold at all left out.
void appendEscaped(QByteArray &xml, const QString &text)
{
    const QByteArray utf8 = text.toUtf8();
    for (const char c : utf8) {
        switch (c) {
        case '&':
            xml += "&amp;";
            break;
        case '<':
            xml += "&lt;";
            break;
        case '>':
            xml += "&gt;";
            break;
        case '"':
            xml += "&quot;";
            break;
        default:
            if (static_cast<unsigned char>(c) >= 0x20 || c == '\t' || c == '\n' || c == '\r')
                xml += c;
        }
    }
}

// Names Excel accepts for a sheet: 1 to 31 characters, none of []:*?/\.
bool isSheetName(const QString &name)
{
    static const QString forbidden = u"[]:*?/\\"_s;
    return !name.isEmpty() && name.size() <= 31 &&
           std::none_of(name.cbegin(), name.cend(), [](QChar c) { return forbidden.contains(c); });
}

QByteArray sheetXml(const OutputSheet &sheet)
{
    const TextTable &table = sheet.table;
    qsizetype width = table.columns.size();
    for (const QStringList &row : table.rows)
        width = qMax(width, row.size());
    QList<QByteArray> names;
    for (int c = 0; c < width; ++c)
        names << columnName(c);

    QByteArray xml;
    xml.reserve((table.rows.size() + 1) * width * 24 + 512);
    xml += R"(<?xml version="1.0" encoding="UTF-8" standalone="yes"?>)"
           "\n"
           R"(<worksheet xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main"><sheetData>)";
    const auto appendRow = [&](qsizetype r, const QStringList &cells, bool header) {
        const QByteArray number = QByteArray::number(r + 1);
        xml += "<row r=\"" + number + "\">";
        for (int c = 0; c < cells.size(); ++c) {
            const QString &cell = cells.at(c);
            if (cell.isEmpty())
                continue;
            xml += "<c r=\"" + names.at(c) + number + '"';
            if (header)
                xml += " s=\"1\"";
            if (!header && sheet.numberColumns.contains(c)) {
                if (const std::optional<double> value = parseNumber(cell)) {
                    xml += "><v>" + numberToText(*value).toLatin1() + "</v></c>";
                    continue;
                }
            }
            xml += R"( t="inlineStr"><is><t xml:space="preserve">)";
            appendEscaped(xml, escapeOoxmlText(cell));
            xml += "</t></is></c>";
        }
        xml += "</row>";
    };
    appendRow(0, table.columns, true);
    for (qsizetype r = 0; r < table.rows.size(); ++r)
        appendRow(r + 1, table.rows.at(r), false);
    xml += "</sheetData></worksheet>";
    return xml;
}

// The parts of a workbook of @p sheets, by their names in the package.
QList<std::pair<QByteArray, QByteArray>> workbookParts(const QList<OutputSheet> &sheets)
{
    QByteArray types =
        R"(<?xml version="1.0" encoding="UTF-8" standalone="yes"?>)"
        "\n"
        R"(<Types xmlns="http://schemas.openxmlformats.org/package/2006/content-types">)"
        R"(<Default Extension="rels" ContentType="application/vnd.openxmlformats-package.relationships+xml"/>)"
        R"(<Default Extension="xml" ContentType="application/xml"/>)"
        R"(<Override PartName="/xl/workbook.xml" ContentType="application/vnd.openxmlformats-officedocument.spreadsheetml.sheet.main+xml"/>)"
        R"(<Override PartName="/xl/styles.xml" ContentType="application/vnd.openxmlformats-officedocument.spreadsheetml.styles+xml"/>)";
    QByteArray workbook =
        R"(<?xml version="1.0" encoding="UTF-8" standalone="yes"?>)"
        "\n"
        R"(<workbook xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main" )"
        R"(xmlns:r="http://schemas.openxmlformats.org/officeDocument/2006/relationships"><sheets>)";
    QByteArray relations =
        R"(<?xml version="1.0" encoding="UTF-8" standalone="yes"?>)"
        "\n"
        R"(<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">)";
    QList<std::pair<QByteArray, QByteArray>> sheetParts;
    for (qsizetype i = 0; i < sheets.size(); ++i) {
        const QByteArray n = QByteArray::number(i + 1);
        types +=
            R"(<Override PartName="/xl/worksheets/sheet)" + n +
            R"(.xml" ContentType="application/vnd.openxmlformats-officedocument.spreadsheetml.worksheet+xml"/>)";
        workbook += "<sheet name=\"";
        appendEscaped(workbook, sheets.at(i).name);
        workbook += "\" sheetId=\"" + n + "\" r:id=\"rId" + n + "\"/>";
        relations +=
            "<Relationship Id=\"rId" + n +
            R"(" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/worksheet" Target="worksheets/sheet)" +
            n + ".xml\"/>";
        sheetParts.append({"xl/worksheets/sheet" + n + ".xml", sheetXml(sheets.at(i))});
    }
    const QByteArray styles = QByteArray::number(sheets.size() + 1);
    relations +=
        "<Relationship Id=\"rId" + styles +
        R"(" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/styles" Target="styles.xml"/>)"
        "</Relationships>";
    types += "</Types>";
    workbook += "</sheets></workbook>";
    // The package's own parts first, as other programs write them.
    QList<std::pair<QByteArray, QByteArray>> parts;
    parts.append({"[Content_Types].xml", types});
    parts.append(
        {QByteArray("_rels/.rels"),
         QByteArray(
             R"(<?xml version="1.0" encoding="UTF-8" standalone="yes"?>)"
             "\n"
             R"(<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">)"
             R"(<Relationship Id="rId1" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/officeDocument" Target="xl/workbook.xml"/>)"
             "</Relationships>")});
    parts.append({"xl/workbook.xml", workbook});
    parts.append({"xl/_rels/workbook.xml.rels", relations});
    // Two cell formats: the default, and bold for the header row.
    parts.append(
        {QByteArray("xl/styles.xml"),
         QByteArray(
             R"(<?xml version="1.0" encoding="UTF-8" standalone="yes"?>)"
             "\n"
             R"(<styleSheet xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main">)"
             R"(<fonts count="2"><font><sz val="11"/><name val="Calibri"/></font>)"
             R"(<font><b/><sz val="11"/><name val="Calibri"/></font></fonts>)"
             R"(<fills count="2"><fill><patternFill patternType="none"/></fill>)"
             R"(<fill><patternFill patternType="gray125"/></fill></fills>)"
             R"(<borders count="1"><border><left/><right/><top/><bottom/><diagonal/></border></borders>)"
             R"(<cellStyleXfs count="1"><xf numFmtId="0" fontId="0" fillId="0" borderId="0"/></cellStyleXfs>)"
             R"(<cellXfs count="2"><xf numFmtId="0" fontId="0" fillId="0" borderId="0" xfId="0"/>)"
             R"(<xf numFmtId="0" fontId="1" fillId="0" borderId="0" xfId="0" applyFont="1"/></cellXfs>)"
             R"(<cellStyles count="1"><cellStyle name="Normal" xfId="0" builtinId="0"/></cellStyles>)"
             "</styleSheet>")});
    return parts + sheetParts;
}

// A zip archive of @p parts (name, bytes), built in memory.
std::optional<QByteArray> zipped(const QList<std::pair<QByteArray, QByteArray>> &parts)
{
    zip_error_t error;
    zip_error_init(&error);
    zip_source_t *archive = zip_source_buffer_create(nullptr, 0, 0, &error);
    zip_error_fini(&error);
    if (!archive)
        return std::nullopt;
    // Kept past zip_close(), which writes into it, to be read back.
    zip_source_keep(archive);
    const auto failed = [archive](zip_t *zip) {
        if (zip)
            zip_discard(zip);
        zip_source_free(archive);
        return std::nullopt;
    };
    zip_t *zip = zip_open_from_source(archive, ZIP_TRUNCATE, nullptr);
    if (!zip)
        return failed(nullptr);
    for (const auto &[name, bytes] : parts) {
        zip_source_t *source = zip_source_buffer(zip, bytes.constData(), zip_uint64_t(bytes.size()), 0);
        const zip_int64_t index = source ? zip_file_add(zip, name.constData(), source, ZIP_FL_ENC_UTF_8) : -1;
        if (index < 0 || zip_set_file_compression(zip, zip_uint64_t(index), ZIP_CM_DEFLATE, 1) < 0) {
            if (source && index < 0)
                zip_source_free(source);
            return failed(zip);
        }
    }
    if (zip_close(zip) < 0)
        return failed(zip);

    std::optional<QByteArray> bytes;
    if (zip_source_open(archive) == 0) {
        if (zip_source_seek(archive, 0, SEEK_END) == 0) {
            const zip_int64_t size = zip_source_tell(archive);
            QByteArray read(qsizetype(std::max<zip_int64_t>(size, 0)), Qt::Uninitialized);
            if (size >= 0 && zip_source_seek(archive, 0, SEEK_SET) == 0 &&
                zip_source_read(archive, read.data(), zip_uint64_t(size)) == size)
                bytes = std::move(read);
        }
        zip_source_close(archive);
    }
    zip_source_free(archive);
    return bytes;
}

QString writeXlsx(const QString &path, const QList<OutputSheet> &sheets)
{
    for (const OutputSheet &sheet : sheets) {
        if (!isSheetName(sheet.name))
            return u"工作表名“%1”不能用于 Excel"_s.arg(sheet.name);
    }
    // Made in memory and saved in one go, so that a failure never leaves
    // half a file (and no file is replaced under libzip's feet, which
    // Windows may refuse); deflated at the fastest level, which costs a few
    // per cent of size and saves most of the time.
    const QList<std::pair<QByteArray, QByteArray>> parts = workbookParts(sheets);
    const std::optional<QByteArray> bytes = zipped(parts);
    if (!bytes)
        return u"无法创建工作簿"_s;
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(*bytes) != bytes->size() || !file.commit())
        return file.errorString();
    return {};
}

} // namespace

QByteArray csvRecord(const QStringList &cells)
{
    QByteArray line;
    for (qsizetype c = 0; c < cells.size(); ++c) {
        if (c > 0)
            line += ',';
        QByteArray cell = cells.at(c).toUtf8();
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
    const TextTable written(exportColumnTitles(rows.columns, rules), rows.rows);
    return {{isSheetName(name) ? name : u"模板"_s, written, {}},
            {RulesSheetName.toString(), billingRulesSheet(rules), {}}};
}

std::optional<BillingRules> exportedBillingRules(const QString &path)
{
    Workbook workbook;
    if (!workbook.open(path) || !workbook.sheetNames().contains(RulesSheetName.toString()))
        return std::nullopt;
    const std::optional<TextTable> sheet = workbook.readSheet(RulesSheetName.toString());
    return sheet ? billingRulesFromSheet(*sheet) : std::nullopt;
}

QString writeTableFile(const QString &path, const QList<OutputSheet> &sheets)
{
    if (sheets.isEmpty())
        return u"没有要写入的内容"_s;
    const QString suffix = QFileInfo(path).suffix().toLower();
    QString error;
    if (suffix == u"csv")
        error = writeCsv(path, sheets.first().table);
    else if (suffix == u"xlsx")
        error = writeXlsx(path, sheets);
    else
        return u"只能导出为 .xlsx 或 .csv 文件：“%1”"_s.arg(QDir::toNativeSeparators(path));
    return error.isEmpty() ? QString() : u"无法写入“%1”：%2"_s.arg(QDir::toNativeSeparators(path), error);
}

} // namespace Kuaidi
