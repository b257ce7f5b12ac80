#pragma once

#include <QWidget>

// The data page of the content stack: backups, restore, reset and import. For now an empty page.
class UData : public QWidget
{
    Q_OBJECT

public:
    explicit UData(QWidget* parent = nullptr);
};
