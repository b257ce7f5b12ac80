#include "bookkeeping/waccountlist.h"

#include "bookkeeping/daccount.h"
#include "data/maccountmodel.h"

WAccountList::WAccountList(QWidget* parent)
    : WRecordList(parent,
                  std::make_unique<RecordAccessOf<MAccount, MAccountModel, DAccount>>(
                      &MAccount::get, &DAccount::setAccount,
                      RecordAccess::Notices{&Notifier::accountDataChanged, &Notifier::billDataChanged}),
                  {"tvAccountList",
                   tr("新建账户"),
                   "AccountList",
                   {200, 100, 100, 100, 300},
                   tr("不能删除"),
                   tr("已经有账目使用了这个账户，您不能删除此账户。")})
{
}
