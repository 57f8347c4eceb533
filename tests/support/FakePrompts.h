// Prompts that tests answer in advance and read back afterwards.
#pragma once

#include <deque>
#include <string>
#include <vector>

#include "app/Prompts.h"

namespace qzx::test {

class FakePrompts final : public Prompts {
  public:
    struct Shown {
        std::string text;
        MessageIcon icon;
    };
    std::vector<Shown> messages;
    std::vector<std::string> questions;
    std::deque<bool> answers;           // for AskYesNo; No when empty
    std::deque<std::string> folders;    // for ChooseFolder; cancel when empty
    std::deque<std::string> saveFiles;  // for ChooseSaveFile; cancel when empty
    std::vector<FileFilter> lastFilters;
    std::string lastFolderTitle;

    void ShowMessage(const std::string& text, MessageIcon icon) override {
        messages.push_back({text, icon});
    }
    bool AskYesNo(const std::string& text) override {
        questions.push_back(text);
        if (answers.empty()) return false;
        bool a = answers.front();
        answers.pop_front();
        return a;
    }
    int ChooseFolder(const std::string& title, std::string& path) override {
        lastFolderTitle = title;
        if (folders.empty()) return 0;
        path = folders.front();
        folders.pop_front();
        return 1;
    }
    int ChooseSaveFile(const std::vector<FileFilter>& filters, std::string& path) override {
        lastFilters = filters;
        if (saveFiles.empty()) return 0;
        path = saveFiles.front();
        saveFiles.pop_front();
        return 1;
    }
};

}  // namespace qzx::test
