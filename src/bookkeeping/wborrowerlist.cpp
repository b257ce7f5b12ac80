#include "bookkeeping/wborrowerlist.h"

#include "bookkeeping/dborrower.h"
#include "data/mborrowermodel.h"

WBorrowerList::WBorrowerList(QWidget* parent)
    : WRecordList(parent,
                  std::make_unique<RecordAccessOf<MBorrower, MBorrowerModel, DBorrower>>(
                      &MBorrower::getBorrowerList, &DBorrower::setBorrower,
                      RecordAccess::Notices{&Notifier::borrowerDataChanged, &Notifier::billDataChanged}),
                  {"tvBorrowerList",
                   tr("新建借款人"),
                   "BorrowerList",
                   {200, 150, 300},
                   tr("删除失败"),
                   tr("已经有账目使用了这个借款人，您不能删除此借款人。")})
{
}
