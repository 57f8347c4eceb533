#include "app/qt/MonitorDialog.h"

#include <QCheckBox>
#include <QFont>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>

#include "app/Texts.h"
#include "app/qt/EventListModel.h"

namespace qzx {
namespace {

QString Q(const std::string& s) { return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())); }

std::string S(const QString& s) {
    const QByteArray bytes = s.toUtf8();
    return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

constexpr int kTimer1PeriodMs = 5000;
// Rows reach the list in batches at this pace: fast enough to feel immediate, slow enough that
// a burst of changes never repaints once per row.
constexpr int kPollPeriodMs = 50;

enum class Kind { Edit, Button, DefaultButton, Check, Label, List, Picture };

struct ControlSpec {
    int id;
    Kind kind;
    const char* caption;
    int x, y, w, h;  // dialog units
};

// In tab order.
const ControlSpec kControls[] = {
    {1002, Kind::Edit, "", 83, 28, 228, 16},
    {1003, Kind::Button, "浏览...", 319, 28, 45, 17},
    {1007, Kind::Check, "文件新增", 47, 50, 48, 10},
    {1008, Kind::Check, "文件修改", 98, 50, 48, 10},
    {1009, Kind::Check, "文件删除", 149, 50, 48, 10},
    {1010, Kind::Check, "文件命名", 201, 50, 48, 10},
    {1012, Kind::Label, "选择路径:", 41, 30, 40, 10},
    {1013, Kind::Label, "选择事件:", 7, 51, 37, 8},
    {1004, Kind::List, "", 7, 66, 358, 222},
    {1015, Kind::Check, "其他事件", 252, 50, 48, 10},
    {1000, Kind::DefaultButton, "开始监控", 372, 28, 45, 17},
    {1001, Kind::Button, "停止监控", 372, 54, 45, 17},
    {1005, Kind::Button, "导出记录", 372, 80, 45, 17},
    {1018, Kind::Button, "关于我们", 372, 244, 45, 17},
    {2, Kind::Button, "退出程序", 372, 271, 45, 17},
    {-1, Kind::Picture, "", 8, 5, 28, 32},
    {1019, Kind::Label, "", 43, 290, 319, 9},
    {1021, Kind::Picture, "", 38, 6, 260, 21},
    {1023, Kind::Button, "清空记录", 372, 107, 45, 17},
    {1024, Kind::Label, "好消息:", 7, 291, 29, 8},
    {1026, Kind::Check, "超过10000行自动清空", 319, 12, 98, 13},
    {1027, Kind::Label, "监控状态", 319, 50, 43, 11},
    {1028, Kind::Check, "记录日志", 372, 139, 50, 14},
};

constexpr double kPixelsPerUnit = 1.5;
int Px(int units) { return static_cast<int>(units * kPixelsPerUnit + 0.5); }

}  // namespace

MonitorDialog::MonitorDialog(MonitorDialogDeps d, QWidget* parent)
    : QDialog(parent), deps(std::move(d)) {
    setWindowTitle(QString::fromUtf8(texts::kTitlePrefix) + Q(deps.makerAddress));
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinMaxButtonsHint | Qt::WindowCloseButtonHint);
    setSizeGripEnabled(false);
    const QSize templateSize(Px(424), Px(303));
    resize(templateSize);
    setMinimumSize(templateSize);

    CreateControls();
    SetOptionsOnScreen(DefaultOptions());
    deps.controller.SetOptions(OptionsOnScreen());
    ApplyStates();
    pathEdit->setFocus();

    connect(&timer1, &QTimer::timeout, this, &MonitorDialog::TickTimer1);
    timer1.start(kTimer1PeriodMs);
    connect(&pollTimer, &QTimer::timeout, this, &MonitorDialog::PollNow);
    pollTimer.start(kPollPeriodMs);
}

MonitorDialog::~MonitorDialog() = default;

void MonitorDialog::CreateControls() {
    QFont dialogFont = font();
    dialogFont.setFamilies({"SimSun", "WenQuanYi Micro Hei", "Noto Sans CJK SC"});
    dialogFont.setPointSizeF(9);
    setFont(dialogFont);
    QFont displayFont;
    displayFont.setFamilies({"Verdana", "DejaVu Sans"});
    displayFont.setPointSizeF(9.2);

    for (const ControlSpec& c : kControls) {
        QWidget* w = nullptr;
        const QString caption = QString::fromUtf8(c.caption);
        switch (c.kind) {
            case Kind::Edit:
                w = pathEdit = new QLineEdit(this);
                pathEdit->setFont(displayFont);
                break;
            case Kind::Button:
            case Kind::DefaultButton: {
                auto* b = new QPushButton(caption, this);
                b->setDefault(c.kind == Kind::DefaultButton);
                w = b;
                break;
            }
            case Kind::Check:
                w = new QCheckBox(caption, this);
                break;
            case Kind::Label:
            case Kind::Picture:
                w = new QLabel(caption, this);
                break;
            case Kind::List:
                w = eventList = new QTableView(this);
                break;
        }
        w->setGeometry(Px(c.x), Px(c.y), Px(c.w), Px(c.h));
        if (c.id >= 0) controls.insert(c.id, w);
    }

    auto* ticker = static_cast<QLabel*>(Control(1019));
    ticker->setFont(displayFont);
    ticker->setText(Q(deps.makerAddress));
    ticker->setCursor(Qt::PointingHandCursor);
    Control(1021)->setCursor(Qt::PointingHandCursor);
    status = static_cast<QLabel*>(Control(1027));

    model = new EventListModel(deps.list, this);
    eventList->setModel(model);
    eventList->setShowGrid(true);
    eventList->setSelectionBehavior(QAbstractItemView::SelectRows);
    eventList->setSelectionMode(QAbstractItemView::SingleSelection);
    eventList->setEditTriggers(QAbstractItemView::NoEditTriggers);
    eventList->setWordWrap(false);
    eventList->verticalHeader()->hide();
    eventList->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    eventList->verticalHeader()->setDefaultSectionSize(eventList->fontMetrics().height() + 4);
    QHeaderView* header = eventList->horizontalHeader();
    header->setSectionsMovable(false);
    header->setHighlightSections(false);
    header->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    const int widths[] = {40, 60, 40, 393};
    for (int i = 0; i < 4; ++i) eventList->setColumnWidth(i, widths[i]);

    connect(static_cast<QPushButton*>(Control(1003)), &QPushButton::clicked, this, &MonitorDialog::OnBrowse);
    connect(static_cast<QPushButton*>(Control(1000)), &QPushButton::clicked, this, &MonitorDialog::OnStartMonitor);
    connect(static_cast<QPushButton*>(Control(1001)), &QPushButton::clicked, this, &MonitorDialog::OnStopMonitor);
    connect(static_cast<QPushButton*>(Control(1023)), &QPushButton::clicked, this, &MonitorDialog::OnClearEvents);
    connect(static_cast<QPushButton*>(Control(2)), &QPushButton::clicked, this, &QDialog::reject);
    for (int id : {1007, 1008, 1009, 1010, 1015, 1026, 1028}) {
        connect(static_cast<QCheckBox*>(Control(id)), &QCheckBox::clicked, this,
                &MonitorDialog::OnOptionChanged);
    }
}

MonitorOptions MonitorDialog::OptionsOnScreen() const {
    auto on = [this](int id) { return static_cast<QCheckBox*>(Control(id))->isChecked() ? 1 : 0; };
    MonitorOptions o;
    o.optAdded = on(1007);
    o.optModified = on(1008);
    o.optDeleted = on(1009);
    o.optRenamed = on(1010);
    o.optOther = on(1015);
    o.optAutoClear = on(1026);
    o.optRecordLog = on(1028);
    return o;
}

void MonitorDialog::SetOptionsOnScreen(const MonitorOptions& o) {
    auto set = [this](int id, int v) { static_cast<QCheckBox*>(Control(id))->setChecked(v != 0); };
    set(1007, o.optAdded);
    set(1008, o.optModified);
    set(1009, o.optDeleted);
    set(1010, o.optRenamed);
    set(1015, o.optOther);
    set(1026, o.optAutoClear);
    set(1028, o.optRecordLog);
}

void MonitorDialog::OnBrowse() {
    std::string path;
    if (deps.controller.Browse(path)) pathEdit->setText(Q(path));
}

void MonitorDialog::OnStartMonitor() {
    deps.controller.SetOptions(OptionsOnScreen());
    deps.controller.StartMonitor(S(pathEdit->text()));
    ApplyStates();
}

void MonitorDialog::OnStopMonitor() {
    deps.controller.StopMonitor();
    model->Sync();
    ApplyStates();
}

void MonitorDialog::OnOptionChanged() { deps.controller.SetOptions(OptionsOnScreen()); }

void MonitorDialog::OnClearEvents() {
    deps.controller.ClearEvents();
    model->Sync();
}

void MonitorDialog::TickTimer1() { deps.recorder.EndDuplicateWindow(); }

void MonitorDialog::PollNow() {
    model->Sync();
    if (deps.controller.Poll()) ApplyStates();
}

void MonitorDialog::ApplyStates() {
    const ControlStates s = deps.controller.States();
    Control(1000)->setEnabled(s.startEnabled);
    Control(1001)->setEnabled(s.stopEnabled);
    Control(1003)->setEnabled(s.browseEnabled);
    pathEdit->setEnabled(s.pathEnabled);
    status->setText(Q(s.status));
    status->setToolTip(Q(s.statusDetail));
}

}  // namespace qzx
