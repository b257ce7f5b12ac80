#pragma once

#include <QObject>
#include <QString>

class QAbstractItemView;
class QHeaderView;

// Sizes a view's columns so that every text shows whole: each column takes the width of its contents and the
// first column, the name, takes what is left of the view's width. Once the user drags a column, the widths are
// stored under the view's key and kept from then on, widened only where they would cut a text.
class FittedColumns : public QObject
{
public:
    FittedColumns(QAbstractItemView* view, QHeaderView* header, const QString& key);

    // Sizes the columns to the rows the view holds now; call it after every fill.
    void fit();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    int contentsWidth(int column) const;
    void userResized();

    QAbstractItemView* m_view;
    QHeaderView* m_header;
    QString m_key;
    // The widths fit() sets are the program's, not the user's: they are not stored.
    bool m_fitting = false;
};
