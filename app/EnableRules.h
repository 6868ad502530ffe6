#pragma once
// Which controls the window enables and disables, and when: at start-up, whenever the port
// opens or closes, and on each choice of the temperature source. Declared once, applied in
// order by the window; no other code enables or disables a control of the layout.
#include <vector>

namespace quillon::console {

enum TEnableCause {
    ecFormCreate, ///< the window is created: what sends stays off until the port opens
    ecPortState,  ///< the port opened or closed
    ecFileSource, ///< RadioButton5 clicked
    ecLinkSource, ///< RadioButton6 clicked
};

struct TEnableChange {
    const char* Control; ///< the control's name in the layout
    bool Enabled;
};

/// The changes a cause brings, in the order they are made.
std::vector<TEnableChange> EnableChanges(TEnableCause cause, bool portOpen);

} // namespace quillon::console
