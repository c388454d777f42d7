#pragma once

#include <QPixmap>

namespace Kuaidi {

/// The program's picture: a parcel with its shipping label, drawn at any size.
QPixmap parcelPicture(const QSize &size);

} // namespace Kuaidi
