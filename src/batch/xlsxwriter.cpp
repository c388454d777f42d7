#include "xlsxwriter.h"

#include <core/numbertext.h>
#include <import/ooxmltext.h>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace Kuaidi {

namespace {

// Excel's own limits of a sheet.
constexpr qint64 MaxRows = 1'048'576;
constexpr qsizetype MaxColumns = 16'384;
// Column widths are fitted to the header and this many rows.
constexpr qsizetype WidthRows = 100;
constexpr qsizetype FlushBytes = 256 * 1024;

constexpr char XmlDeclaration[] = R"(<?xml version="1.0" encoding="UTF-8" standalone="yes"?>)"
                                  "\n";

// Excel's own column names: A … Z, AA … ZZ, AAA ….
QByteArray columnName(int column)
{
    QByteArray name;
    for (int c = column + 1; c > 0; c = (c - 1) / 26)
        name.prepend(char('A' + (c - 1) % 26));
    return name;
}

// Whether Excel's _xHHHH_ escaping changes @p text: most texts are plain.
bool needsOoxmlEscape(const QString &text)
{
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t u = text.at(i).unicode();
        if ((u < 0x20 && u != u'\t' && u != u'\n') || (u >= 0xD800 && u < 0xE000) || u >= 0xFFFE ||
            (u == u'_' && i + 1 < text.size() && text.at(i + 1) == u'x'))
            return true;
    }
    return false;
}

// Text as XML character data, encoded as UTF-8 as it goes: markup escaped,
// and the control characters XML cannot hold at all left out (texts that
// have them went through escapeOoxmlText() first).
void appendEscaped(QByteArray &xml, QStringView text)
{
    const char16_t *p = text.utf16();
    const char16_t *const end = p + text.size();
    for (; p != end; ++p) {
        const char32_t u = *p;
        if (u < 0x80) {
            switch (u) {
            case u'&':
                xml += "&amp;";
                break;
            case u'<':
                xml += "&lt;";
                break;
            case u'>':
                xml += "&gt;";
                break;
            case u'"':
                xml += "&quot;";
                break;
            default:
                if (u >= 0x20 || u == u'\t' || u == u'\n' || u == u'\r')
                    xml += char(u);
            }
        } else if (u < 0x800) {
            xml += char(0xC0 | (u >> 6));
            xml += char(0x80 | (u & 0x3F));
        } else if (QChar::isHighSurrogate(u) && p + 1 != end && QChar::isLowSurrogate(p[1])) {
            const char32_t code = QChar::surrogateToUcs4(char16_t(u), *++p);
            const char bytes[] = {char(0xF0 | (code >> 18)), char(0x80 | ((code >> 12) & 0x3F)),
                                  char(0x80 | ((code >> 6) & 0x3F)), char(0x80 | (code & 0x3F))};
            xml.append(bytes, 4);
        } else if (!QChar::isSurrogate(u)) {
            const char bytes[] = {char(0xE0 | (u >> 12)), char(0x80 | ((u >> 6) & 0x3F)),
                                  char(0x80 | (u & 0x3F))};
            xml.append(bytes, 3);
        }
    }
}

// Whether XML would lose the text's own blanks unless told to keep them.
bool needsSpacePreserved(QStringView text)
{
    return text.front().isSpace() || text.back().isSpace() || text.contains(u'\n') || text.contains(u'\t');
}

// Roughly the characters of the default font a text takes: Chinese ones
// twice as wide as Latin ones; the longest line of several.
int shownWidth(const QString &text)
{
    int widest = 0;
    int width = 0;
    for (qsizetype i = 0; i < qMin(text.size(), qsizetype(200)); ++i) {
        const QChar c = text.at(i);
        if (c == u'\n') {
            width = 0;
            continue;
        }
        if (!c.isLowSurrogate())
            width += c.unicode() >= 0x1100 ? 2 : 1;
        widest = qMax(widest, width);
    }
    return widest;
}

QByteArray contentTypes(qsizetype sheets)
{
    QByteArray types =
        XmlDeclaration +
        QByteArray(
            R"(<Types xmlns="http://schemas.openxmlformats.org/package/2006/content-types">)"
            R"(<Default Extension="rels" ContentType="application/vnd.openxmlformats-package.relationships+xml"/>)"
            R"(<Default Extension="xml" ContentType="application/xml"/>)"
            R"(<Override PartName="/xl/workbook.xml" ContentType="application/vnd.openxmlformats-officedocument.spreadsheetml.sheet.main+xml"/>)"
            R"(<Override PartName="/xl/styles.xml" ContentType="application/vnd.openxmlformats-officedocument.spreadsheetml.styles+xml"/>)");
    for (qsizetype i = 1; i <= sheets; ++i) {
        types +=
            R"(<Override PartName="/xl/worksheets/sheet)" + QByteArray::number(i) +
            R"(.xml" ContentType="application/vnd.openxmlformats-officedocument.spreadsheetml.worksheet+xml"/>)";
    }
    return types + "</Types>";
}

QByteArray workbookXml(const QStringList &sheets)
{
    QByteArray workbook =
        XmlDeclaration +
        QByteArray(
            R"(<workbook xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main" )"
            R"(xmlns:r="http://schemas.openxmlformats.org/officeDocument/2006/relationships"><sheets>)");
    for (qsizetype i = 0; i < sheets.size(); ++i) {
        const QByteArray n = QByteArray::number(i + 1);
        workbook += "<sheet name=\"";
        appendEscaped(workbook, sheets.at(i));
        workbook += "\" sheetId=\"" + n + "\" r:id=\"rId" + n + "\"/>";
    }
    return workbook + "</sheets></workbook>";
}

QByteArray workbookRelations(qsizetype sheets)
{
    QByteArray relations =
        XmlDeclaration +
        QByteArray(R"(<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">)");
    for (qsizetype i = 1; i <= sheets; ++i) {
        const QByteArray n = QByteArray::number(i);
        relations +=
            "<Relationship Id=\"rId" + n +
            R"(" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/worksheet" Target="worksheets/sheet)" +
            n + ".xml\"/>";
    }
    relations +=
        "<Relationship Id=\"rId" + QByteArray::number(sheets + 1) +
        R"(" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/styles" Target="styles.xml"/>)";
    return relations + "</Relationships>";
}

QByteArray packageRelations()
{
    return XmlDeclaration +
           QByteArray(
               R"(<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">)"
               R"(<Relationship Id="rId1" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/officeDocument" Target="xl/workbook.xml"/>)"
               "</Relationships>");
}

// Two cell formats: the default, and bold for the header row.
QByteArray styles()
{
    return XmlDeclaration +
           QByteArray(
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
               "</styleSheet>");
}

} // namespace

bool isPlainNumber(QStringView text)
{
    qsizetype i = text.startsWith(u'-') || text.startsWith(u'+') ? 1 : 0;
    bool digits = false;
    bool point = false;
    for (; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c >= u'0' && c <= u'9')
            digits = true;
        else if (c == u'.' && !point)
            point = true;
        else
            return false;
    }
    return digits;
}

bool isSheetName(const QString &name)
{
    static const QString forbidden = u"[]:*?/\\"_s;
    return !name.isEmpty() && name.size() <= 31 && !name.startsWith(u'\'') && !name.endsWith(u'\'') &&
           std::none_of(name.cbegin(), name.cend(), [](QChar c) { return forbidden.contains(c); });
}

XlsxWriter::XlsxWriter(QIODevice *device) : m_zip(device) {}

bool XlsxWriter::fail(const QString &reason)
{
    if (m_error.isEmpty())
        m_error = reason;
    return false;
}

bool XlsxWriter::beginSheet(const QString &name, const QStringList &columns, const QSet<int> &numberColumns)
{
    if (!m_error.isEmpty() || (m_inSheet && !endSheet()))
        return false;
    if (!isSheetName(name))
        return fail(u"工作表名“%1”不能用于 Excel"_s.arg(name));
    if (m_sheetNames.contains(name, Qt::CaseInsensitive))
        return fail(u"工作表名“%1”重复"_s.arg(name));
    if (columns.size() > MaxColumns)
        return fail(u"超过 Excel 一个工作表最多 %1 列"_s.arg(MaxColumns));
    m_sheetNames << name;
    if (!m_zip.beginEntry("xl/worksheets/sheet" + QByteArray::number(m_sheetNames.size()) + ".xml"))
        return false;
    m_inSheet = true;
    m_columns = columns;
    m_numbers = numberColumns;
    m_firstRows.clear();
    m_started = false;
    m_rows = 0;
    return true;
}

bool XlsxWriter::addRow(const QStringList &cells)
{
    if (!m_error.isEmpty())
        return false;
    if (!m_inSheet)
        return fail(u"没有开始工作表"_s);
    if (!m_started) {
        m_firstRows.append(cells);
        return m_firstRows.size() < WidthRows || writeSheetStart();
    }
    return appendRow(cells, false) && flush(false);
}

bool XlsxWriter::writeSheetStart()
{
    QList<int> widths(m_columns.size(), 0);
    const auto measure = [&widths](const QStringList &row, int extra) {
        for (qsizetype c = 0; c < row.size(); ++c) {
            if (c >= widths.size())
                widths.resize(c + 1, 0);
            widths[c] = qMax(widths.at(c), shownWidth(row.at(c)) + extra);
        }
    };
    measure(m_columns, 1); // bold
    for (const QStringList &row : std::as_const(m_firstRows))
        measure(row, 0);
    if (widths.size() > MaxColumns)
        return fail(u"超过 Excel 一个工作表最多 %1 列"_s.arg(MaxColumns));

    m_xml += XmlDeclaration;
    m_xml += R"(<worksheet xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main">)"
             R"(<sheetViews><sheetView workbookViewId="0">)"
             R"(<pane ySplit="1" topLeftCell="A2" activePane="bottomLeft" state="frozen"/>)"
             R"(<selection pane="bottomLeft" activeCell="A2" sqref="A2"/></sheetView></sheetViews>)";
    if (!widths.isEmpty()) {
        m_xml += "<cols>";
        for (qsizetype c = 0; c < widths.size(); ++c) {
            const QByteArray n = QByteArray::number(c + 1);
            const int width = qBound(6, widths.at(c) + 2, 60);
            m_xml += "<col min=\"" + n + "\" max=\"" + n + "\" width=\"" + QByteArray::number(width) +
                     "\" customWidth=\"1\"/>";
        }
        m_xml += "</cols>";
    }
    m_xml += "<sheetData>";
    m_started = true;
    if (!appendRow(m_columns, true))
        return false;
    for (const QStringList &row : std::as_const(m_firstRows)) {
        if (!appendRow(row, false))
            return false;
    }
    m_firstRows.clear();
    return flush(false);
}

bool XlsxWriter::appendRow(const QStringList &cells, bool header)
{
    if (m_rows >= MaxRows)
        return fail(u"超过 Excel 一个工作表最多 %1 行，请导出为 .csv 文件"_s.arg(MaxRows));
    if (cells.size() > MaxColumns)
        return fail(u"超过 Excel 一个工作表最多 %1 列"_s.arg(MaxColumns));
    while (m_columnNames.size() < cells.size())
        m_columnNames << columnName(int(m_columnNames.size()));
    const QByteArray number = QByteArray::number(++m_rows);
    m_xml += "<row r=\"" + number + "\">";
    for (int c = 0; c < cells.size(); ++c) {
        const QString &cell = cells.at(c);
        if (cell.isEmpty())
            continue;
        m_xml += "<c r=\"" + m_columnNames.at(c) + number + '"';
        if (header)
            m_xml += " s=\"1\"";
        if (!header && m_numbers.contains(c)) {
            // Most numbers are already written as XML writes them: digits,
            // a point between digits, a minus sign.
            const QChar first = cell.front() == u'-' && cell.size() > 1 ? cell.at(1) : cell.front();
            if (cell.size() <= 15 && isPlainNumber(cell) && first.isDigit() && cell.back().isDigit()) {
                m_xml += "><v>" + QStringView(cell).toLatin1() + "</v></c>";
                continue;
            }
            if (const std::optional<double> value = parseNumber(cell)) {
                m_xml += "><v>" + numberToText(*value).toLatin1() + "</v></c>";
                continue;
            }
        }
        const QString text = needsOoxmlEscape(cell) ? escapeOoxmlText(cell) : cell;
        m_xml += needsSpacePreserved(text) ? R"( t="inlineStr"><is><t xml:space="preserve">)"
                                           : R"( t="inlineStr"><is><t>)";
        appendEscaped(m_xml, text);
        m_xml += "</t></is></c>";
    }
    m_xml += "</row>";
    return true;
}

bool XlsxWriter::flush(bool always)
{
    if (!always && m_xml.size() < FlushBytes)
        return true;
    const bool written = m_zip.write(m_xml);
    m_xml.resize(0); // keeps its capacity for the next rows
    return written;
}

bool XlsxWriter::endSheet()
{
    if (!m_started && !writeSheetStart())
        return false;
    m_xml += "</sheetData></worksheet>";
    m_inSheet = false;
    return flush(true);
}

bool XlsxWriter::finish()
{
    if (!m_error.isEmpty() || (m_inSheet && !endSheet()))
        return false;
    if (m_sheetNames.isEmpty())
        return fail(u"没有要写入的内容"_s);
    const QList<std::pair<QByteArray, QByteArray>> parts{
        {"[Content_Types].xml", contentTypes(m_sheetNames.size())},
        {"_rels/.rels", packageRelations()},
        {"xl/workbook.xml", workbookXml(m_sheetNames)},
        {"xl/_rels/workbook.xml.rels", workbookRelations(m_sheetNames.size())},
        {"xl/styles.xml", styles()},
    };
    for (const auto &[name, bytes] : parts) {
        if (!m_zip.beginEntry(name) || !m_zip.write(bytes))
            return false;
    }
    return m_zip.finish();
}

} // namespace Kuaidi
