#pragma once

#include <QList>
#include <QString>

#include <utility>

class QLineEdit;
class QWidget;

namespace Kuaidi {

/// Boxes a price is typed into, each with the name the seller knows it by.
using PriceBoxes = QList<std::pair<QString, QLineEdit *>>;

/// True when every box holds a price that may be stored (see isPriceText()).
/// Otherwise tells the seller which box is wrong, puts the cursor there and
/// returns false, so that nothing is written.
bool checkPriceBoxes(QWidget *parent, const PriceBoxes &boxes);

} // namespace Kuaidi
