#pragma once

namespace Kuaidi {

// Column positions of the editor's list, shared by both ways of loading it.
enum EditorColumn {
    EditorId = 0,
    EditorElementId = 1,
    EditorRegion = 2,
    EditorFirst = 5,
    EditorAdditional = 6
};

} // namespace Kuaidi
