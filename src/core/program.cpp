#include "program.h"

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

} // namespace Kuaidi
