#pragma once

#include <QString>

namespace Kuaidi::Sql {

/// A template or column name as one SQL identifier: in double quotes, with
/// quotes inside doubled. The driver's escapeIdentifier() passes names that
/// hold brackets through as they are and splits names at dots; a template
/// name is always one identifier.
QString quoted(const QString &identifier);

/// A LIKE pattern (with ESCAPE '\') matching texts that contain @p text, in
/// which '%', '_' and '\' are plain characters.
QString likeContainsPattern(QString text);

/// "?, ?, …" with @p count marks.
QString placeholders(qsizetype count);

} // namespace Kuaidi::Sql
