#pragma once

#include <QDialog>

// The editor of one bill. For now only its frame: it saves nothing and always ends rejected.
class DBill : public QDialog
{
    Q_OBJECT

public:
    explicit DBill(QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;
};
