#include "priceinput.h"

#include "messages.h"

#include <core/numbertext.h>

#include <QLineEdit>

using namespace Qt::StringLiterals;

namespace Kuaidi {

bool checkPriceBoxes(QWidget *parent, const PriceBoxes &boxes)
{
    for (const auto &[name, box] : boxes) {
        if (isPriceText(box->text()))
            continue;
        Messages::show(
            parent, u"“%1”填的是“%2”，不是数字。请输入数字（如 12.5），或者留空。"_s.arg(name, box->text()),
            u"提示"_s, Messages::Icon::Warning);
        box->setFocus();
        box->selectAll();
        return false;
    }
    return true;
}

} // namespace Kuaidi
