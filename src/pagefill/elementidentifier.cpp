#include "elementidentifier.h"

using namespace Qt::StringLiterals;

namespace Kuaidi {

ElementIdentifier ElementIdentifier::parse(const QString &identifier)
{
    ElementIdentifier parsed;
    parsed.ordinal = OrdinalOf(identifier);
    const qsizetype separator = identifier.indexOf("=="_L1);
    if (separator < 0) {
        parsed.value = identifier;
        return parsed;
    }
    parsed.attribute = identifier.left(separator).toLower();
    parsed.value = identifier.mid(separator + 2).trimmed();
    return parsed;
}

int OrdinalOf(QStringView identifier)
{
    // Converting to a number and back keeps the length only when the text is
    // that number's own spelling: "03", "+3", " 3" and "3.0" are names.
    bool ok = false;
    const int number = identifier.toInt(&ok);
    if (!ok || QString::number(number).size() != identifier.size())
        return 0;
    return number;
}

} // namespace Kuaidi
