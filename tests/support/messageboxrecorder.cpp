#include "messageboxrecorder.h"

#include "widgets/dmessagebox.h"

MessageBoxRecorder::MessageBoxRecorder(int answer) : m_answer(answer)
{
    DMessageBox::setResponder([this](const QString& title, const QString& text) {
        m_boxes.append({title, text});
        return m_answer;
    });
}

MessageBoxRecorder::~MessageBoxRecorder()
{
    DMessageBox::setResponder(nullptr);
}

void MessageBoxRecorder::setAnswer(int answer)
{
    m_answer = answer;
}

const QVector<QPair<QString, QString>>& MessageBoxRecorder::boxes() const
{
    return m_boxes;
}
