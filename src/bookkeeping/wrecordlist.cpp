#include "bookkeeping/wrecordlist.h"

#include "ui_wrecordlist.h"
#include "widgets/columnwidths.h"
#include "widgets/dmessagebox.h"
#include "widgets/pagereloader.h"

#include <QItemSelectionModel>
#include <QShortcut>

WRecordList::WRecordList(QWidget* parent, std::unique_ptr<RecordAccess> access, const Texts& texts)
    : WBaseWidget(parent), ui(new Ui::WRecordList), access(std::move(access)), texts(texts)
{
    ui->setupUi(this);
    ui->tvRecordList->setObjectName(texts.tableName);
    ui->pbCreate->setText(texts.createCaption);
    ui->pbCreate->setProperty("style", "green");
    for (QWidget* button : {ui->pbMovePrevious, ui->pbMoveNext, ui->pbModify, ui->pbRemove})
        button->setProperty("style", "blue");

    connect(ui->tvRecordList, &QAbstractItemView::clicked, this, &WRecordList::refreshMoveButtons);
    connect(ui->tvRecordList, &QAbstractItemView::doubleClicked, this, &WRecordList::on_pbModify_clicked);
    // Fires while the table is visible in the active window, also when a button of the page has the focus.
    QShortcut* remove = new QShortcut(QKeySequence::Delete, ui->tvRecordList);
    connect(remove, &QShortcut::activated, this, &WRecordList::on_pbRemove_clicked);
    reloader = new PageReloader(this, this->access->changeNotices());
}

WRecordList::~WRecordList()
{
    delete ui;
}

void WRecordList::bind()
{
    reloader->reloaded();
    QAbstractItemModel* oldModel = model;
    QItemSelectionModel* oldSelection = ui->tvRecordList->selectionModel();
    model = access->createModel(this);
    ui->tvRecordList->setModel(model);
    delete oldSelection;
    delete oldModel;
    ColumnWidths::apply(ui->tvRecordList->horizontalHeader(), texts.widthKey, texts.defaultWidths);
}

QString WRecordList::selectedId() const
{
    const QModelIndexList selected = ui->tvRecordList->selectionModel()->selectedIndexes();
    if (selected.isEmpty())
        return QString();
    const QString id = access->idAt(selected.first());
    return access->exists(id) ? id : QString();
}

void WRecordList::refreshMoveButtons()
{
    const QString id = selectedId();
    const QStringList ids = access->orderedIds();
    const int position = ids.indexOf(id);
    ui->pbMovePrevious->setEnabled(!id.isEmpty() && position != 0);
    ui->pbMoveNext->setEnabled(!id.isEmpty() && position != ids.size() - 1);
}

void WRecordList::openDialog(const QString& id)
{
    const std::unique_ptr<QDialog> dialog(access->createDialog(this, id));
    if (dialog->exec() == QDialog::Accepted)
        bind();
}

void WRecordList::on_pbCreate_clicked()
{
    openDialog(QString());
}

void WRecordList::on_pbModify_clicked()
{
    const QString id = selectedId();
    if (!id.isEmpty())
        openDialog(id);
}

void WRecordList::on_pbRemove_clicked()
{
    QStringList removable;
    for (const QModelIndex& index : ui->tvRecordList->selectionModel()->selectedRows(0)) {
        const QString id = access->idAt(index);
        if (!access->exists(id))
            continue;
        if (access->isUsed(id))
            DMessageBox::information(this, texts.refusalTitle, texts.refusalText);
        else
            removable << id;
    }
    if (removable.isEmpty())
        return;
    if (access->removeAll(removable))
        bind();
    else
        DMessageBox::error(this, tr("删除失败，选中的记录都没有删除，请重试。"));
}

void WRecordList::on_pbMovePrevious_clicked()
{
    move(-1);
}

void WRecordList::on_pbMoveNext_clicked()
{
    move(1);
}

void WRecordList::move(int step)
{
    const QString id = selectedId();
    QStringList ids = access->orderedIds();
    const int position = ids.indexOf(id);
    if (id.isEmpty() || position + step < 0 || position + step >= ids.size())
        return;
    // Stored positions may have gaps or ties: numbering the whole list afresh makes the swap always take effect.
    ids.swapItemsAt(position, position + step);
    if (!access->renumber(ids))
        DMessageBox::error(this, tr("移动失败，顺序没有改变，请重试。"));
    bind();
    ui->tvRecordList->selectRow(access->orderedIds().indexOf(id));
    refreshMoveButtons();
    ui->tvRecordList->setFocus(Qt::OtherFocusReason);
}
