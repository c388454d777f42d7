#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>

#include <memory>

class QIODevice;

namespace Kuaidi {

/// Writes a zip archive entry by entry, each deflated as its bytes come:
/// however large an entry grows, only a buffer's worth of it is held. The
/// device must allow seeking back, since each entry's sizes are written into
/// its header once it is done. Archives stay within the zip format's
/// 4 GB.
class ZipStream
{
public:
    explicit ZipStream(QIODevice *device);
    ~ZipStream();
    Q_DISABLE_COPY_MOVE(ZipStream)

    /// Starts entry @p name (a path in the archive, UTF-8), ending the one
    /// before.
    bool beginEntry(const QByteArray &name);
    bool write(QByteArrayView bytes);
    /// Ends the last entry and writes the archive's directory.
    bool finish();

    /// Why the last call failed.
    QString errorString() const { return m_error; }

private:
    struct Entry
    {
        QByteArray name;
        quint32 crc = 0;
        quint64 compressed = 0;
        quint64 size = 0;
        quint64 offset = 0;
    };
    struct Deflater;

    bool endEntry();
    bool deflateInput(bool finishing);
    bool put(QByteArrayView bytes);
    bool fail(const QString &reason);

    QIODevice *m_device;
    std::unique_ptr<Deflater> m_deflater; // of the entry being written
    QList<Entry> m_entries;
    QByteArray m_input; // bytes of the entry not yet deflated
    quint64 m_offset = 0;
    quint16 m_time = 0;
    quint16 m_date = 0;
    QString m_error;
};

} // namespace Kuaidi
