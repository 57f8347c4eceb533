#include "app/qt/MonitorDialog.h"

#include <QCheckBox>
#include <QContextMenuEvent>
#include <QFont>
#include <QHeaderView>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QPalette>
#include <QPixmap>
#include <QPushButton>
#include <QResizeEvent>
#include <QShortcut>
#include <QTableView>

#include "app/ControlIds.h"
#include "app/DesktopOpener.h"
#include "app/DialogTemplate.h"
#include "app/Texts.h"
#include "app/WindowLayout.h"
#include "app/qt/AboutDialog.h"
#include "app/qt/EventListModel.h"
#include "app/qt/QtText.h"
#include "online/OnlineNotices.h"
#include "online/TextTools.h"
#include "online/WebAddress.h"
#include "records/RecordExport.h"

namespace qzx {
namespace {

constexpr int kTimer1PeriodMs = 5000;
// Rows reach the list in batches at this pace: fast enough to feel immediate, slow enough that
// a burst of changes never repaints once per row.
constexpr int kPollPeriodMs = 50;
constexpr int kTimer2DelayMs = 2000;

QRect Px(const Rect& units) {
    const Rect r = TemplateRectToPixels(units);
    return QRect(r.x, r.y, r.width, r.height);
}

}  // namespace

MonitorDialog::MonitorDialog(MonitorDialogDeps d, QWidget* parent)
    : QDialog(parent), deps(std::move(d)) {
    const DialogTemplate& t = MainWindowTemplate();
    setWindowTitle(Q(t.caption + deps.notices.MakerAddress()));
    QIcon icon;
    for (int size : {16, 22, 24, 32, 48, 64, 128, 256}) {
        icon.addFile(QString(":/res/icons/qzxfile-%1.png").arg(size), QSize(size, size));
    }
    setWindowIcon(icon);
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinMaxButtonsHint | Qt::WindowCloseButtonHint);
    setSizeGripEnabled(false);
    const QSize templateSize(DialogUnitsToPixels(t.width), DialogUnitsToPixels(t.height));
    resize(templateSize);
    arrangedSize = templateSize;
    setMinimumSize(templateSize);

    CreateControls();
    SetOptionsOnScreen(DefaultOptions());
    deps.controller.SetOptions(OptionsOnScreen());
    ApplyStates();
    pathEdit->setFocus();

    auto* about = new QShortcut(QKeySequence(Qt::ALT | Qt::Key_A), this);
    connect(about, &QShortcut::activated, this, &MonitorDialog::ShowAboutBox);

    connect(&timer1, &QTimer::timeout, this, &MonitorDialog::TickTimer1);
    timer1.start(kTimer1PeriodMs);
    timer2.setSingleShot(true);
    connect(&timer2, &QTimer::timeout, this, &MonitorDialog::TickTimer2);
    timer2.start(kTimer2DelayMs);
    connect(&pollTimer, &QTimer::timeout, this, &MonitorDialog::PollNow);
    pollTimer.start(kPollPeriodMs);
}

MonitorDialog::~MonitorDialog() {
    // An export under way finishes its file rather than leaving half of it behind.
    if (exportThread.joinable()) exportThread.join();
}

void MonitorDialog::CreateControls() {
    QFont dialogFont = font();
    dialogFont.setFamilies({"SimSun", "WenQuanYi Micro Hei", "Noto Sans CJK SC"});
    dialogFont.setPointSizeF(9);
    setFont(dialogFont);
    QFont displayFont;
    displayFont.setFamilies({"Verdana", "DejaVu Sans"});
    displayFont.setPointSizeF(9.2);

    for (const TemplateControl& c : MainWindowTemplate().controls) {
        QWidget* w = nullptr;
        const QString caption = Q(c.caption);
        switch (c.kind) {
            case ControlKind::Edit:
                w = pathEdit = new QLineEdit(this);
                pathEdit->setFont(displayFont);
                break;
            case ControlKind::PushButton:
            case ControlKind::DefaultPushButton: {
                auto* b = new QPushButton(caption, this);
                b->setDefault(c.kind == ControlKind::DefaultPushButton);
                w = b;
                break;
            }
            case ControlKind::CheckBox:
                w = new QCheckBox(caption, this);
                break;
            case ControlKind::Label: {
                auto* label = new QLabel(this);
                label->setTextFormat(Qt::PlainText);
                label->setText(caption);
                w = label;
                break;
            }
            case ControlKind::Picture: {
                auto* picture = new QLabel(this);
                picture->setPixmap(
                    QPixmap(c.image == kBitmapLogo ? ":/res/logo130.png" : ":/res/banner133.png"));
                picture->setScaledContents(true);
                if (c.image == kBitmapLogo) logo = picture;
                w = picture;
                break;
            }
            case ControlKind::ListView:
                w = eventList = new QTableView(this);
                break;
        }
        w->setGeometry(Px(c.units));
        if (c.id != kIdStatic) controls.insert(c.id, w);
    }

    auto* ticker = static_cast<QLabel*>(Control(kIdTicker));
    ticker->setFont(displayFont);
    ticker->setCursor(Qt::PointingHandCursor);
    ticker->setText(Q(deps.notices.MakerAddress()));
    Control(kIdBanner)->setCursor(Qt::PointingHandCursor);
    // Labels report no clicks of their own; the window watches them instead.
    ticker->installEventFilter(this);
    Control(kIdBanner)->installEventFilter(this);
    status = static_cast<QLabel*>(Control(kIdStatus));

    status->setTextFormat(Qt::PlainText);

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
    // A click on a column title neither sorts nor selects: the list keeps the newest row on top.
    header->setSectionsClickable(false);
    header->setHighlightSections(false);
    header->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    const int widths[] = {40, 60, 40, 393};
    for (int i = 0; i < 4; ++i) eventList->setColumnWidth(i, widths[i]);

    connect(static_cast<QPushButton*>(Control(kIdBrowse)), &QPushButton::clicked, this,
            &MonitorDialog::OnBrowse);
    connect(static_cast<QPushButton*>(Control(kIdStart)), &QPushButton::clicked, this,
            &MonitorDialog::OnStartMonitor);
    connect(static_cast<QPushButton*>(Control(kIdStop)), &QPushButton::clicked, this,
            &MonitorDialog::OnStopMonitor);
    connect(static_cast<QPushButton*>(Control(kIdClear)), &QPushButton::clicked, this,
            &MonitorDialog::OnClearEvents);
    connect(static_cast<QPushButton*>(Control(kIdExport)), &QPushButton::clicked, this,
            &MonitorDialog::OnExportRecords);
    connect(static_cast<QPushButton*>(Control(kIdExit)), &QPushButton::clicked, this,
            &QDialog::reject);
    connect(static_cast<QPushButton*>(Control(kIdAbout)), &QPushButton::clicked, this,
            &MonitorDialog::OpenSiteLink);
    connect(eventList, &QTableView::doubleClicked, this, &MonitorDialog::OpenEventFolder);
    for (int id : {kIdOptAdded, kIdOptModified, kIdOptDeleted, kIdOptRenamed, kIdOptOther,
                   kIdOptAutoClear, kIdOptRecordLog}) {
        connect(static_cast<QCheckBox*>(Control(id)), &QCheckBox::clicked, this,
                &MonitorDialog::OnOptionChanged);
    }
}

MonitorOptions MonitorDialog::OptionsOnScreen() const {
    auto on = [this](int id) { return static_cast<QCheckBox*>(Control(id))->isChecked() ? 1 : 0; };
    MonitorOptions o;
    o.optAdded = on(kIdOptAdded);
    o.optModified = on(kIdOptModified);
    o.optDeleted = on(kIdOptDeleted);
    o.optRenamed = on(kIdOptRenamed);
    o.optOther = on(kIdOptOther);
    o.optAutoClear = on(kIdOptAutoClear);
    o.optRecordLog = on(kIdOptRecordLog);
    return o;
}

void MonitorDialog::SetOptionsOnScreen(const MonitorOptions& o) {
    auto set = [this](int id, int v) { static_cast<QCheckBox*>(Control(id))->setChecked(v != 0); };
    set(kIdOptAdded, o.optAdded);
    set(kIdOptModified, o.optModified);
    set(kIdOptDeleted, o.optDeleted);
    set(kIdOptRenamed, o.optRenamed);
    set(kIdOptOther, o.optOther);
    set(kIdOptAutoClear, o.optAutoClear);
    set(kIdOptRecordLog, o.optRecordLog);
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

void MonitorDialog::OnExportRecords() {
    if (exportThread.joinable()) return;
    const std::optional<std::string> path = ChooseExportPath(deps.prompts, deps.files);
    if (!path) return;
    const LocalTime day = deps.clock.Now();
    Control(kIdExport)->setEnabled(false);
    // The rows are copied and written on a worker: a list of a million rows takes a good part of
    // a second, which the window must not spend frozen. The copy holds the list still, so the
    // watcher waits for it rather than losing a change.
    exportThread = std::thread([this, target = *path, day] {
        const std::vector<EventRow> rows = deps.list.Snapshot();
        const int result = WriteExportFile(deps.files, target, rows, day, AppendGbk);
        QMetaObject::invokeMethod(
            this, [this, target, result] { OnExportFinished(target, result); },
            Qt::QueuedConnection);
    });
}

void MonitorDialog::OnExportFinished(const std::string& path, int result) {
    if (exportThread.joinable()) exportThread.join();
    Control(kIdExport)->setEnabled(true);
    ReportExportResult(deps.prompts, path, result);
}

bool MonitorDialog::ExportRunning() const { return exportThread.joinable(); }

void MonitorDialog::TickTimer1() {
    const TickerView view = deps.notices.OnTimer1();
    auto* ticker = static_cast<QLabel*>(Control(kIdTicker));
    QPalette palette = ticker->palette();
    palette.setColor(QPalette::WindowText, QColor(view.color.r, view.color.g, view.color.b));
    ticker->setPalette(palette);
    ticker->setText(Q(view.title));
    // Every tick ends the duplicate window, whatever the ticker did.
    deps.recorder.EndDuplicateWindow();
}

void MonitorDialog::TickTimer2() {
    timer2.stop();
    deps.notices.OnTimer2();
}

void MonitorDialog::OpenEventFolder(const QModelIndex& index) {
    EventRow row;
    // The row is read under the list's lock; the desktop is asked outside it, so a slow file
    // manager never holds the watcher up.
    if (!index.isValid() || !model->RowAtView(index.row(), row)) return;
    deps.opener.OpenFolder(TextTools::FolderOfDetails(row.details));
}

void MonitorDialog::OpenTickerLink() { deps.opener.OpenUrl(deps.notices.TickerClickTarget()); }

void MonitorDialog::OpenSiteLink() {
    const std::string& site = deps.notices.SiteUrl();
    if (IsWebAddress(site)) deps.opener.OpenUrl(site);
}

bool MonitorDialog::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::MouseButtonRelease &&
        static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
        if (watched == Control(kIdTicker)) OpenTickerLink();
        if (watched == Control(kIdBanner)) OpenSiteLink();
    }
    return QDialog::eventFilter(watched, event);
}

void MonitorDialog::PollNow() {
    model->Sync();
    if (deps.controller.Poll()) ApplyStates();
    if (const std::optional<UpdateOffer> offer = deps.notices.Poll()) {
        if (deps.prompts.AskYesNo(offer->question)) deps.opener.OpenUrl(offer->target);
    }
}

void MonitorDialog::ShowAboutBox() {
    AboutDialog box(deps.logFolder, this);
    box.exec();
}

void MonitorDialog::contextMenuEvent(QContextMenuEvent* event) {
    // The title-bar menu belongs to the window manager here, so the About item lives on the
    // window's background and the logo instead.
    QWidget* under = childAt(event->pos());
    if (under != nullptr && under != logo) return;
    QMenu menu(this);
    menu.addAction(QString::fromUtf8(AboutItemText()), this, &MonitorDialog::ShowAboutBox);
    menu.exec(event->globalPos());
}

void MonitorDialog::resizeEvent(QResizeEvent* event) {
    QDialog::resizeEvent(event);
    ArrangeToSize();
}

void MonitorDialog::ArrangeToSize() {
    // The template's own places hold until the size first changes, as the column widths of a
    // fresh window say (393 for "详细", not cx - 245).
    if (!eventList || (size() == arrangedSize && !isMinimized())) return;
    arrangedSize = size();
    std::vector<ControlRect> rects;
    rects.reserve(static_cast<std::size_t>(controls.size()));
    for (auto it = controls.cbegin(); it != controls.cend(); ++it) {
        const QRect g = it.value()->geometry();
        rects.push_back({it.key(), {g.x(), g.y(), g.width(), g.height()}});
    }
    const LayoutResult r =
        ArrangeControls(isMinimized() ? kSizeMinimized : kSizeRestored, width(), height(), rects);
    if (!r.applied) return;
    for (const ControlRect& c : rects) {
        controls.value(c.id)->setGeometry(c.rect.x, c.rect.y, c.rect.width, c.rect.height);
    }
    eventList->setColumnWidth(kDetailsColumn, r.detailsColumnWidth);
}

void MonitorDialog::ApplyStates() {
    const ControlStates s = deps.controller.States();
    Control(kIdStart)->setEnabled(s.startEnabled);
    Control(kIdStop)->setEnabled(s.stopEnabled);
    Control(kIdBrowse)->setEnabled(s.browseEnabled);
    pathEdit->setEnabled(s.pathEnabled);
    status->setText(Q(s.status));
    status->setToolTip(Q(s.statusDetail));
}

}  // namespace qzx
