#include "bookkeeping/wmemberlist.h"

#include "bookkeeping/dmember.h"
#include "data/mmembermodel.h"

WMemberList::WMemberList(QWidget* parent)
    : WRecordList(
          parent,
          std::make_unique<RecordAccessOf<MMember, MMemberModel, DMember>>(
              &MMember::getMemberList, &DMember::setMember, RecordAccess::Notices{&Notifier::memberDataChanged}),
          {"tvMemberList",
           tr("新建成员"),
           "MemberList",
           {200, 300},
           tr("删除失败"),
           tr("已经有账目使用了这个成员，您不能删除此成员。")})
{
}
