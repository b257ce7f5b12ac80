#include "shell/umenubar.h"

#include "ui_umenubar.h"

#include "bookkeeping/dbill.h"
#include "bookkeeping/wbilllist.h"
#include "data/filesetting.h"
#include "shell/ubook.h"
#include "widgets/stylepainter.h"

UMenuBar::UMenuBar(QWidget* parent) : QWidget(parent), ui(new Ui::UMenuBar), book(qobject_cast<UBook*>(parent))
{
    ui->setupUi(this);
    connect(ui->tbNewBill, &QPushButton::clicked, this, &UMenuBar::onNewBillButtonClicked);
    const QList<QPushButton*> pageButtons{
        ui->tbBillList,         ui->tbAccountList,     ui->tbCategoryList,     ui->tbBorrowerList,   ui->tbMemberList,
        ui->pbCategoryAnalysis, ui->pbAccountAnalysis, ui->pbBorrowerAnalysis, ui->pbMemberAnalysis, ui->pbBillStat};
    for (QPushButton* button : pageButtons)
        connect(button, &QPushButton::clicked, this, &UMenuBar::onToolButtonClicked);

    const bool members = FileSetting::getInstance()->getValue("Common/EnableBillMember", true).toBool();
    ui->tbMemberList->setVisible(members);
    ui->pbMemberAnalysis->setVisible(members);
}

UMenuBar::~UMenuBar()
{
    delete ui;
}

void UMenuBar::paintEvent(QPaintEvent*)
{
    StylePainter::paintBackground(this);
}

void UMenuBar::onNewBillButtonClicked()
{
    DBill dialog(this);
    if (dialog.exec() == QDialog::Rejected || !book)
        return;
    // The bill list follows bill changes by itself; any other page is visible already and gets no show event.
    WBaseWidget* page = book->currentBaseWidget();
    if (!page || qobject_cast<WBillList*>(page))
        return;
    page->bind();
}

void UMenuBar::onToolButtonClicked()
{
    if (book && sender())
        book->showPage(sender()->objectName().mid(2));
}
