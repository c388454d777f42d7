#include "sqltext.h"

#include <QStringList>

using namespace Qt::StringLiterals;

namespace Kuaidi::Sql {

QString quoted(const QString &identifier)
{
    QString q = identifier;
    q.replace(u'"', "\"\""_L1);
    return u'"' + q + u'"';
}

QString likeContainsPattern(QString text)
{
    text.replace(u'\\', "\\\\"_L1);
    text.replace(u'%', "\\%"_L1);
    text.replace(u'_', "\\_"_L1);
    return u'%' + text + u'%';
}

QString placeholders(qsizetype count)
{
    QStringList marks;
    marks.fill(u"?"_s, count);
    return marks.join(u", ");
}

} // namespace Kuaidi::Sql
