#pragma once

#include <QWidget>

// The sync page of the content stack. For now an empty page.
class USync : public QWidget
{
    Q_OBJECT

public:
    explicit USync(QWidget* parent = nullptr);
};
