#include "zippackage.h"

#include "sheetreader.h"

#include <QFile>
#include <QtEndian>

#include <zlib.h>

using namespace Qt::StringLiterals;

namespace Kuaidi {

namespace {

// No part Excel, WPS or LibreOffice writes nests elements half this deep.
constexpr int MaxXmlDepth = 64;
// A workbook is read whole; anything bigger is not a rate table.
constexpr qint64 MaxPackageBytes = 256 * 1024 * 1024;
// Workbooks hold tens of parts; a package of more is no workbook.
constexpr quint64 MaxEntries = 100'000;

// The records of a zip file this reader reads: the end of the central
// directory (and its zip64 form with the locator before it), the directory's
// entries, and each part's local header.
constexpr quint32 EndSignature = 0x06054b50;
constexpr quint32 End64Signature = 0x06064b50;
constexpr quint32 End64LocatorSignature = 0x07064b50;
constexpr quint32 DirectorySignature = 0x02014b50;
constexpr quint32 LocalSignature = 0x04034b50;
constexpr quint64 EndSize = 22;
constexpr quint64 End64Size = 56;
constexpr quint64 End64LocatorSize = 20;
constexpr quint64 DirectoryEntrySize = 46;
constexpr quint64 LocalHeaderSize = 30;
constexpr quint64 MaxCommentSize = 0xFFFF;
constexpr int MaxEndRecordsTried = 8;
constexpr quint16 Zip64ExtraField = 0x0001;
constexpr quint16 EncryptedFlag = 0x0001;
constexpr quint16 Stored = 0;
constexpr quint16 Deflated = 8;

// Little-endian fields of a file held in memory, each read only once has()
// has said it lies within the file.
class Fields
{
public:
    explicit Fields(QByteArrayView data) : m_data(data) {}

    bool has(quint64 at, quint64 size) const
    {
        const auto total = quint64(m_data.size());
        return at <= total && size <= total - at;
    }
    quint16 u16(quint64 at) const { return qFromLittleEndian<quint16>(m_data.constData() + at); }
    quint32 u32(quint64 at) const { return qFromLittleEndian<quint32>(m_data.constData() + at); }
    quint64 u64(quint64 at) const { return qFromLittleEndian<quint64>(m_data.constData() + at); }
    QByteArrayView bytes(quint64 at, quint64 size) const
    {
        return m_data.sliced(qsizetype(at), qsizetype(size));
    }

private:
    QByteArrayView m_data;
};

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

bool ZipPackage::fail(const QString &message)
{
    m_error = message;
    return false;
}

bool ZipPackage::open(const QString &path)
{
    // Read whole through Qt, which opens any file name on every system, and
    // unpacked from memory.
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return fail(SheetReader::cannotOpenMessage());
    if (file.size() > MaxPackageBytes)
        return fail(SheetReader::tooLargeMessage());
    m_file = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return fail(SheetReader::cannotOpenMessage());
    return readDirectory();
}

// The central directory, found through the record that ends the file (or
// ends it but for a comment, or for a few stray bytes after that): each
// candidate from the end is tried until one describes a directory that lies
// within the file.
bool ZipPackage::readDirectory()
{
    const Fields file(m_file);
    const auto size = quint64(m_file.size());
    if (size < EndSize)
        return fail(SheetReader::damagedMessage());
    // A comment of up to 64 KB, and a few stray bytes, may follow the record.
    constexpr quint64 Reach = MaxCommentSize + 1024;
    const quint64 last = size - EndSize;
    const quint64 first = last > Reach ? last - Reach : 0;
    // A few candidates at most: a file of nothing but end records, each
    // pointing at a long directory, must not take minutes to refuse.
    int tries = 0;
    for (quint64 end = last + 1; end-- > first && tries < MaxEndRecordsTried;) {
        if (file.u32(end) != EndSignature)
            continue;
        quint64 count = file.u16(end + 10);
        quint64 directorySize = file.u32(end + 12);
        quint64 directory = file.u32(end + 16);
        // Values too large for the record are in the zip64 record, which
        // the locator just before it points to.
        if ((count == 0xFFFF || directorySize == 0xFFFFFFFF || directory == 0xFFFFFFFF) &&
            end >= End64LocatorSize && file.u32(end - End64LocatorSize) == End64LocatorSignature) {
            const quint64 end64 = file.u64(end - End64LocatorSize + 8);
            if (file.has(end64, End64Size) && file.u32(end64) == End64Signature) {
                count = file.u64(end64 + 32);
                directorySize = file.u64(end64 + 40);
                directory = file.u64(end64 + 48);
            }
        }
        if (!file.has(directory, directorySize) || count > directorySize / DirectoryEntrySize)
            continue;
        ++tries;
        if (count > MaxEntries)
            return fail(SheetReader::tooLargeMessage());
        std::vector<Entry> parts;
        QHash<QString, quint64> names;
        parts.reserve(count);
        quint64 at = directory;
        for (quint64 i = 0; i < count; ++i) {
            if (!file.has(at, DirectoryEntrySize) || file.u32(at) != DirectorySignature)
                break;
            const quint16 nameSize = file.u16(at + 28);
            const quint16 extraSize = file.u16(at + 30);
            const quint16 commentSize = file.u16(at + 32);
            if (!file.has(at + DirectoryEntrySize, quint64(nameSize) + extraSize + commentSize))
                break;
            Entry entry{file.u16(at + 8),  file.u16(at + 10), file.u32(at + 16),
                        file.u32(at + 20), file.u32(at + 24), file.u32(at + 42)};
            // Sizes and offsets too large for 32 bits are in the zip64 extra
            // field, in this order, each only when its own field is full.
            const quint64 extra = at + DirectoryEntrySize + nameSize;
            const quint64 extraEnd = extra + extraSize;
            for (quint64 field = extra; field + 4 <= extraEnd;) {
                const quint16 length = file.u16(field + 2);
                const quint64 fieldEnd = qMin(field + 4 + length, extraEnd);
                if (file.u16(field) == Zip64ExtraField) {
                    quint64 value = field + 4;
                    for (quint64 *wide : {&entry.size, &entry.packedSize, &entry.localHeader}) {
                        if (*wide == 0xFFFFFFFF && value + 8 <= fieldEnd) {
                            *wide = file.u64(value);
                            value += 8;
                        }
                    }
                }
                field += 4 + length;
            }
            const QString name =
                normalisedName(QString::fromUtf8(file.bytes(at + DirectoryEntrySize, nameSize)));
            if (!names.contains(name))
                names.insert(name, parts.size());
            parts.push_back(entry);
            at += DirectoryEntrySize + nameSize + extraSize + commentSize;
        }
        if (parts.size() != count)
            continue;
        m_parts = std::move(parts);
        m_entries = std::move(names);
        return true;
    }
    return fail(SheetReader::damagedMessage());
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
    const Entry &zipped = m_parts.at(*entry);
    // Refused before it is inflated, so a small archive cannot expand into
    // gigabytes of XML.
    if (zipped.size > quint64(maxBytes))
        return failed(u"文件中的“%1”太大（超过 %2 MB），不像是工作簿，无法导入"_s.arg(part).arg(
            maxBytes / (1024 * 1024)));
    const Fields file(m_file);
    if ((zipped.flags & EncryptedFlag) || !file.has(zipped.localHeader, LocalHeaderSize) ||
        file.u32(zipped.localHeader) != LocalSignature)
        return failed(SheetReader::damagedMessage());
    const quint64 start = zipped.localHeader + LocalHeaderSize + file.u16(zipped.localHeader + 26) +
                          file.u16(zipped.localHeader + 28);
    if (!file.has(start, zipped.packedSize))
        return failed(SheetReader::damagedMessage());
    const QByteArrayView packed = file.bytes(start, zipped.packedSize);
    QByteArray data;
    if (zipped.method == Stored && zipped.packedSize == zipped.size) {
        data = packed.toByteArray();
    } else if (zipped.method == Deflated) {
        // One byte more than the directory says: a part that inflates to
        // more than that is as damaged as one that inflates to less.
        data.resize(qsizetype(zipped.size) + 1);
        z_stream stream{};
        if (inflateInit2(&stream, -MAX_WBITS) != Z_OK)
            return failed(SheetReader::damagedMessage());
        stream.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(packed.data()));
        stream.avail_in = uInt(packed.size());
        stream.next_out = reinterpret_cast<Bytef *>(data.data());
        stream.avail_out = uInt(data.size());
        const int result = inflate(&stream, Z_FINISH);
        const bool whole = result == Z_STREAM_END && stream.total_out == zipped.size;
        inflateEnd(&stream);
        if (!whole)
            return failed(SheetReader::damagedMessage());
        data.resize(qsizetype(zipped.size));
    } else {
        return failed(SheetReader::damagedMessage());
    }
    if (crc32(0, reinterpret_cast<const Bytef *>(data.constData()), uInt(data.size())) != zipped.crc)
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
