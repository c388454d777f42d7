#pragma once

#include <QString>

namespace KuaidiTest {

/// A file or folder under tests/data: testData(u"sheets/运费表.xls"_s).
inline QString testData(const QString &relative)
{
    return QStringLiteral(KUAIDI_TEST_DATA) + u'/' + relative;
}

} // namespace KuaidiTest
