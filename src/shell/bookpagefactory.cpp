#include "shell/bookpagefactory.h"

#include "analysis/waccountanalysis.h"
#include "analysis/wbillstat.h"
#include "analysis/wborroweranalysis.h"
#include "analysis/wcategoryanalysis.h"
#include "analysis/wmemberanalysis.h"
#include "bookkeeping/waccountlist.h"
#include "bookkeeping/wbilllist.h"
#include "bookkeeping/wborrowerlist.h"
#include "bookkeeping/wcategorylist.h"
#include "bookkeeping/wmemberlist.h"

WBaseWidget* BookPageFactory::create(const QString& page, QWidget* container)
{
    if (page == "AccountList")
        return new WAccountList(container);
    if (page == "CategoryList")
        return new WCategoryList(container);
    if (page == "BorrowerList")
        return new WBorrowerList(container);
    if (page == "BillList")
        return new WBillList(container);
    if (page == "CategoryAnalysis")
        return new WCategoryAnalysis(container);
    if (page == "AccountAnalysis")
        return new WAccountAnalysis(container);
    if (page == "BillStat")
        return new WBillStat(container);
    if (page == "MemberList")
        return new WMemberList(container);
    if (page == "MemberAnalysis")
        return new WMemberAnalysis(container);
    if (page == "BorrowerAnalysis")
        return new WBorrowerAnalysis(container);
    return nullptr;
}
