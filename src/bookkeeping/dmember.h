#pragma once

#include "bookkeeping/drecorddialog.h"
#include "bookkeeping/editedrecord.h"
#include "data/mmember.h"

namespace Ui {
class DMember;
}

// Creates a member, or changes one after setMember().
class DMember : public DRecordDialog
{
    Q_OBJECT

public:
    explicit DMember(QWidget* parent);
    ~DMember() override;

    void setMember(MMember* member);

protected:
    bool store() override;

private:
    Ui::DMember* ui;
    EditedRecord<MMember> m_member;
};
