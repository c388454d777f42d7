#include "xlsxreader.h"

#include "ooxmltext.h"

#include <core/numbertext.h>

#include <QBuffer>
#include <QFile>
#include <QHash>
#include <QMap>
#include <QXmlStreamReader>

#include <zip.h>

#include <cmath>

using namespace Qt::StringLiterals;

namespace Kuaidi {

namespace {

// A workbook is read whole; anything bigger is not a rate table.
constexpr qint64 MaxXlsxBytes = 256 * 1024 * 1024;
// Larger parts are refused before they are inflated, so a small archive
// cannot expand into gigabytes of XML.
constexpr zip_uint64_t MaxPartBytes = 256 * 1024 * 1024;
constexpr int MaxRows = 1'048'576;
constexpr int MaxColumns = 16'384;
// No part Excel, WPS or LibreOffice writes nests elements half this deep.
constexpr int MaxXmlDepth = 64;

// Whether the elements of @p xml nest no deeper than any workbook part does.
// Checked before a part is read, so that no reading below can be driven into
// deep recursion or huge nested texts. A scan of the tags alone, far quicker
// than parsing; what is not well-formed is left to the parser.
bool nestsWithinLimit(QByteArrayView xml)
{
    const auto skipPast = [&xml](qsizetype from, QByteArrayView end) {
        const qsizetype at = xml.indexOf(end, from);
        return at < 0 ? xml.size() : at + end.size();
    };
    int depth = 0;
    qsizetype at = 0;
    while ((at = xml.indexOf('<', at)) >= 0) {
        const QByteArrayView rest = xml.sliced(at);
        if (rest.startsWith("<!--")) {
            at = skipPast(at, "-->");
        } else if (rest.startsWith("<![CDATA[")) {
            at = skipPast(at, "]]>");
        } else if (rest.startsWith("<?") || rest.startsWith("<!")) {
            at = skipPast(at, ">");
        } else {
            // The end of the tag, past any '>' inside quoted attribute values.
            const bool closing = rest.startsWith("</");
            char quote = 0;
            qsizetype end = at + 1;
            for (; end < xml.size(); ++end) {
                const char c = xml.at(end);
                if (quote) {
                    if (c == quote)
                        quote = 0;
                } else if (c == '"' || c == '\'') {
                    quote = c;
                } else if (c == '>') {
                    break;
                }
            }
            if (closing)
                --depth;
            else if (xml.at(end - 1) != '/' && ++depth > MaxXmlDepth)
                return false;
            at = end + 1;
        }
    }
    return true;
}

// An XML part read a block at a time: the reader decodes it as it goes
// instead of holding all of it as UTF-16 at once.
class PartReader : public QXmlStreamReader
{
public:
    explicit PartReader(QByteArray data) : m_data(std::move(data)), m_buffer(&m_data)
    {
        m_buffer.open(QIODevice::ReadOnly);
        setDevice(&m_buffer);
    }

private:
    QByteArray m_data;
    QBuffer m_buffer;
};

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
    QString path = target.startsWith(u'/') ? target.mid(1) : folder + target;
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

QString numberCell(const QString &raw)
{
    bool ok = false;
    const double value = raw.toDouble(&ok);
    return ok && std::isfinite(value) ? numberToText(value) : raw;
}

} // namespace

XlsxReader::~XlsxReader()
{
    if (m_zip)
        zip_discard(m_zip);
}

std::optional<QByteArray> XlsxReader::readPart(const QString &part, bool required)
{
    const zip_int64_t index = zip_name_locate(m_zip, part.toUtf8().constData(), ZIP_FL_NOCASE);
    if (index < 0) {
        if (required)
            fail(damagedMessage() + u"（缺少 %1）"_s.arg(part));
        return std::nullopt;
    }
    zip_stat_t stat;
    zip_stat_init(&stat);
    if (zip_stat_index(m_zip, zip_uint64_t(index), 0, &stat) != 0 || !(stat.valid & ZIP_STAT_SIZE)) {
        fail(damagedMessage());
        return std::nullopt;
    }
    if (stat.size > MaxPartBytes) {
        fail(tooLargeMessage());
        return std::nullopt;
    }
    zip_file_t *file = zip_fopen_index(m_zip, zip_uint64_t(index), 0);
    if (!file) {
        fail(damagedMessage());
        return std::nullopt;
    }
    QByteArray data(qsizetype(stat.size), Qt::Uninitialized);
    qsizetype total = 0;
    zip_int64_t n = 0;
    while (total < data.size() &&
           (n = zip_fread(file, data.data() + total, zip_uint64_t(data.size() - total))) > 0)
        total += n;
    // One more read must report the end, which is also when libzip checks the CRC.
    char extra;
    const bool complete = n >= 0 && total == data.size() && zip_fread(file, &extra, 1) == 0;
    zip_fclose(file);
    if (!complete) {
        fail(damagedMessage());
        return std::nullopt;
    }
    if (!nestsWithinLimit(data)) {
        fail(u"文件中的数据嵌套超过 %1 层，不像是 Excel 工作簿，无法导入"_s.arg(MaxXmlDepth));
        return std::nullopt;
    }
    return data;
}

bool XlsxReader::open(const QString &path)
{
    // Read whole through Qt, which opens any file name on every system
    // (libzip under Windows opens no Chinese one), and unpacked from memory.
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return fail(cannotOpenMessage());
    if (file.size() > MaxXlsxBytes)
        return fail(u"文件太大（超过 %1 MB），无法导入"_s.arg(MaxXlsxBytes / (1024 * 1024)));
    m_file = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return fail(u"读取文件时出错，文件可能不完整或所在的磁盘有问题"_s);
    zip_error_t error;
    zip_error_init(&error);
    if (zip_source_t *source =
            zip_source_buffer_create(m_file.constData(), zip_uint64_t(m_file.size()), 0, &error)) {
        m_zip = zip_open_from_source(source, ZIP_RDONLY, &error);
        if (!m_zip)
            zip_source_free(source);
    }
    zip_error_fini(&error);
    if (!m_zip)
        return fail(damagedMessage());

    // The workbook part is normally xl/workbook.xml, but the package
    // relationships have the last word.
    QString workbookPart = u"xl/workbook.xml"_s;
    if (const std::optional<QByteArray> rootRels = readPart(u"_rels/.rels"_s, false)) {
        for (const Relationship &rel : parseRelationships(*rootRels, QString())) {
            if (rel.type.endsWith(u"/officeDocument") && !rel.target.isEmpty())
                workbookPart = rel.target;
        }
    }
    std::optional<QByteArray> workbook = readPart(workbookPart, true);
    if (!workbook)
        return false;
    const std::optional<QByteArray> workbookRels = readPart(relsPartOf(workbookPart), true);
    if (!workbookRels)
        return false;
    const QHash<QString, Relationship> rels = parseRelationships(*workbookRels, folderOf(workbookPart));

    PartReader reader(std::move(*workbook));
    while (!reader.atEnd()) {
        reader.readNext();
        if (!reader.isStartElement() || reader.name() != u"sheet")
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
            return fail(damagedMessage() + u"（找不到工作表“%1”的数据）"_s.arg(name));
        // Chart sheets and macro sheets hold no table.
        if (rel->type.endsWith(u"/worksheet")) {
            addSheetName(name);
            m_sheets.append({rel->target});
        }
    }
    if (reader.hasError())
        return fail(damagedMessage());

    QString sharedStringsPart = folderOf(workbookPart) + u"sharedStrings.xml"_s;
    for (const Relationship &rel : rels) {
        if (rel.type.endsWith(u"/sharedStrings"))
            sharedStringsPart = rel.target;
    }
    return readSharedStrings(sharedStringsPart);
}

bool XlsxReader::readSharedStrings(const QString &part)
{
    // A workbook without text cells may have no shared strings at all.
    if (zip_name_locate(m_zip, part.toUtf8().constData(), ZIP_FL_NOCASE) < 0)
        return true;
    std::optional<QByteArray> xml = readPart(part, true);
    if (!xml)
        return false;
    PartReader reader(std::move(*xml));
    while (!reader.atEnd()) {
        reader.readNext();
        if (reader.isStartElement() && reader.name() == u"si") {
            // More texts than cells any sheet may hold: a bomb, not a workbook.
            if (m_sharedStrings.size() >= MaxSheetCells)
                return fail(u"工作簿的文本太多（超过 %1 万条），无法导入"_s.arg(MaxSheetCells / 10'000));
            m_sharedStrings.append(readRichText(reader));
        }
    }
    if (reader.hasError())
        return fail(damagedMessage());
    return true;
}

std::optional<SheetRows> XlsxReader::readSheet(qsizetype index)
{
    if (index < 0 || index >= m_sheets.size())
        return std::nullopt;
    std::optional<QByteArray> xml = readPart(m_sheets.at(index).part, true);
    if (!xml)
        return std::nullopt;

    const auto damaged = [this] {
        fail(damagedMessage());
        return std::nullopt;
    };

    // Rows may come out of order or repeat in a hand-made file; keyed by row
    // number they still come out in sheet order.
    QMap<int, QStringList> rows;
    qsizetype cells = 0;
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
                text = (value.trimmed() == u"1" || value.trimmed() == u"true") ? u"TRUE"_s : u"FALSE"_s;
            } else if (type == u"str" || type == u"inlineStr") {
                text = fromInline ? value : unescapeOoxmlText(value);
            } else if (type.isEmpty() || type == u"n") {
                text = numberCell(value.trimmed());
            } else {
                // "e" (error text such as #DIV/0!) and "d" (ISO date text).
                text = value;
            }
            if (text.isEmpty())
                continue;
            if (column >= row->size()) {
                cells += column + 1 - row->size();
                if (cells > MaxSheetCells) {
                    fail(tooLargeMessage());
                    return std::nullopt;
                }
                row->resize(column + 1);
            }
            (*row)[column] = text;
        }
    }
    if (reader.hasError())
        return damaged();

    SheetRows result;
    result.reserve(rows.size());
    for (QStringList &r : rows)
        result.append(std::move(r));
    return result;
}

} // namespace Kuaidi
