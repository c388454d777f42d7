#include "clioutput.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QTextStream>

using namespace Qt::StringLiterals;

namespace Kuaidi {

QString tsvLine(const QStringList &cells)
{
    QStringList clean;
    clean.reserve(cells.size());
    for (QString cell : cells) {
        cell.replace(u'\t', u' ').replace(u'\r', u' ').replace(u'\n', u' ');
        clean << cell;
    }
    return clean.join(u'\t');
}

namespace {

QString jsonString(const QString &text)
{
    const QByteArray array = QJsonDocument(QJsonArray{text}).toJson(QJsonDocument::Compact);
    return QString::fromUtf8(array.mid(1, array.size() - 2));
}

// Objects keep the column order, which QJsonObject would sort away.
void writeJson(QTextStream &out, const QStringList &titles, const QList<QStringList> &rows)
{
    out << u'[';
    for (qsizetype r = 0; r < rows.size(); ++r) {
        if (r > 0)
            out << u',';
        out << "\n  {"_L1;
        for (qsizetype c = 0; c < titles.size(); ++c) {
            if (c > 0)
                out << ", "_L1;
            out << jsonString(titles.at(c)) << ": "_L1
                << jsonString(c < rows.at(r).size() ? rows.at(r).at(c) : QString());
        }
        out << u'}';
    }
    out << (rows.isEmpty() ? "]\n"_L1 : "\n]\n"_L1);
}

} // namespace

void writeTable(QTextStream &out, bool json, const QStringList &titles, const QList<QStringList> &rows)
{
    if (json) {
        writeJson(out, titles, rows);
        return;
    }
    out << tsvLine(titles) << u'\n';
    for (const QStringList &row : rows)
        out << tsvLine(row) << u'\n';
}

} // namespace Kuaidi
