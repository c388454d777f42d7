#include "odsreader.h"

#include "zippackage.h"

#include <core/numbertext.h>

#include <QDateTime>
#include <QFile>
#include <QRegularExpression>

#include <cmath>

using namespace Qt::StringLiterals;

namespace Kuaidi {

namespace {

constexpr qint64 MaxContentBytes = 256 * 1024 * 1024;
constexpr qsizetype MaxRows = 1'048'576;
constexpr qsizetype MaxColumns = 16'384;

const QString TableNs = u"urn:oasis:names:tc:opendocument:xmlns:table:1.0"_s;
const QString OfficeNs = u"urn:oasis:names:tc:opendocument:xmlns:office:1.0"_s;
const QString TextNs = u"urn:oasis:names:tc:opendocument:xmlns:text:1.0"_s;

bool isTableElement(const QXmlStreamReader &reader, QStringView name)
{
    return reader.name() == name && reader.namespaceUri() == TableNs;
}

// A repeat count: 1 when absent; nothing when it is no count at all.
std::optional<qsizetype> repeatsOf(const QXmlStreamAttributes &attrs, const QString &name)
{
    const QStringView value = attrs.value(TableNs, name);
    if (value.isEmpty())
        return 1;
    bool ok = false;
    const qlonglong count = value.toLongLong(&ok);
    if (!ok || count < 1)
        return std::nullopt;
    return qsizetype(qMin<qlonglong>(count, MaxRows + 1));
}

// "PT15H10M10S" (or "PT255H10M10.5S") as "15:10:10".
QString durationText(QStringView value)
{
    static const QRegularExpression duration(u"^-?P(?:(\\d+)D)?T(?:(\\d+)H)?(?:(\\d+)M)?(?:([\\d.]+)S)?$"_s);
    const QRegularExpressionMatch match = duration.match(value.toString());
    if (!match.hasMatch() || value.startsWith(u'-'))
        return value.toString();
    const qint64 seconds =
        qint64(match.capturedView(1).toLongLong()) * 86400 + match.capturedView(2).toLongLong() * 3600 +
        match.capturedView(3).toLongLong() * 60 + qRound64(match.capturedView(4).toDouble());
    return u"%1:%2:%3"_s.arg(seconds / 3600, 2, 10, QChar(u'0'))
        .arg(seconds / 60 % 60, 2, 10, QChar(u'0'))
        .arg(seconds % 60, 2, 10, QChar(u'0'));
}

// "2009-05-11" or "2009-05-11T10:20:30" as .xls dates read.
QString dateText(QStringView value)
{
    const QDateTime when = QDateTime::fromString(value.toString(), Qt::ISODateWithMs);
    if (!when.isValid())
        return value.toString();
    QString date = when.date().toString(u"yyyy-MM-dd");
    if (!value.contains(u'T') || when.time() == QTime(0, 0))
        return date;
    return date + u' ' + when.time().toString(u"HH:mm:ss");
}

// The text of a cell's paragraphs, from its start element to its end:
// paragraphs joined by line feeds, <text:s> as its spaces, tabs and line
// breaks as such, comments (<office:annotation>) left out.
QString paragraphs(QXmlStreamReader &reader)
{
    QString text;
    int paragraphsSeen = 0;
    int depth = 1;
    int paragraphDepth = 0; // the depth of the paragraph being read, or 0
    while (depth > 0 && !reader.atEnd()) {
        reader.readNext();
        if (reader.isEndElement()) {
            if (depth-- == paragraphDepth)
                paragraphDepth = 0;
        } else if (reader.isStartElement()) {
            const QStringView name = reader.name();
            if (reader.namespaceUri() == OfficeNs && name == u"annotation") {
                reader.skipCurrentElement();
                continue;
            }
            ++depth;
            if (reader.namespaceUri() != TextNs)
                continue;
            if ((name == u"p" || name == u"h") && paragraphDepth == 0) {
                if (paragraphsSeen++ > 0)
                    text += u'\n';
                paragraphDepth = depth;
            } else if (name == u"s") {
                const qsizetype count = reader.attributes().value(TextNs, u"c"_s).toLongLong();
                text += QString(qBound(qsizetype(1), count, qsizetype(1024)), u' ');
            } else if (name == u"tab") {
                text += u'\t';
            } else if (name == u"line-break") {
                text += u'\n';
            }
        } else if (reader.isCharacters() && paragraphDepth > 0) {
            text += reader.text();
        }
    }
    return text;
}

// A cell's value as text, by its value type; the reader stands on the
// cell's start element and is left on its end element.
QString cellText(QXmlStreamReader &reader)
{
    const QXmlStreamAttributes attrs = reader.attributes();
    const QStringView type = attrs.value(OfficeNs, u"value-type"_s);
    QString value;
    if (type == u"float" || type == u"percentage" || type == u"currency") {
        bool ok = false;
        const double number = attrs.value(OfficeNs, u"value"_s).toDouble(&ok);
        if (ok && std::isfinite(number))
            value = numberToText(number);
    } else if (type == u"date") {
        value = dateText(attrs.value(OfficeNs, u"date-value"_s));
    } else if (type == u"time") {
        value = durationText(attrs.value(OfficeNs, u"time-value"_s));
    } else if (type == u"boolean") {
        const QStringView truth = attrs.value(OfficeNs, u"boolean-value"_s);
        value = truth == u"true" || truth == u"1" ? u"TRUE"_s : u"FALSE"_s;
    } else if (type == u"string" && attrs.hasAttribute(OfficeNs, u"string-value"_s)) {
        value = attrs.value(OfficeNs, u"string-value"_s).toString();
    }
    const QString shown = paragraphs(reader);
    return value.isEmpty() && (type.isEmpty() || type == u"string") ? shown : value;
}

} // namespace

OdsReader::OdsReader() = default;
OdsReader::~OdsReader() = default;

std::optional<QByteArray> OdsReader::content()
{
    if (m_package) {
        std::optional<QByteArray> xml = m_package->read(u"content.xml"_s, MaxContentBytes);
        if (!xml)
            fail(m_package->lastError());
        return xml;
    }
    QFile file(m_path);
    if (!file.open(QIODevice::ReadOnly)) {
        fail(cannotOpenMessage());
        return std::nullopt;
    }
    if (file.size() > MaxContentBytes) {
        fail(tooLargeMessage());
        return std::nullopt;
    }
    return file.readAll();
}

bool OdsReader::open(const QString &path)
{
    m_path = path;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return fail(cannotOpenMessage());
    if (file.peek(4) == "PK\x03\x04") {
        m_package = std::make_unique<ZipPackage>();
        if (!m_package->open(path))
            return fail(m_package->lastError());
    }
    file.close();
    std::optional<QByteArray> xml = content();
    if (!xml)
        return false;
    PartReader reader(std::move(*xml));
    while (!reader.atEnd()) {
        reader.readNext();
        if (reader.isStartElement() && isTableElement(reader, u"table")) {
            addSheetName(reader.attributes().value(TableNs, u"name"_s).toString());
            reader.skipCurrentElement();
        }
    }
    if (reader.hasError())
        return fail(damagedMessage());
    return true;
}

std::optional<SheetRows> OdsReader::readSheet(qsizetype index)
{
    if (index < 0 || index >= sheetNames().size())
        return std::nullopt;
    std::optional<QByteArray> xml = content();
    if (!xml)
        return std::nullopt;
    PartReader reader(std::move(*xml));
    qsizetype table = -1;
    while (!reader.atEnd()) {
        reader.readNext();
        if (!reader.isStartElement() || !isTableElement(reader, u"table"))
            continue;
        if (++table < index) {
            reader.skipCurrentElement();
            continue;
        }
        SheetRows rows;
        if (!readRows(reader, rows))
            return std::nullopt;
        return rows;
    }
    fail(damagedMessage());
    return std::nullopt;
}

// The rows of the table whose start element the reader stands on.
bool OdsReader::readRows(QXmlStreamReader &reader, SheetRows &rows)
{
    SheetBudget budget;
    qsizetype rowNumber = 0; // rows passed so far
    int depth = 1;
    while (depth > 0 && !reader.atEnd()) {
        reader.readNext();
        if (reader.isEndElement()) {
            --depth;
            continue;
        }
        if (!reader.isStartElement())
            continue;
        if (!isTableElement(reader, u"table-row")) {
            // Row groups and header rows hold rows; anything else is skipped.
            if (isTableElement(reader, u"table-row-group") || isTableElement(reader, u"table-header-rows") ||
                isTableElement(reader, u"table-rows"))
                ++depth;
            else
                reader.skipCurrentElement();
            continue;
        }
        const std::optional<qsizetype> rowRepeats = repeatsOf(reader.attributes(), u"number-rows-repeated"_s);
        if (!rowRepeats)
            return fail(damagedMessage());
        QStringList cells;
        qsizetype column = 0;
        while (!reader.atEnd()) {
            reader.readNext();
            if (reader.isEndElement())
                break; // the row's end
            if (!reader.isStartElement())
                continue;
            if (!isTableElement(reader, u"table-cell") && !isTableElement(reader, u"covered-table-cell")) {
                reader.skipCurrentElement();
                continue;
            }
            const std::optional<qsizetype> repeats =
                repeatsOf(reader.attributes(), u"number-columns-repeated"_s);
            if (!repeats)
                return fail(damagedMessage());
            const QString text = cellText(reader);
            if (!text.isEmpty()) {
                if (column + *repeats > MaxColumns)
                    return fail(damagedMessage());
                if (!budget.take(column + *repeats - cells.size(), text.size() * *repeats))
                    return fail(budget.message());
                while (cells.size() < column)
                    cells.append(QString());
                for (qsizetype i = 0; i < *repeats; ++i)
                    cells.append(text);
            }
            column += *repeats;
        }
        if (!cells.isEmpty()) {
            if (rowNumber + *rowRepeats > MaxRows)
                return fail(damagedMessage());
            qsizetype chars = 0;
            for (const QString &cell : std::as_const(cells))
                chars += cell.size();
            for (qsizetype i = 0; i < *rowRepeats; ++i) {
                if (i > 0 && !budget.take(cells.size(), chars))
                    return fail(budget.message());
                rows.append(SheetRow{int(rowNumber + i + 1), cells});
            }
        }
        rowNumber += *rowRepeats;
    }
    if (reader.hasError())
        return fail(damagedMessage());
    return true;
}

} // namespace Kuaidi
