#pragma once

#include <QObject>

class QTreeView;

// Lets a column of a tree view show its long texts whole while the view has room for them: the column keeps its
// own width as the least, and widens into the part of the stretching column that none of that column's texts
// use. Only with that room used up are its texts cut. The top-level rows (the bill list's date groups) span their
// row and take no part; the rows below them do.
class ColumnRoom : public QObject
{
    Q_OBJECT

public:
    // Takes the column's width at this moment as its own, and any the user gives it later.
    ColumnRoom(QTreeView* view, int column, int stretching);

    // The width the column has of its own, whatever room it takes besides: the one to store.
    int ownWidth() const;
    // Widens or narrows the column to what its texts need within the room; the view's resets and resizes call it,
    // and a change of the texts that resets nothing should too.
    void fit();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // The widest text of a column, margins included.
    int widest(int column) const;

    QTreeView* m_view;
    int m_column;
    int m_stretching;
    int m_ownWidth;
    bool m_fitting = false;
};
