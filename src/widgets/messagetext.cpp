#include "widgets/messagetext.h"

#include <QScrollBar>
#include <QTextDocument>
#include <QtMath>
#include <memory>

MessageText::MessageText(QWidget* parent) : QTextEdit(parent)
{
    setReadOnly(true);
    setSelectable(false);
    setFrameShape(QFrame::NoFrame);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    viewport()->setAutoFillBackground(false);
    setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    document()->setDocumentMargin(15);
    QTextOption option = document()->defaultTextOption();
    option.setAlignment(Qt::AlignCenter);
    document()->setDefaultTextOption(option);
}

void MessageText::setSelectable(bool selectable)
{
    setTextInteractionFlags(selectable ? Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard
                                       : Qt::NoTextInteraction);
    setFocusPolicy(selectable ? Qt::ClickFocus : Qt::NoFocus);
    setContextMenuPolicy(selectable ? Qt::DefaultContextMenu : Qt::NoContextMenu);
    viewport()->setCursor(selectable ? Qt::IBeamCursor : Qt::ArrowCursor);
}

void MessageText::fitWithin(int width, int maxHeight)
{
    // Measured on a copy: the edit lays its own document out anew at its width whenever the document changes.
    const std::unique_ptr<QTextDocument> text(document()->clone());
    text->setDefaultFont(font());
    const auto heightAt = [&text](int lineWidth) {
        text->setTextWidth(lineWidth);
        return qCeil(text->size().height());
    };
    // The narrowest width at which the text needs no more lines than at the widest: lines of even length rather
    // than one long line above a last word alone.
    const int height = heightAt(width);
    int narrowest = 1;
    int used = width;
    while (narrowest < used) {
        const int middle = (narrowest + used) / 2;
        if (heightAt(middle) > height)
            narrowest = middle + 1;
        else
            used = middle;
    }
    // A scrolling text gives up the scroll bar's width to it.
    if (height > maxHeight)
        used = qMin(used + verticalScrollBar()->sizeHint().width(), width);
    setFixedSize(used, qMin(height, maxHeight));
}
