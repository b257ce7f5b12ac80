#pragma once

#include <QWidget>

// The skin popup under the title bar's skin button; it closes when the user clicks outside it. For now an
// empty panel: the colour buttons are not there yet.
class USkin : public QWidget
{
    Q_OBJECT

public:
    explicit USkin(QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;
};
