#pragma once
// Dialogs answered from a script: each file dialog takes the next queued
// answer (an empty answer cancels); messages are recorded.
#include <QStringList>
#include <deque>
#include <vector>

#include "ui/Dialogs.h"

namespace halvetra {

class FakeDialogs final : public Dialogs {
public:
    struct Shown {
        QString name;
        QString filter;
        int filterIndex;
        QString defaultExt;
    };

    void answer(const QString& fileName) { answers.push_back(fileName); }

    bool execute(FileDialog& dialog) override {
        shown.push_back({dialog.Name, dialog.Filter, dialog.FilterIndex, dialog.DefaultExt});
        if (answers.empty()) return false;
        const QString next = answers.front();
        answers.pop_front();
        if (next.isEmpty()) return false;
        dialog.FileName = next;
        return true;
    }
    void showMessage(const QString& text) override { messages << text; }

    std::deque<QString> answers;
    std::vector<Shown> shown;
    QStringList messages;
};

}  // namespace halvetra
