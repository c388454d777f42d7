#pragma once

#include <QBuffer>
#include <QByteArray>
#include <QHash>
#include <QString>
#include <QXmlStreamReader>

#include <optional>
#include <vector>

namespace Kuaidi {

/// A zip package of XML parts (.xlsx, .ods) opened for reading. Parts are
/// found by name without regard to case or to the backslashes some
/// programs write for slashes, and each is checked for its size before it
/// is inflated and for its nesting before it is parsed.
class ZipPackage final
{
public:
    ZipPackage() = default;
    ~ZipPackage() = default;
    Q_DISABLE_COPY_MOVE(ZipPackage)

    /// Opens @p path; on failure lastError() tells why.
    bool open(const QString &path);
    bool contains(const QString &part) const;
    /// The bytes of @p part, inflated only when they come to at most
    /// @p maxBytes; nothing, and lastError(), when the part is missing,
    /// larger, damaged, or XML nested deeper than any spreadsheet nests.
    std::optional<QByteArray> read(const QString &part, qint64 maxBytes);
    QString lastError() const { return m_error; }

private:
    /// A part as the central directory describes it.
    struct Entry
    {
        quint16 flags = 0;
        quint16 method = 0;
        quint32 crc = 0;
        quint64 packedSize = 0;
        quint64 size = 0;
        quint64 localHeader = 0; // offset of the part's local header
    };

    bool fail(const QString &message);
    bool readDirectory();

    QByteArray m_file; // the whole file, read from memory
    std::vector<Entry> m_parts;
    QHash<QString, quint64> m_entries; // normalised name → index in m_parts
    QString m_error;
};

/// What a zip file found where a workbook was expected holds.
enum class ZipKind { Xlsx, Xlsb, Ods, OtherDocument };

/// Tells an .xlsx from an .xlsb, an OpenDocument spreadsheet and other
/// zipped documents by the parts @p package holds.
ZipKind zipKindOf(ZipPackage &package);

/// An XML part read a block at a time: the reader decodes it as it goes
/// instead of holding all of it as UTF-16 at once.
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

} // namespace Kuaidi
