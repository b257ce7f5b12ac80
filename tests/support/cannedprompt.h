#pragma once

#include "platform/fileprompt.h"

// Answers every file and folder dialog with one canned path while it lives, so that no modal dialog blocks a test.
class CannedPrompt : public FilePrompt
{
public:
    explicit CannedPrompt(const QString& answer = QString()) : answer(answer) { setCurrent(this); }
    ~CannedPrompt() override { setCurrent(nullptr); }

    QString saveFileName(QWidget*, const QString&, const QString&) override { return answer; }
    QString openFileName(QWidget*, const QString&, const QString&) override { return answer; }
    QString directory(QWidget*, const QString&) override { return answer; }

    QString answer;
};
