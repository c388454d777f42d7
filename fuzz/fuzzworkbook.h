#pragma once

// Each reader through Workbook, as the windows and the command line use it:
// the bytes are written to a file with the reader's extension, opened, and
// every sheet read.

#include <import/workbook.h>

#include <QDir>
#include <QFile>

#include <unistd.h>

#include <cstddef>
#include <cstdint>

/// The bytes as a file of this process with the reader's extension: its path.
inline QString fuzzInputFile(const uint8_t *data, size_t size, const char *suffix)
{
    const QString path =
        QDir::temp().filePath(QStringLiteral("kuaidi-fuzz-%1.%2")
                                  .arg(QString::number(qint64(getpid())), QLatin1StringView(suffix)));
    QFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        file.write(reinterpret_cast<const char *>(data), qint64(size));
    return path;
}

inline int fuzzWorkbook(const uint8_t *data, size_t size, const char *suffix)
{
    const QString path = fuzzInputFile(data, size, suffix);
    Kuaidi::Workbook book;
    if (book.open(path)) {
        for (const QString &sheet : book.sheetNames())
            book.readSheet(sheet);
    }
    return 0;
}
