#pragma once

#include "sheetreader.h"

#include <QByteArray>

namespace Kuaidi {

/// Access databases (.mdb, .accdb): every user table a sheet, its columns
/// the fields, every row a record, every value a text. The file is read by
/// kuaidi-access, a process of its own under limits of memory and time, so
/// that a damaged file ends that process and not the program. A file that is
/// no whole number of pages, whose catalogue names a table or page beyond its
/// end, or a table whose rows are not as many as it says, is refused as
/// damaged; an encrypted one with a message about its password.
///
/// Access 97 (Jet 3) files do not say how their texts are encoded: they are
/// read as @p encoding, GBK unless told otherwise.
class AccessReader final : public SheetReader
{
public:
    explicit AccessReader(const QString &encoding = {});

    bool open(const QString &path) override;
    std::optional<SheetRows> readSheet(qsizetype index) override;
    bool keepsEveryRow() const override { return true; }

    /// Whether this build can read Access databases at all.
    static bool available();
    /// What a build without the reader says of an Access database.
    static QString unavailableMessage();

    /// The outcome of one run of kuaidi-access, read from its @p output:
    /// the rows (table names, or a table's column names then its records), or
    /// the reason it failed. Output that is cut off or malformed is damage.
    struct Result
    {
        SheetRows rows;
        QString error;
    };
    static Result parseOutput(QByteArrayView output, const QString &encoding);

private:
    std::optional<SheetRows> run(const QStringList &arguments);

    QString m_path;
    QString m_encoding;
};

} // namespace Kuaidi
