#pragma once
// Dialogs answered from a script: each file dialog takes the next queued
// answer (an empty answer cancels), and so does each item browser (an empty
// list cancels); messages are recorded.
#include <QStringList>
#include <deque>
#include <optional>
#include <string>
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
        QString title;
    };

    void answer(const QString& fileName) { answers.push_back(fileName); }

    bool execute(FileDialog& dialog) override {
        shown.push_back({dialog.Name, dialog.Filter, dialog.FilterIndex, dialog.DefaultExt, dialog.Title});
        if (answers.empty()) return false;
        const QString next = answers.front();
        answers.pop_front();
        if (next.isEmpty()) return false;
        dialog.FileName = next;
        return true;
    }
    void showMessage(const QString& text) override { messages << text; }

    std::optional<std::vector<std::string>> browseItems(PlantAccess&) override {
        ++browsed;
        if (itemAnswers.empty()) return std::nullopt;
        std::vector<std::string> next = itemAnswers.front();
        itemAnswers.pop_front();
        if (next.empty()) return std::nullopt;
        return next;
    }
    CertificateTrust trustCertificate(const ServerCertificate& certificate) override {
        certificates.push_back(certificate.Thumbprint);
        return trust;
    }

    // Questions are recorded and answered with the next queued answer, Yes
    // when none is queued.
    bool confirm(const QString& question) override {
        questions << question;
        if (confirmAnswers.empty()) return true;
        const bool next = confirmAnswers.front();
        confirmAnswers.pop_front();
        return next;
    }
    std::deque<bool> confirmAnswers;
    QStringList questions;

    std::deque<std::vector<std::string>> itemAnswers;
    int browsed = 0;
    CertificateTrust trust = CertificateTrust::Reject;
    std::vector<std::string> certificates;

    std::deque<QString> answers;
    std::vector<Shown> shown;
    QStringList messages;
};

}  // namespace halvetra
