#pragma once

class QLineEdit;

namespace Kuaidi {

/// Gives @p edit a button at its end that empties it, shown while it holds
/// text: what QLineEdit::setClearButtonEnabled() does, with an icon of our
/// own. The style's icon is looked up in the desktop's icon themes, which
/// costs a window's start-up several milliseconds of reading theme files.
void addClearButton(QLineEdit *edit);

} // namespace Kuaidi
