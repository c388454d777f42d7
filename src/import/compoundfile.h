#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <optional>

namespace Kuaidi {

/// Read-only view of an OLE2 compound file, the container of .xls workbooks.
/// Every sector number and chain is checked, so a damaged or truncated file
/// makes load() or stream() fail instead of reading out of bounds or looping.
class CompoundFile final
{
public:
    /// Parses the container held in @p data. False when it is not a complete
    /// compound file.
    bool load(const QByteArray &data);

    /// Contents of the stream @p name directly under the root storage, matched
    /// without regard to case. Nothing when it is missing or damaged.
    std::optional<QByteArray> stream(const QString &name) const;

private:
    struct Entry
    {
        QString name;
        quint8 type = 0;
        quint32 left = 0;
        quint32 right = 0;
        quint32 child = 0;
        quint32 start = 0;
        quint64 size = 0;
    };

    std::optional<QList<quint32>> chain(const QList<quint32> &table, quint32 start, qsizetype limit) const;
    std::optional<QByteArray> readRegular(quint32 start, quint64 size) const;
    std::optional<QByteArray> readMini(quint32 start, quint64 size) const;

    QByteArray m_data;
    int m_sectorSize = 512;
    qsizetype m_sectorCount = 0;
    quint32 m_miniCutoff = 4096;
    QList<quint32> m_fat;
    QList<quint32> m_miniFat;
    QByteArray m_miniStream;
    QList<Entry> m_entries;
};

} // namespace Kuaidi
