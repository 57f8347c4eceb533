// A main window without a display: it keeps what the presenter set and lets tests set what a
// user would have typed or ticked.
#pragma once

#include <atomic>
#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "app/DialogTemplate.h"
#include "app/MainWindowView.h"

namespace qzx::test {

class FakeWindowView final : public MainWindowView {
  public:
    struct Timer {
        int periodMs = 0;
        bool running = false;
    };

    std::string title;
    std::map<int, bool> enabled;
    std::map<int, std::string> texts;
    std::map<int, bool> checked;
    std::map<int, std::string> toolTips;
    std::map<int, Rgb> colors;
    std::map<int, FontSpec> fonts;
    std::map<int, CursorShape> cursors;
    int focus = 0;
    std::vector<std::string> columnTitles;
    std::vector<int> columnWidths;
    int processColumnCalls = 0;
    std::vector<ListSync> syncs;
    std::map<int, Rect> rects;
    std::vector<int> moved;
    std::map<WindowTimer, Timer> timers;
    std::vector<std::string> aboutBoxes;
    int closes = 0;
    std::atomic<int> wakes{0};
    /// Every menu shown, and the choices a user makes in them in turn (none once used up);
    /// duringMenu runs while a menu is open, as timers do in a shell's menu loop.
    std::vector<std::vector<RowMenuItem>> menus;
    std::deque<int> menuChoices;
    std::function<void()> duringMenu;
    std::vector<std::string> clipboard;
    /// The texts the ignore list's dialog opened on, and its answers in turn (Cancel once
    /// used up).
    std::vector<std::string> editTexts;
    std::deque<std::optional<std::string>> editAnswers;
    // The check box as each dialog was shown, and as the next ones are left after OK.
    std::vector<bool> editChecks;
    std::deque<bool> checkAnswers;
    /// What happened in order, for rules about order ("colour:1019", "text:1019", ...).
    std::vector<std::string> trace;

    /// Controls at their template places, as a fresh window has them.
    FakeWindowView() {
        for (const auto& c : TemplateControlRects(MainWindowTemplate())) {
            if (c.id != kIdStatic) rects[c.id] = c.rect;
        }
    }

    bool Enabled(int id) const {
        const auto it = enabled.find(id);
        return it == enabled.end() || it->second;
    }
    int Rows() const { return syncs.empty() ? 0 : syncs.back().rowCount; }

    void SetTitle(const std::string& t) override { title = t; }
    void SetEnabled(int id, bool e) override { enabled[id] = e; }
    void SetText(int id, const std::string& text) override {
        texts[id] = text;
        trace.push_back("text:" + std::to_string(id));
    }
    std::string Text(int id) const override {
        const auto it = texts.find(id);
        return it == texts.end() ? std::string() : it->second;
    }
    bool IsChecked(int id) const override {
        const auto it = checked.find(id);
        return it != checked.end() && it->second;
    }
    void SetChecked(int id, bool c) override { checked[id] = c; }
    void SetToolTip(int id, const std::string& text) override { toolTips[id] = text; }
    void SetTextColor(int id, Rgb color) override {
        colors[id] = color;
        trace.push_back("colour:" + std::to_string(id));
    }
    void SetFont(int id, const FontSpec& font) override { fonts[id] = font; }
    void SetCursor(int id, CursorShape shape) override { cursors[id] = shape; }
    void SetFocus(int id) override { focus = id; }
    void SetListColumns(const std::vector<std::string>& t, const std::vector<int>& w) override {
        columnTitles = t;
        columnWidths = w;
    }
    void SetListColumnWidth(int column, int width) override {
        if (column >= 0 && column < static_cast<int>(columnWidths.size()))
            columnWidths[column] = width;
    }
    /// Column kProcessColumn goes on the end of columnTitles and columnWidths, and off again.
    void ShowProcessColumn(bool shown, const std::string& t, int w) override {
        ++processColumnCalls;
        if (shown) {
            columnTitles.push_back(t);
            columnWidths.push_back(w);
        } else if (!columnTitles.empty()) {
            columnTitles.pop_back();
            columnWidths.pop_back();
        }
    }
    void SyncList(const ListSync& sync) override { syncs.push_back(sync); }
    bool ControlRect(int id, Rect& rect) const override {
        const auto it = rects.find(id);
        if (it == rects.end()) return false;
        rect = it->second;
        return true;
    }
    void MoveControl(int id, const Rect& rect) override {
        rects[id] = rect;
        moved.push_back(id);
    }
    void StartTimer(WindowTimer timer, int periodMs) override { timers[timer] = {periodMs, true}; }
    void StopTimer(WindowTimer timer) override { timers[timer].running = false; }
    void Wake() override { wakes.fetch_add(1); }
    void ShowAboutBox(const std::string& logFolder) override { aboutBoxes.push_back(logFolder); }
    void Close() override { ++closes; }
    int ShowMenu(const std::vector<RowMenuItem>& items, ScreenPoint) override {
        menus.push_back(items);
        if (duringMenu) duringMenu();
        if (menuChoices.empty()) return -1;
        const int choice = menuChoices.front();
        menuChoices.pop_front();
        return choice;
    }
    void CopyToClipboard(const std::string& text) override { clipboard.push_back(text); }
    std::optional<std::string> EditText(const std::string&, const std::string& text,
                                        bool& check) override {
        editTexts.push_back(text);
        editChecks.push_back(check);
        if (editAnswers.empty()) return std::nullopt;
        std::optional<std::string> answer = editAnswers.front();
        editAnswers.pop_front();
        if (answer && !checkAnswers.empty()) {
            check = checkAnswers.front();
            checkAnswers.pop_front();
        }
        return answer;
    }
};

}  // namespace qzx::test
