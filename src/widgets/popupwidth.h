#pragma once

class QComboBox;

// A box in a crowded row is narrower than its longest item: the list it opens takes the width of that item, within
// the screen, which holds every popup. An item still too long for it is cut with "…" and shows whole on hover.
class PopupWidth
{
public:
    // After every change of the box's items.
    static void fit(QComboBox* box);
};
