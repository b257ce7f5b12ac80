#pragma once

#include <QWidget>

// The settings page of the content stack. For now an empty page.
class USetting : public QWidget
{
    Q_OBJECT

public:
    explicit USetting(QWidget* parent = nullptr);
};
