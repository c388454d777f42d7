#pragma once

#include <QString>
#include <QStringList>

namespace Kuaidi {

class RateDatabase;

/// What copyTemplates() did, or why it did nothing.
struct TemplateCopy
{
    QStringList copied;   ///< the templates written, in the order copied
    QList<int> rowCounts; ///< rows of each copied template
    QString error;        ///< empty when every template was copied
    /// Whether the error is one of the input (an unknown or taken name), as
    /// opposed to a database failure.
    bool refused = false;
};

/// Copies templates, their rows exactly as stored and their billing rules,
/// from @p source to @p target: the @p names given, or every template in
/// creation order. Every name is checked before anything is written: a name
/// @p source lacks, one @p target already has (letter case aside), or one
/// (or its columns) @p target cannot hold refuses the whole copy, unless
/// @p replace lets an existing template of exactly that name be replaced
/// (after a backup, as every replacement is). Each template is written with
/// its rules in one transaction; a failure of the database stops the copy
/// there and names the template.
TemplateCopy copyTemplates(RateDatabase &source, RateDatabase &target, QStringList names = {},
                           bool replace = false);

} // namespace Kuaidi
