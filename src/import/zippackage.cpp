#include "zippackage.h"

#include "sheetreader.h"

#include <QFile>

#include <zip.h>

using namespace Qt::StringLiterals;

namespace Kuaidi {

namespace {

// No part Excel, WPS or LibreOffice writes nests elements half this deep.
constexpr int MaxXmlDepth = 64;
// A workbook is read whole; anything bigger is not a rate table.
constexpr qint64 MaxPackageBytes = 256 * 1024 * 1024;
// Workbooks hold tens of parts; a package of more is no workbook.
constexpr zip_int64_t MaxEntries = 100'000;

QString normalisedName(const QString &name)
{
    QString normal = name.toLower();
    normal.replace(u'\\', u'/');
    return normal.startsWith(u'/') ? normal.mid(1) : normal;
}

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

} // namespace

ZipPackage::~ZipPackage()
{
    if (m_zip)
        zip_discard(m_zip);
}

bool ZipPackage::fail(const QString &message)
{
    m_error = message;
    return false;
}

bool ZipPackage::open(const QString &path)
{
    // Read whole through Qt, which opens any file name on every system
    // (libzip under Windows opens no Chinese one), and unpacked from memory.
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return fail(SheetReader::cannotOpenMessage());
    if (file.size() > MaxPackageBytes)
        return fail(SheetReader::tooLargeMessage());
    m_file = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return fail(SheetReader::cannotOpenMessage());
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
        return fail(SheetReader::damagedMessage());
    const zip_int64_t count = zip_get_num_entries(m_zip, 0);
    if (count > MaxEntries)
        return fail(SheetReader::tooLargeMessage());
    for (zip_int64_t i = 0; i < count; ++i) {
        const char *name = zip_get_name(m_zip, zip_uint64_t(i), ZIP_FL_ENC_GUESS);
        if (!name)
            continue;
        const QString normal = normalisedName(QString::fromUtf8(name));
        if (!m_entries.contains(normal))
            m_entries.insert(normal, quint64(i));
    }
    return true;
}

bool ZipPackage::contains(const QString &part) const
{
    return m_entries.contains(normalisedName(part));
}

std::optional<QByteArray> ZipPackage::read(const QString &part, qint64 maxBytes)
{
    const auto failed = [this](const QString &message) {
        fail(message);
        return std::nullopt;
    };
    const auto entry = m_entries.constFind(normalisedName(part));
    if (entry == m_entries.cend())
        return failed(SheetReader::damagedMessage() + u"（缺少 %1）"_s.arg(part));
    zip_stat_t stat;
    zip_stat_init(&stat);
    if (zip_stat_index(m_zip, *entry, 0, &stat) != 0 || !(stat.valid & ZIP_STAT_SIZE))
        return failed(SheetReader::damagedMessage());
    // Refused before it is inflated, so a small archive cannot expand into
    // gigabytes of XML.
    if (stat.size > quint64(maxBytes))
        return failed(u"文件中的“%1”太大（超过 %2 MB），不像是工作簿，无法导入"_s.arg(part).arg(
            maxBytes / (1024 * 1024)));
    zip_file_t *file = zip_fopen_index(m_zip, *entry, 0);
    if (!file)
        return failed(SheetReader::damagedMessage());
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
    if (!complete)
        return failed(SheetReader::damagedMessage());
    if (!nestsWithinLimit(data))
        return failed(u"文件中的数据嵌套超过 %1 层，不像是 Excel 工作簿，无法导入"_s.arg(MaxXmlDepth));
    return data;
}

ZipKind zipKindOf(ZipPackage &package)
{
    if (package.contains(u"xl/workbook.bin"_s) && !package.contains(u"xl/workbook.xml"_s))
        return ZipKind::Xlsb;
    if (package.contains(u"mimetype"_s)) {
        const std::optional<QByteArray> type = package.read(u"mimetype"_s, 256);
        if (type && type->trimmed() == "application/vnd.oasis.opendocument.spreadsheet")
            return ZipKind::Ods;
        if (type && type->startsWith("application/vnd.oasis.opendocument"))
            return ZipKind::OtherDocument;
    }
    if (package.contains(u"content.xml"_s) && !package.contains(u"[Content_Types].xml"_s))
        return ZipKind::Ods;
    return ZipKind::Xlsx;
}

} // namespace Kuaidi
