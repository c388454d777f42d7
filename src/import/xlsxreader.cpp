#include "xlsxreader.h"

#include "ooxmltext.h"
#include "zippackage.h"

#include <core/excerpt.h>
#include <core/numbertext.h>

#include <QDateTime>
#include <QHash>
#include <QMap>

#include <cmath>

using namespace Qt::StringLiterals;

namespace Kuaidi {

namespace {

// Worksheets and the shared strings may be large; the parts that only name
// and describe them never are.
constexpr qint64 MaxPartBytes = 256 * 1024 * 1024;
constexpr qint64 MaxIndexPartBytes = 16 * 1024 * 1024;
constexpr int MaxRows = 1'048'576;
constexpr int MaxColumns = 16'384;

struct Relationship
{
    QString type;
    QString target;
};

QString folderOf(const QString &part)
{
    return part.left(part.lastIndexOf(u'/') + 1);
}

QString relsPartOf(const QString &part)
{
    return folderOf(part) + u"_rels/"_s + part.mid(part.lastIndexOf(u'/') + 1) + u".rels"_s;
}

// Targets are relative to the folder of the part that names them unless they
// start with '/'. Anything climbing out of the archive is refused.
QString resolveTarget(const QString &folder, const QString &target)
{
    QString path = target.startsWith(u'/') || target.startsWith(u'\\') ? target.mid(1) : folder + target;
    path.replace(u'\\', u'/');
    QStringList parts;
    for (const QString &segment : path.split(u'/', Qt::SkipEmptyParts)) {
        if (segment == u"..") {
            if (parts.isEmpty())
                return {};
            parts.removeLast();
        } else if (segment != u".") {
            parts.append(segment);
        }
    }
    return parts.join(u'/');
}

QHash<QString, Relationship> parseRelationships(const QByteArray &xml, const QString &folder)
{
    QHash<QString, Relationship> rels;
    QXmlStreamReader reader(xml);
    while (!reader.atEnd()) {
        reader.readNext();
        if (!reader.isStartElement() || reader.name() != u"Relationship")
            continue;
        const QXmlStreamAttributes attrs = reader.attributes();
        if (attrs.value("TargetMode"_L1) == u"External")
            continue;
        rels.insert(
            attrs.value("Id"_L1).toString(),
            {attrs.value("Type"_L1).toString(), resolveTarget(folder, attrs.value("Target"_L1).toString())});
    }
    return rels;
}

// Text of an <si> or <is> element: its own <t> plus the <t> of every rich-text
// run, leaving out phonetic guides (<rPh>), which are not part of the value.
QString readRichText(QXmlStreamReader &reader)
{
    QString text;
    const QString endName = reader.name().toString();
    while (!reader.atEnd()) {
        reader.readNext();
        if (reader.isStartElement()) {
            if (reader.name() == u"t")
                text += reader.readElementText(QXmlStreamReader::IncludeChildElements);
            else if (reader.name() == u"rPh")
                reader.skipCurrentElement();
        } else if (reader.isEndElement() && reader.name() == endName) {
            break;
        }
    }
    return unescapeOoxmlText(text);
}

// "BC12" -> 54 (0-based column), or -1 when there are no letters or the
// column lies beyond the last one a worksheet can have.
int columnOfReference(QStringView ref)
{
    int column = 0;
    qsizetype i = 0;
    for (; i < ref.size() && i < 4; ++i) {
        const char16_t c = ref[i].unicode();
        if (c >= u'A' && c <= u'Z')
            column = column * 26 + (c - u'A' + 1);
        else if (c >= u'a' && c <= u'z')
            column = column * 26 + (c - u'a' + 1);
        else
            break;
    }
    if (i == 0 || column > MaxColumns)
        return -1;
    return column - 1;
}

bool isTrue(QStringView value)
{
    return value == u"1" || value.compare(u"true", Qt::CaseInsensitive) == 0;
}

} // namespace

XlsxReader::XlsxReader() = default;
XlsxReader::~XlsxReader() = default;

bool XlsxReader::open(const QString &path)
{
    m_package = std::make_unique<ZipPackage>();
    if (!m_package->open(path))
        return fail(m_package->lastError());

    // The workbook part is normally xl/workbook.xml, but the package
    // relationships have the last word.
    QString workbookPart = u"xl/workbook.xml"_s;
    if (m_package->contains(u"_rels/.rels"_s)) {
        const std::optional<QByteArray> rootRels = m_package->read(u"_rels/.rels"_s, MaxIndexPartBytes);
        if (!rootRels)
            return fail(m_package->lastError());
        for (const Relationship &rel : parseRelationships(*rootRels, QString())) {
            if (rel.type.endsWith(u"/officeDocument") && !rel.target.isEmpty() &&
                m_package->contains(rel.target))
                workbookPart = rel.target;
        }
    }
    std::optional<QByteArray> workbook = m_package->read(workbookPart, MaxIndexPartBytes);
    if (!workbook)
        return fail(m_package->lastError());
    const std::optional<QByteArray> workbookRels =
        m_package->read(relsPartOf(workbookPart), MaxIndexPartBytes);
    if (!workbookRels)
        return fail(m_package->lastError());
    const QHash<QString, Relationship> rels = parseRelationships(*workbookRels, folderOf(workbookPart));

    PartReader reader(std::move(*workbook));
    while (!reader.atEnd()) {
        reader.readNext();
        if (!reader.isStartElement())
            continue;
        if (reader.name() == u"workbookPr") {
            m_date1904 = isTrue(reader.attributes().value("date1904"_L1));
            continue;
        }
        if (reader.name() != u"sheet")
            continue;
        QString name;
        QString id;
        for (const QXmlStreamAttribute &attr : reader.attributes()) {
            if (attr.name() == u"name")
                name = attr.value().toString();
            else if (attr.name() == u"id" && !attr.namespaceUri().isEmpty())
                id = attr.value().toString();
        }
        const auto rel = rels.constFind(id);
        if (rel == rels.cend() || rel->target.isEmpty())
            return fail(damagedMessage() + u"（找不到工作表“%1”的数据）"_s.arg(excerpt(name)));
        // Chart sheets and macro sheets hold no table.
        if (rel->type.endsWith(u"/worksheet")) {
            addSheetName(name);
            m_sheetParts.append(rel->target);
        }
    }
    if (reader.hasError())
        return fail(damagedMessage());

    m_sharedStringsPart = folderOf(workbookPart) + u"sharedStrings.xml"_s;
    QString stylesPart = folderOf(workbookPart) + u"styles.xml"_s;
    for (const Relationship &rel : rels) {
        if (rel.type.endsWith(u"/sharedStrings"))
            m_sharedStringsPart = rel.target;
        else if (rel.type.endsWith(u"/styles"))
            stylesPart = rel.target;
    }
    return readStyles(stylesPart);
}

// What each cell format shows: the number formats of styles.xml, Excel's
// built-in ones by their ids, and which of them are dates or times.
bool XlsxReader::readStyles(const QString &part)
{
    if (!m_package->contains(part))
        return true;
    std::optional<QByteArray> xml = m_package->read(part, MaxIndexPartBytes);
    if (!xml)
        return fail(m_package->lastError());
    QHash<int, DateKind> custom;
    bool inCellFormats = false;
    PartReader reader(std::move(*xml));
    while (!reader.atEnd()) {
        reader.readNext();
        if (reader.isEndElement() && reader.name() == u"cellXfs")
            inCellFormats = false;
        if (!reader.isStartElement())
            continue;
        const QXmlStreamAttributes attrs = reader.attributes();
        if (reader.name() == u"numFmt") {
            custom.insert(attrs.value("numFmtId"_L1).toInt(), dateKindOfFormat(attrs.value("formatCode"_L1)));
        } else if (reader.name() == u"cellXfs") {
            inCellFormats = true;
        } else if (inCellFormats && reader.name() == u"xf") {
            const int id = attrs.value("numFmtId"_L1).toInt();
            const auto it = custom.constFind(id);
            m_styleKinds.append(it != custom.cend() ? *it : builtinDateKind(id));
        }
    }
    if (reader.hasError())
        return fail(damagedMessage());
    return true;
}

bool XlsxReader::readSharedStrings()
{
    m_sharedStringsRead = true;
    // A workbook without text cells may have no shared strings at all.
    if (!m_package->contains(m_sharedStringsPart))
        return true;
    std::optional<QByteArray> xml = m_package->read(m_sharedStringsPart, MaxPartBytes);
    if (!xml)
        return fail(m_package->lastError());
    SheetBudget budget;
    PartReader reader(std::move(*xml));
    while (!reader.atEnd()) {
        reader.readNext();
        if (reader.isStartElement() && reader.name() == u"si") {
            // More texts than cells any sheet may hold: a bomb, not a workbook.
            if (m_sharedStrings.size() >= MaxSheetCells)
                return fail(tooManyTextsMessage());
            m_sharedStrings.append(readRichText(reader));
            if (!budget.take(0, m_sharedStrings.last().size()))
                return fail(budget.message());
        }
    }
    if (reader.hasError())
        return fail(damagedMessage());
    return true;
}

QString XlsxReader::numberCell(const QString &raw, qsizetype style) const
{
    bool ok = false;
    const double value = raw.toDouble(&ok);
    if (!ok || !std::isfinite(value))
        return raw;
    return cellNumberText(value, m_styleKinds.value(style, DateKind::None), m_date1904);
}

// A date stored as ISO 8601 text (t="d"), written as .xls dates read.
QString XlsxReader::dateCell(const QString &raw, qsizetype style) const
{
    const QDateTime when = QDateTime::fromString(raw, Qt::ISODateWithMs);
    if (!when.isValid())
        return raw;
    QString date = when.date().toString(u"yyyy-MM-dd");
    QString time = when.time().toString(u"HH:mm:ss");
    switch (m_styleKinds.value(style, DateKind::None)) {
    case DateKind::Date:
        return date;
    case DateKind::Time:
        return time;
    default:
        return when.time() == QTime(0, 0) ? date : date + u' ' + time;
    }
}

std::optional<SheetRows> XlsxReader::readSheet(qsizetype index)
{
    if (index < 0 || index >= m_sheetParts.size())
        return std::nullopt;
    if (!m_sharedStringsRead && !readSharedStrings()) {
        m_sharedStringsRead = false;
        return std::nullopt;
    }
    std::optional<QByteArray> xml = m_package->read(m_sheetParts.at(index), MaxPartBytes);
    if (!xml) {
        fail(m_package->lastError());
        return std::nullopt;
    }

    const auto damaged = [this] {
        fail(damagedMessage());
        return std::nullopt;
    };

    // Rows may come out of order or repeat in a hand-made file; keyed by row
    // number they still come out in sheet order.
    QMap<int, QStringList> rows;
    SheetBudget budget;
    int rowNumber = -1;
    QStringList *row = nullptr;
    int column = -1;

    PartReader reader(std::move(*xml));
    while (!reader.atEnd()) {
        reader.readNext();
        if (reader.isEndElement() && reader.name() == u"row")
            row = nullptr;
        if (!reader.isStartElement())
            continue;
        const QStringView element = reader.name();
        if (element == u"row") {
            const QXmlStreamAttributes attrs = reader.attributes();
            const QStringView r = attrs.value("r"_L1);
            if (r.isEmpty()) {
                ++rowNumber;
            } else {
                bool ok = false;
                rowNumber = r.toInt(&ok) - 1;
                if (!ok)
                    return damaged();
            }
            if (rowNumber < 0 || rowNumber >= MaxRows)
                return damaged();
            row = &rows[rowNumber];
            column = -1;
        } else if (element == u"c") {
            if (!row)
                return damaged();
            const QXmlStreamAttributes attrs = reader.attributes();
            const QStringView ref = attrs.value("r"_L1);
            column = ref.isEmpty() ? column + 1 : columnOfReference(ref);
            if (column < 0 || column >= MaxColumns)
                return damaged();
            const QString type = attrs.value("t"_L1).toString();
            const qsizetype style = attrs.value("s"_L1).toLongLong();

            QString value;
            bool hasValue = false;
            bool fromInline = false; // <is> text arrives unescaped already
            while (!reader.atEnd()) {
                reader.readNext();
                if (reader.isEndElement() && reader.name() == u"c")
                    break;
                if (!reader.isStartElement())
                    continue;
                if (reader.name() == u"v") {
                    value = reader.readElementText(QXmlStreamReader::IncludeChildElements);
                    hasValue = true;
                } else if (reader.name() == u"is") {
                    value = readRichText(reader);
                    hasValue = true;
                    fromInline = true;
                } else {
                    reader.skipCurrentElement();
                }
            }
            if (!hasValue)
                continue;

            QString text;
            if (type == u"s") {
                bool ok = false;
                const qsizetype i = value.trimmed().toLongLong(&ok);
                if (!ok || i < 0 || i >= m_sharedStrings.size())
                    return damaged();
                text = m_sharedStrings.at(i);
            } else if (type == u"b") {
                text = isTrue(value.trimmed()) ? u"TRUE"_s : u"FALSE"_s;
            } else if (type == u"str" || type == u"inlineStr") {
                text = fromInline ? value : unescapeOoxmlText(value);
            } else if (type.isEmpty() || type == u"n") {
                text = numberCell(value.trimmed(), style);
            } else if (type == u"d") {
                text = dateCell(value.trimmed(), style);
            } else {
                text = value; // "e": the error's text, such as #DIV/0!
            }
            if (text.isEmpty())
                continue;
            const qsizetype grown = qMax<qsizetype>(0, column + 1 - row->size());
            if (!budget.take(grown, text.size())) {
                fail(budget.message());
                return std::nullopt;
            }
            if (grown > 0)
                row->resize(column + 1);
            (*row)[column] = text;
        }
    }
    if (reader.hasError())
        return damaged();

    SheetRows result;
    result.reserve(rows.size());
    for (auto it = rows.begin(); it != rows.end(); ++it)
        result.append(SheetRow{it.key() + 1, std::move(*it)});
    return result;
}

} // namespace Kuaidi
