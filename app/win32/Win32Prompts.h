// Message boxes, the folder picker and the save dialog of the Windows program.
#pragma once

#include <windows.h>

#include <functional>

#include "app/Prompts.h"

namespace qzx {

/// Prompts shown with the W calls, owned by the main window once it exists.
class Win32Prompts final : public Prompts {
  public:
    /// owner gives the window that the boxes belong to (null before the window exists).
    explicit Win32Prompts(std::function<HWND()> owner) : owner(std::move(owner)) {}

    void ShowMessage(const std::string& text, MessageIcon icon) override;
    bool AskYesNo(const std::string& text) override;
    int ChooseFolder(const std::string& title, std::string& path) override;
    int ChooseSaveFile(const std::vector<FileFilter>& filters, std::string& path) override;

  private:
    std::function<HWND()> owner;
};

}  // namespace qzx
