#include "app/qt/MonitorDialog.h"

#include <QAbstractButton>
#include <QAction>
#include <QCheckBox>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QFont>
#include <QGuiApplication>
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
#include <QScrollBar>
#include <QShortcut>
#include <QTableView>
#include <QTextDocument>

#include "app/ControlIds.h"
#include "app/DialogTemplate.h"
#include "app/Texts.h"
#include "app/qt/AboutDialog.h"
#include "app/qt/ElevatedWatching.h"
#include "app/qt/EventListModel.h"
#include "app/qt/IgnoreListDialog.h"
#include "app/qt/QtText.h"
#include "watch/EventRow.h"

namespace qzx {
MonitorDialog::MonitorDialog(MainWindowDeps deps, QWidget* parent) : QDialog(parent) {
    MainWindowView& view = *this;
    presenter = std::make_unique<MainWindow>(std::move(deps), view);
    const DialogTemplate& t = MainWindowTemplate();
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
    setMinimumSize(templateSize);

    CreateControls();

    auto* about = new QShortcut(QKeySequence(Qt::ALT | Qt::Key_A), this);
    connect(about, &QShortcut::activated, this, [this] { presenter->OnAbout(); });
    connect(&tickerTimer, &QTimer::timeout, this,
            [this] { presenter->OnTimer(WindowTimer::Ticker); });
    connect(&updateTimer, &QTimer::timeout, this,
            [this] { presenter->OnTimer(WindowTimer::Update); });
    connect(&pollTimer, &QTimer::timeout, this, [this] { presenter->OnTimer(WindowTimer::Poll); });

    presenter->OnInit(templateSize.width(), templateSize.height());
}

MonitorDialog::~MonitorDialog() {
    // The presenter finishes an export under way while the widgets it reports to still exist.
    presenter.reset();
}

void MonitorDialog::CreateControls() {
    setFont(QtFont(MainWindow::DialogFont()));
    for (const TemplateControl& c : MainWindowTemplate().controls) {
        QWidget* w = CreateControl(c);
        w->setGeometry(TemplatePixels(c.units));
        if (c.id != kIdStatic) controls.insert(c.id, w);
    }
    SetUpEventList();
    ConnectControls();
}

QWidget* MonitorDialog::CreateControl(const TemplateControl& c) {
    const QString caption = Q(c.caption);
    switch (c.kind) {
        case ControlKind::Edit:
            return new QLineEdit(this);
        case ControlKind::PushButton:
        case ControlKind::DefaultPushButton: {
            auto* b = new QPushButton(caption, this);
            b->setDefault(c.kind == ControlKind::DefaultPushButton);
            return b;
        }
        case ControlKind::CheckBox:
            return new QCheckBox(caption, this);
        case ControlKind::Label: {
            auto* label = new QLabel(this);
            // Labels show paths and fetched text: never as markup, never as links.
            label->setTextFormat(Qt::PlainText);
            label->setTextInteractionFlags(Qt::NoTextInteraction);
            label->setText(caption);
            return label;
        }
        case ControlKind::Picture: {
            auto* picture = new QLabel(this);
            // A pixmap loaded by name is taken at 1x whatever the screen: above it, the drawing
            // made at twice the size keeps the picture sharp, and the label fits it to its
            // rectangle (the area a click reaches).
            const bool sharp = devicePixelRatioF() > 1.0;
            QPixmap pixmap(
                QString(":/res/%1%2.png")
                    .arg(c.image == kBitmapLogo ? "logo130" : "banner133", sharp ? "@2x" : ""));
            pixmap.setDevicePixelRatio(sharp ? 2.0 : 1.0);
            picture->setPixmap(pixmap);
            picture->setScaledContents(true);
            if (c.image == kBitmapLogo) logo = picture;
            return picture;
        }
        case ControlKind::ListView:
            break;
    }
    return eventList = new QTableView(this);
}

void MonitorDialog::SetUpEventList() {
    model = new EventListModel(*presenter, this);
    eventList->setModel(model);
    eventList->setShowGrid(true);
    eventList->setSelectionBehavior(QAbstractItemView::SelectRows);
    eventList->setSelectionMode(QAbstractItemView::SingleSelection);
    eventList->setEditTriggers(QAbstractItemView::NoEditTriggers);
    // Tab leaves the list for the next control, as in any dialog, rather than walking its cells.
    eventList->setTabKeyNavigation(false);
    // Scrolling counts rows, so that keeping the rows in sight is a matter of rows inserted.
    eventList->setVerticalScrollMode(QAbstractItemView::ScrollPerItem);
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
}

void MonitorDialog::ConnectControls() {
    // Labels report no clicks of their own; the window watches them instead.
    Control(kIdTicker)->installEventFilter(this);
    Control(kIdBanner)->installEventFilter(this);
    for (auto it = controls.cbegin(); it != controls.cend(); ++it) {
        auto* button = qobject_cast<QAbstractButton*>(it.value());
        if (button == nullptr) continue;
        const int id = it.key();
        if (id == kIdExit) {
            connect(button, &QAbstractButton::clicked, this, &QDialog::reject);
            continue;
        }
        connect(button, &QAbstractButton::clicked, this, [this, id] { presenter->OnCommand(id); });
    }
    connect(eventList, &QTableView::doubleClicked, this, [this](const QModelIndex& index) {
        presenter->OnRowActivated(index.isValid() ? index.row() : -1);
    });
    // The mouse's menu comes through the viewport at the pointer; the menu key's is taken
    // before it (eventFilter), since it belongs to the selected row wherever the pointer is.
    eventList->setContextMenuPolicy(Qt::CustomContextMenu);
    eventList->installEventFilter(this);
    connect(eventList, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
        const QModelIndex index = eventList->indexAt(at);
        const QPoint global = eventList->viewport()->mapToGlobal(at);
        presenter->OnRowMenu(index.isValid() ? index.row() : -1, {global.x(), global.y()});
    });
}

void MonitorDialog::OnListMenuKey() {
    const QModelIndexList rows = eventList->selectionModel()->selectedRows();
    const int row = rows.isEmpty() ? -1 : rows.front().row();
    const QRect cell = row < 0 ? QRect() : eventList->visualRect(model->index(row, 0));
    const QPoint global =
        eventList->viewport()->mapToGlobal(cell.isValid() ? cell.bottomLeft() : QPoint(0, 0));
    presenter->OnRowMenu(row, {global.x(), global.y()});
}

void MonitorDialog::TickTicker() { presenter->OnTimer(WindowTimer::Ticker); }

void MonitorDialog::TickUpdateCheck() { presenter->OnTimer(WindowTimer::Update); }

void MonitorDialog::PollNow() { presenter->Poll(); }

bool MonitorDialog::ExportRunning() const { return presenter->ExportRunning(); }

void MonitorDialog::ShowAboutBox() { presenter->OnAbout(); }

bool MonitorDialog::eventFilter(QObject* watched, QEvent* event) {
    if (watched == eventList && event->type() == QEvent::ContextMenu &&
        static_cast<QContextMenuEvent*>(event)->reason() == QContextMenuEvent::Keyboard) {
        OnListMenuKey();
        return true;
    }
    const int link = watched == Control(kIdTicker)   ? kIdTicker
                     : watched == Control(kIdBanner) ? kIdBanner
                                                     : kIdStatic;
    if (link != kIdStatic) OnLinkMouse(link, *static_cast<QWidget*>(watched), *event);
    return QDialog::eventFilter(watched, event);
}

void MonitorDialog::OnLinkMouse(int id, const QWidget& control, const QEvent& event) {
    // A link opens on a click that starts and ends on it: a press dragged off it is a change of
    // mind, and a double-click's second press is not a second click.
    const auto type = event.type();
    if (type != QEvent::MouseButtonPress && type != QEvent::MouseButtonDblClick &&
        type != QEvent::MouseButtonRelease) {
        return;
    }
    const auto& mouse = static_cast<const QMouseEvent&>(event);
    if (mouse.button() != Qt::LeftButton) return;
    if (type == QEvent::MouseButtonPress) {
        pressedLink = id;
        return;
    }
    const bool clicked = type == QEvent::MouseButtonRelease && pressedLink == id &&
                         control.rect().contains(mouse.position().toPoint());
    pressedLink = kIdStatic;
    if (clicked) presenter->OnCommand(id);
}

void MonitorDialog::contextMenuEvent(QContextMenuEvent* event) {
    // The title-bar menu belongs to the window manager here, so the About item lives on the
    // window's background and the logo instead.
    QWidget* under = childAt(event->pos());
    if (under != nullptr && under != logo) return;
    QMenu menu(this);
    menu.addAction(QString::fromUtf8(AboutItemText()), this, [this] { presenter->OnAbout(); });
    // Taken at the next Start: a run keeps the engine it started with.
    QAction* elevated = menu.addAction(QString::fromUtf8(kElevatedItemText));
    elevated->setCheckable(true);
    elevated->setChecked(ElevatedWatchingOn());
    connect(elevated, &QAction::toggled, this, [](bool on) { SetElevatedWatching(on); });
    QAction* catchUp = menu.addAction(QString::fromUtf8(texts::kCatchUpItem), this,
                                      [this] { presenter->OnSystemCommand(kCommandCatchUp); });
    catchUp->setCheckable(true);
    catchUp->setChecked(presenter->CatchUpChecked());
    menu.exec(event->globalPos());
}

void MonitorDialog::ReportSize() {
    const int kind =
        isMinimized() ? kSizeMinimized : (isMaximized() ? kSizeMaximized : kSizeRestored);
    presenter->OnSize(kind, width(), height());
}

void MonitorDialog::resizeEvent(QResizeEvent* event) {
    QDialog::resizeEvent(event);
    ReportSize();
}

void MonitorDialog::changeEvent(QEvent* event) {
    QDialog::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange) ReportSize();
}

void MonitorDialog::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    presenter->OnVisibilityChanged(true);
}

void MonitorDialog::hideEvent(QHideEvent* event) {
    QDialog::hideEvent(event);
    presenter->OnVisibilityChanged(false);
}

QTimer& MonitorDialog::TimerOf(WindowTimer timer) {
    switch (timer) {
        case WindowTimer::Ticker:
            return tickerTimer;
        case WindowTimer::Update:
            return updateTimer;
        case WindowTimer::Poll:
            break;
    }
    return pollTimer;
}

void MonitorDialog::SetTitle(const std::string& title) { setWindowTitle(Q(title)); }

void MonitorDialog::SetEnabled(int id, bool enabled) {
    if (QWidget* w = Control(id)) w->setEnabled(enabled);
}

void MonitorDialog::SetText(int id, const std::string& text) {
    QWidget* w = Control(id);
    if (auto* edit = qobject_cast<QLineEdit*>(w)) {
        edit->setText(Q(text));
    } else if (auto* label = qobject_cast<QLabel*>(w)) {
        label->setTextFormat(Qt::PlainText);
        label->setText(Q(text));
    } else if (auto* button = qobject_cast<QAbstractButton*>(w)) {
        button->setText(Q(text));
    }
}

std::string MonitorDialog::Text(int id) const {
    QWidget* w = Control(id);
    if (auto* edit = qobject_cast<QLineEdit*>(w)) return S(edit->text());
    if (auto* label = qobject_cast<QLabel*>(w)) return S(label->text());
    if (auto* button = qobject_cast<QAbstractButton*>(w)) return S(button->text());
    return {};
}

bool MonitorDialog::IsChecked(int id) const {
    auto* box = qobject_cast<QCheckBox*>(Control(id));
    return box != nullptr && box->isChecked();
}

void MonitorDialog::SetChecked(int id, bool checked) {
    if (auto* box = qobject_cast<QCheckBox*>(Control(id))) box->setChecked(checked);
}

void MonitorDialog::SetToolTip(int id, const std::string& text) {
    QWidget* w = Control(id);
    if (w == nullptr) return;
    // Qt guesses whether a tooltip is markup; a folder name such as "<b>x" must stay text, so
    // the tooltip is given as markup that spells the text out.
    w->setToolTip(text.empty() ? QString() : Qt::convertFromPlainText(Q(text), Qt::WhiteSpacePre));
}

void MonitorDialog::SetTextColor(int id, Rgb color) {
    QWidget* w = Control(id);
    if (w == nullptr) return;
    QPalette palette = w->palette();
    palette.setColor(QPalette::WindowText, QColor(color.r, color.g, color.b));
    w->setPalette(palette);
}

void MonitorDialog::SetFont(int id, const FontSpec& font) {
    if (QWidget* w = Control(id)) w->setFont(QtFont(font));
}

void MonitorDialog::SetCursor(int id, CursorShape shape) {
    QWidget* w = Control(id);
    if (w == nullptr) return;
    if (shape == CursorShape::Hand) {
        w->setCursor(Qt::PointingHandCursor);
    } else {
        w->unsetCursor();
    }
}

void MonitorDialog::SetFocus(int id) {
    if (QWidget* w = Control(id)) w->setFocus();
}

void MonitorDialog::SetListColumns(const std::vector<std::string>& titles,
                                   const std::vector<int>& widths) {
    model->SetTitles(titles);
    for (std::size_t i = 0; i < widths.size(); ++i) {
        eventList->setColumnWidth(static_cast<int>(i), widths[i]);
    }
}

void MonitorDialog::SetListColumnWidth(int column, int width) {
    eventList->setColumnWidth(column, width);
}

void MonitorDialog::ShowProcessColumn(bool shown, const std::string& title, int width) {
    model->ShowProcessColumn(shown, title);
    if (shown) eventList->setColumnWidth(kProcessColumn, width);
}

void MonitorDialog::SyncList(const ListSync& sync) {
    QScrollBar* bar = eventList->verticalScrollBar();
    const int scrolled = bar->value();
    model->Apply(sync);
    if (sync.reset || scrolled == 0) return;
    // Scrolled down to read, the reader keeps the rows in sight while new ones arrive above:
    // the view scrolls by the rows inserted (the range grows by as much once the view lays
    // itself out again, which it has not yet).
    bar->setMaximum(bar->maximum() + sync.inserted);
    bar->setValue(scrolled + sync.inserted);
}

bool MonitorDialog::ControlRect(int id, Rect& rect) const {
    QWidget* w = Control(id);
    if (w == nullptr) return false;
    const QRect g = w->geometry();
    rect = {g.x(), g.y(), g.width(), g.height()};
    return true;
}

void MonitorDialog::MoveControl(int id, const Rect& rect) {
    if (QWidget* w = Control(id)) w->setGeometry(rect.x, rect.y, rect.width, rect.height);
}

void MonitorDialog::StartTimer(WindowTimer timer, int periodMs) { TimerOf(timer).start(periodMs); }

void MonitorDialog::StopTimer(WindowTimer timer) { TimerOf(timer).stop(); }

void MonitorDialog::Wake() {
    // Queued to the dialog's thread; Qt drops the call if the dialog is gone by then.
    QMetaObject::invokeMethod(
        this,
        [this] {
            if (presenter) presenter->OnWake();
        },
        Qt::QueuedConnection);
}

void MonitorDialog::ShowAboutBox(const std::string& logFolder) {
    AboutDialog box(logFolder, this);
    box.exec();
}

void MonitorDialog::Close() { reject(); }

int MonitorDialog::ShowMenu(const std::vector<RowMenuItem>& items, ScreenPoint at) {
    QMenu menu(this);
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (items[i].command == RowMenuCommand::kSeparator) {
            menu.addSeparator();
            continue;
        }
        // A "&" in a file's extension is a character of the caption, not an access key.
        QString caption = Q(items[i].text);
        caption.replace('&', "&&");
        menu.addAction(caption)->setData(static_cast<int>(i));
    }
    const QAction* chosen = menu.exec(QPoint(at.x, at.y));
    return chosen != nullptr ? chosen->data().toInt() : -1;
}

void MonitorDialog::CopyToClipboard(const std::string& text) {
    QGuiApplication::clipboard()->setText(Q(text));
}

std::optional<std::string> MonitorDialog::EditText(const std::string& title,
                                                   const std::string& text, bool& check) {
    IgnoreListDialog dialog(title, text, check, this);
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    check = dialog.Checked();
    return dialog.Text();
}

}  // namespace qzx
