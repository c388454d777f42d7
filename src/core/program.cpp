#include "program.h"

#include <QCoreApplication>

using namespace Qt::StringLiterals;

namespace Kuaidi {

QString programName()
{
    return u"Vantor快递费用计算器"_s;
}

QString programVersion()
{
    return QStringLiteral(KUAIDI_VERSION);
}

void setApplicationNames()
{
    QCoreApplication::setOrganizationName(u"Vantor"_s);
    QCoreApplication::setApplicationName(u"kuaidi"_s);
    QCoreApplication::setApplicationVersion(programVersion());
}

} // namespace Kuaidi
