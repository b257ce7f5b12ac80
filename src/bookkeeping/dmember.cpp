#include "bookkeeping/dmember.h"

#include "ui_dmember.h"

DMember::DMember(QWidget* parent) : DRecordDialog(parent), ui(new Ui::DMember)
{
    ui->setupUi(this);
    setUp(ui->wgtTitle, tr("成员"), ui->leName, ui->lnDescription, tr("成员名称不能为空！"));
}

DMember::~DMember()
{
    delete ui;
}

void DMember::setMember(MMember* member)
{
    m_member.edit(member);
    showNameAndDescription(member->getName(), member->getDescription());
}

bool DMember::store()
{
    const auto change = [this](MMember& member) {
        member.setName(name());
        member.setDescription(description());
    };
    return m_member.store(change, &MMember::insert, &MMember::update);
}
