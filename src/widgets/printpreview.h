#pragma once

class QPrintPreviewDialog;

// Sizes a print preview before it opens: wide enough for its whole tool bar and for the page at about its real
// size, as tall as the screen allows, inside the free area of the screen the user works on, and zoomed so that
// the page fills the preview's width.
class PrintPreview
{
public:
    static void fit(QPrintPreviewDialog* dialog);
};
