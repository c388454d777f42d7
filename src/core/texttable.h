#pragma once

#include <QList>
#include <QStringList>

namespace Kuaidi {

/// A table of texts: column titles and rows of cells. What the lists on screen
/// show, what a sheet reads as, and what the database hands out and takes in.
struct TextTable
{
    QStringList columns;
    QList<QStringList> rows;
};

} // namespace Kuaidi
