#include "zipstream.h"

#include <QDateTime>
#include <QIODevice>
#include <QtEndian>

#include <zlib.h>

using namespace Qt::StringLiterals;

namespace Kuaidi {

namespace {

// Deflated a buffer at a time: large enough that zlib works on long runs,
// small enough to cost nothing held.
constexpr qsizetype BufferBytes = 256 * 1024;
constexpr quint64 ZipLimit = 0xFFFFFFFFu; // sizes and offsets without the zip64 extension
constexpr quint16 UnicodeNames = 0x0800;
constexpr quint16 Deflated = 8;
constexpr quint16 Version = 20; // 2.0: deflate

void add16(QByteArray &bytes, quint16 value)
{
    const quint16 le = qToLittleEndian(value);
    bytes.append(reinterpret_cast<const char *>(&le), 2);
}

void add32(QByteArray &bytes, quint32 value)
{
    const quint32 le = qToLittleEndian(value);
    bytes.append(reinterpret_cast<const char *>(&le), 4);
}

} // namespace

struct ZipStream::Deflater
{
    z_stream stream{};
    bool ready = false;

    Deflater()
    {
        // Raw deflate at the fastest level: a few per cent of size for most
        // of the time.
        ready = deflateInit2(&stream, 1, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) == Z_OK;
    }
    ~Deflater()
    {
        if (ready)
            deflateEnd(&stream);
    }
    Q_DISABLE_COPY_MOVE(Deflater)
};

ZipStream::ZipStream(QIODevice *device) : m_device(device)
{
    const QDateTime now = QDateTime::currentDateTime();
    const QDate day = now.date();
    const QTime time = now.time();
    m_time = quint16((time.hour() << 11) | (time.minute() << 5) | (time.second() / 2));
    m_date = quint16((qBound(0, day.year() - 1980, 127) << 9) | (day.month() << 5) | day.day());
}

ZipStream::~ZipStream() = default;

bool ZipStream::fail(const QString &reason)
{
    if (m_error.isEmpty())
        m_error = reason;
    return false;
}

bool ZipStream::put(QByteArrayView bytes)
{
    if (m_device->write(bytes.data(), bytes.size()) != bytes.size())
        return fail(m_device->errorString());
    m_offset += quint64(bytes.size());
    return true;
}

bool ZipStream::beginEntry(const QByteArray &name)
{
    if (!m_error.isEmpty() || (m_deflater && !endEntry()))
        return false;
    if (m_offset > ZipLimit || m_entries.size() >= 0xFFFF)
        return fail(u"文件超过 4 GB"_s);
    m_deflater = std::make_unique<Deflater>();
    if (!m_deflater->ready)
        return fail(u"内存不足"_s);
    m_entries.append({name, quint32(crc32(0, nullptr, 0)), 0, 0, m_offset});
    QByteArray header;
    add32(header, 0x04034b50);
    add16(header, Version);
    add16(header, UnicodeNames);
    add16(header, Deflated);
    add16(header, m_time);
    add16(header, m_date);
    add32(header, 0); // CRC and sizes, written when the entry ends
    add32(header, 0);
    add32(header, 0);
    add16(header, quint16(name.size()));
    add16(header, 0);
    header += name;
    return put(header);
}

bool ZipStream::write(QByteArrayView bytes)
{
    if (!m_error.isEmpty())
        return false;
    if (!m_deflater)
        return fail(u"没有打开的压缩项"_s);
    Entry &entry = m_entries.last();
    for (qsizetype done = 0; done < bytes.size();) {
        const qsizetype part = qMin(bytes.size() - done, qsizetype(1) << 30);
        entry.crc =
            quint32(crc32(entry.crc, reinterpret_cast<const Bytef *>(bytes.data() + done), uInt(part)));
        done += part;
    }
    entry.size += quint64(bytes.size());
    if (entry.size > ZipLimit)
        return fail(u"文件超过 4 GB"_s);
    m_input += bytes;
    return m_input.size() < BufferBytes || deflateInput(false);
}

bool ZipStream::deflateInput(bool finishing)
{
    z_stream &z = m_deflater->stream;
    z.next_in = reinterpret_cast<Bytef *>(m_input.data());
    z.avail_in = uInt(m_input.size());
    QByteArray out(BufferBytes, Qt::Uninitialized);
    int status = Z_OK;
    do {
        z.next_out = reinterpret_cast<Bytef *>(out.data());
        z.avail_out = uInt(out.size());
        status = deflate(&z, finishing ? Z_FINISH : Z_NO_FLUSH);
        if (status == Z_STREAM_ERROR)
            return fail(u"压缩失败"_s);
        const qsizetype produced = out.size() - qsizetype(z.avail_out);
        m_entries.last().compressed += quint64(produced);
        if (produced > 0 && !put(QByteArrayView(out.constData(), produced)))
            return false;
    } while (z.avail_out == 0 || (finishing && status != Z_STREAM_END));
    m_input.clear();
    return true;
}

bool ZipStream::endEntry()
{
    if (!deflateInput(true))
        return false;
    m_deflater.reset();
    const Entry &entry = m_entries.last();
    if (entry.compressed > ZipLimit || m_offset > ZipLimit)
        return fail(u"文件超过 4 GB"_s);
    // The entry's CRC and sizes, into its header.
    QByteArray sizes;
    add32(sizes, entry.crc);
    add32(sizes, quint32(entry.compressed));
    add32(sizes, quint32(entry.size));
    const qint64 end = m_device->pos();
    if (!m_device->seek(qint64(entry.offset) + 14) || m_device->write(sizes) != sizes.size() ||
        !m_device->seek(end))
        return fail(m_device->errorString());
    return true;
}

bool ZipStream::finish()
{
    if (!m_error.isEmpty() || (m_deflater && !endEntry()))
        return false;
    const quint64 directory = m_offset;
    QByteArray central;
    for (const Entry &entry : std::as_const(m_entries)) {
        add32(central, 0x02014b50);
        add16(central, Version);
        add16(central, Version);
        add16(central, UnicodeNames);
        add16(central, Deflated);
        add16(central, m_time);
        add16(central, m_date);
        add32(central, entry.crc);
        add32(central, quint32(entry.compressed));
        add32(central, quint32(entry.size));
        add16(central, quint16(entry.name.size()));
        add16(central, 0); // extra field
        add16(central, 0); // comment
        add16(central, 0); // disk
        add16(central, 0); // internal attributes
        add32(central, 0); // external attributes
        add32(central, quint32(entry.offset));
        central += entry.name;
    }
    if (directory + quint64(central.size()) > ZipLimit)
        return fail(u"文件超过 4 GB"_s);
    const quint32 directorySize = quint32(central.size());
    add32(central, 0x06054b50);
    add16(central, 0);
    add16(central, 0);
    add16(central, quint16(m_entries.size()));
    add16(central, quint16(m_entries.size()));
    add32(central, directorySize);
    add32(central, quint32(directory));
    add16(central, 0);
    return put(central);
}

} // namespace Kuaidi
