#pragma once

#include "bookkeeping/recordaccess.h"
#include "widgets/wbasewidget.h"

#include <QList>
#include <QString>
#include <memory>

class PageReloader;
class QAbstractItemModel;

namespace Ui {
class WRecordList;
}

// A page that keeps one kind of master data in the user's own order: a table over the record class's model,
// create and modify through the record's dialog, remove (refused for a record that bills still use) and move
// up and down. The pages of accounts, borrowers and members differ only in what they are built with.
class WRecordList : public WBaseWidget
{
    Q_OBJECT

public:
    struct Texts
    {
        QString tableName;
        QString createCaption;
        QString widthKey;
        QList<int> defaultWidths;
        QString refusalTitle;
        QString refusalText;
    };

    ~WRecordList() override;

public slots:
    void bind() override;

protected:
    WRecordList(QWidget* parent, std::unique_ptr<RecordAccess> access, const Texts& texts);

private slots:
    void on_pbModify_clicked();
    void on_pbCreate_clicked();
    void on_pbRemove_clicked();
    void on_pbMovePrevious_clicked();
    void on_pbMoveNext_clicked();
    void refreshMoveButtons();

private:
    // The id of the first selected record still in the book; empty when there is none.
    QString selectedId() const;
    void openDialog(const QString& id);
    void move(int step);

    Ui::WRecordList* ui;
    const std::unique_ptr<RecordAccess> access;
    const Texts texts;
    QAbstractItemModel* model = nullptr;
    PageReloader* reloader;
};
