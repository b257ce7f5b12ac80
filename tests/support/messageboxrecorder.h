#pragma once

#include <QPair>
#include <QString>
#include <QVector>

// Answers every DMessageBox while it lives, so that no modal box blocks a test, and keeps the title and text
// of each box that would have been shown.
class MessageBoxRecorder
{
public:
    explicit MessageBoxRecorder(int answer = 1);
    ~MessageBoxRecorder();

    void setAnswer(int answer);
    const QVector<QPair<QString, QString>>& boxes() const;

private:
    int m_answer;
    QVector<QPair<QString, QString>> m_boxes;
};
