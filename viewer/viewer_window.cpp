#include "viewer_window.h"

#include <QApplication>
#include <QCheckBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QHeaderView>
#include <QKeyEvent>
#include <QKeySequence>
#include <QLabel>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPainter>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QScreen>
#include <QSplitter>
#include <QStatusBar>
#include <QStyle>
#include <QTableWidget>
#include <QTime>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>
#include <QWheelEvent>
#include <cmath>

using records::Axis;

namespace {
constexpr std::size_t kBytesPerLoadStep = 8 << 20;  // about 20 ms of reading: the window stays responsive
constexpr int kFollowMs = 250;
constexpr const char* kLineAxisTip = "Lay the lines out by their number instead of their time";
}  // namespace

// The drawing area: wheel zooms, dragging pans, Shift+drag or a right-button drag zooms to a box, the mouse
// sets the cursor, keys pan and zoom.
class RecordCanvas : public QWidget {
  public:
    explicit RecordCanvas(ViewerWindow* window) : QWidget(window), window_(window) {
        setMouseTracking(true);
        setFocusPolicy(Qt::StrongFocus);
        setMinimumSize(480, 320);
        setAttribute(Qt::WA_OpaquePaintEvent);
    }

    double XAt(double px) const {
        const PictureView& v = window_->View();
        const QRect plot = LayoutOf(rect(), v).plot;
        return v.x0 + (px - plot.left()) * (v.x1 - v.x0) / plot.width();
    }

  protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        DrawRecordPicture(painter, rect(), window_->Data(), window_->View());
        if (boxing_) {
            painter.setPen(QPen(QColor(0x30, 0x60, 0xC0), 1, Qt::DashLine));
            painter.setBrush(QColor(0x30, 0x60, 0xC0, 40));
            painter.drawRect(QRect(pressAt_, lastAt_).normalized());
        }
    }
    void wheelEvent(QWheelEvent* event) override {
        const double steps = event->angleDelta().y() / 120.0;
        if (steps != 0) window_->ZoomAt(std::pow(1.25, -steps), XAt(event->position().x()));
        event->accept();
    }
    void mousePressEvent(QMouseEvent* event) override {
        pressAt_ = lastAt_ = event->position().toPoint();
        boxing_ = event->button() == Qt::RightButton ||
                  (event->button() == Qt::LeftButton && (event->modifiers() & Qt::ShiftModifier));
        dragging_ = !boxing_ && event->button() == Qt::LeftButton;
    }
    void mouseMoveEvent(QMouseEvent* event) override {
        const QPoint at = event->position().toPoint();
        if (dragging_) {
            const QRect plot = LayoutOf(rect(), window_->View()).plot;
            window_->PanBy(-double(at.x() - lastAt_.x()) / plot.width());
        }
        lastAt_ = at;
        if (boxing_) update();
        SetCursorFrom(at.x());
    }
    void mouseReleaseEvent(QMouseEvent* event) override {
        if (boxing_) {
            boxing_ = false;
            const int left = std::min(pressAt_.x(), event->position().toPoint().x());
            const int right = std::max(pressAt_.x(), event->position().toPoint().x());
            if (right - left >= 3) {
                PictureView v = window_->View();
                const double x0 = XAt(left), x1 = XAt(right);
                v.x0 = x0, v.x1 = x1;
                window_->SetView(v);
            }
            update();
        }
        dragging_ = false;
    }
    void mouseDoubleClickEvent(QMouseEvent*) override { window_->FitAllLines(); }
    void keyPressEvent(QKeyEvent* event) override {
        const double middle = (window_->View().x0 + window_->View().x1) / 2;
        switch (event->key()) {
            case Qt::Key_Left:
                window_->PanBy(-0.1);
                break;
            case Qt::Key_Right:
                window_->PanBy(0.1);
                break;
            case Qt::Key_PageUp:
                window_->PanBy(-0.9);
                break;
            case Qt::Key_PageDown:
                window_->PanBy(0.9);
                break;
            case Qt::Key_Plus:
            case Qt::Key_Equal:
            case Qt::Key_Up:
                window_->ZoomAt(0.5, middle);
                break;
            case Qt::Key_Minus:
            case Qt::Key_Down:
                window_->ZoomAt(2.0, middle);
                break;
            case Qt::Key_Home:
            case Qt::Key_0:
                window_->FitAllLines();
                break;
            default:
                QWidget::keyPressEvent(event);
                return;
        }
    }

  private:
    void SetCursorFrom(int px) {
        const records::RecordData& lines = window_->Data();
        if (lines.Size() == 0) return;
        const auto [first, last] = VisibleLines(lines, window_->View());
        if (first == last) {  // no line here: no cursor, rather than one on a line out of sight
            window_->SetCursorLine(-1);
            return;
        }
        // The nearest line to the mouse among those in view.
        const double x = XAt(px);
        std::size_t lo = first, hi = last;
        while (lo < hi) {
            const std::size_t mid = lo + (hi - lo) / 2;
            if (records::XOf(lines, window_->View().axis, mid) < x)
                lo = mid + 1;
            else
                hi = mid;
        }
        std::size_t line = std::min(lo, last - 1);
        if (line > first && std::abs(records::XOf(lines, window_->View().axis, line - 1) - x) <
                                std::abs(records::XOf(lines, window_->View().axis, line) - x))
            --line;
        window_->SetCursorLine((long long)line);
    }

    ViewerWindow* window_;
    QPoint pressAt_, lastAt_;
    bool dragging_ = false, boxing_ = false;
};

ViewerWindow::ViewerWindow(const QString& path, const QString& sensorId, bool follow)
    : path_(QFileInfo(path).absoluteFilePath()), sensorId_(sensorId) {
    canvas_ = new RecordCanvas(this);
    canvas_->setObjectName(QStringLiteral("canvas"));
    stats_ = new QTableWidget(records::kSignals, 7, this);
    stats_->setHorizontalHeaderLabels(
        {"Signal", "At cursor", "Count", "Min", "Max", "Mean", "Std. deviation"});
    stats_->verticalHeader()->hide();
    stats_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    stats_->setSelectionMode(QAbstractItemView::NoSelection);
    stats_->setFocusPolicy(Qt::NoFocus);
    stats_->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    for (int s = 0; s < records::kSignals; ++s) {
        auto* name = new QTableWidgetItem(
            QString::fromLatin1(records::kSignalNames[std::size_t(s)].data(),
                                qsizetype(records::kSignalNames[std::size_t(s)].size())));
        name->setForeground(SignalColour(s));
        stats_->setItem(s, 0, name);
        for (int c = 1; c < 7; ++c) {
            auto* item = new QTableWidgetItem;
            item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
            stats_->setItem(s, c, item);
        }
    }
    stats_->verticalHeader()->setDefaultSectionSize(stats_->fontMetrics().height() + 6);
    stats_->setMinimumHeight(stats_->horizontalHeader()->sizeHint().height() +
                             records::kSignals * stats_->verticalHeader()->defaultSectionSize() + 4);
    auto* splitter = new QSplitter(Qt::Vertical, this);
    splitter->addWidget(canvas_);
    splitter->addWidget(stats_);
    splitter->setStretchFactor(0, 1);
    splitter->setStretchFactor(1, 0);
    splitter->setCollapsible(0, false);
    setCentralWidget(splitter);

    QToolBar* tools = addToolBar(QStringLiteral("View"));
    tools->setMovable(false);
    QAction* open = tools->addAction(QStringLiteral("Open..."), this, [this] {
        const QString file = QFileDialog::getOpenFileName(
            this, QStringLiteral("Open record file"), QFileInfo(path_).absolutePath(),
            QStringLiteral("Record files (*.dat);;All files (*)"));
        if (file.isEmpty()) return;
        auto* window = new ViewerWindow(file, QString(), false);
        window->setAttribute(Qt::WA_DeleteOnClose);
        window->show();
    });
    open->setShortcuts(QKeySequence::Open);
    open->setToolTip(QStringLiteral("Open another record file in a window of its own (Ctrl+O)"));
    // The desktop's keys for closing this window and for closing every window of the program.
    auto* close = new QAction(QStringLiteral("Close"), this);
    close->setShortcuts(QKeySequence::Close);
    connect(close, &QAction::triggered, this, &QWidget::close);
    addAction(close);
    auto* quit = new QAction(QStringLiteral("Quit"), this);
    quit->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));  // not every desktop binds one
    connect(quit, &QAction::triggered, qApp, &QApplication::closeAllWindows);
    addAction(quit);
    tools->addAction(QStringLiteral("Fit all"), this, &ViewerWindow::FitAllLines)->setShortcut(Qt::Key_Home);
    followAction_ = tools->addAction(QStringLiteral("Follow"));
    followAction_->setCheckable(true);
    followAction_->setToolTip(QStringLiteral("Show new lines as they are recorded"));
    connect(followAction_, &QAction::toggled, this, &ViewerWindow::SetFollow);
    lineAxisAction_ = tools->addAction(QStringLiteral("Line numbers"));
    lineAxisAction_->setCheckable(true);
    lineAxisAction_->setToolTip(QString::fromLatin1(kLineAxisTip));
    connect(lineAxisAction_, &QAction::toggled, this, [this](bool on) {
        view_.axis = on ? Axis::Line : Axis::Time;
        FitAllLines();
    });
    tools->addSeparator();
    tools->addAction(QStringLiteral("PNG..."), this, [this] { ExportPicture(false); })
        ->setToolTip(QStringLiteral("Save the view as a PNG picture"));
    tools->addAction(QStringLiteral("SVG..."), this, [this] { ExportPicture(true); })
        ->setToolTip(QStringLiteral("Save the view as an SVG drawing"));
    tools->addAction(QStringLiteral("CSV..."), this, &ViewerWindow::ExportCsv)
        ->setToolTip(QStringLiteral("Save the lines in view as CSV"));
    tools->addSeparator();
    for (int s = 0; s < records::kSignals; ++s) {
        auto* box = new QCheckBox(stats_->item(s, 0)->text(), tools);
        box->setChecked(true);
        QPalette palette = box->palette();
        palette.setColor(QPalette::WindowText, SignalColour(s));
        box->setPalette(palette);
        connect(box, &QCheckBox::toggled, this, [this, s](bool on) {
            view_.shown[std::size_t(s)] = on;
            canvas_->update();
        });
        tools->addWidget(box);
        signalBoxes_[std::size_t(s)] = box;
    }

    progress_ = new QProgressBar(this);
    progress_->setRange(0, 1000);
    progress_->setMaximumWidth(220);
    status_ = new QLabel(this);
    problemsButton_ = new QToolButton(this);
    problemsButton_->setText(QStringLiteral("Problems..."));
    problemsButton_->hide();
    connect(problemsButton_, &QToolButton::clicked, this, &ViewerWindow::ShowProblems);
    statusBar()->addWidget(status_, 1);
    statusBar()->addPermanentWidget(problemsButton_);
    statusBar()->addPermanentWidget(progress_);

    loadTimer_.setInterval(0);
    connect(&loadTimer_, &QTimer::timeout, this, &ViewerWindow::LoadStep);
    followTimer_.setInterval(kFollowMs);
    connect(&followTimer_, &QTimer::timeout, this, &ViewerWindow::FollowStep);
    statsTimer_.setSingleShot(true);
    statsTimer_.setInterval(40);
    connect(&statsTimer_, &QTimer::timeout, this, &ViewerWindow::UpdateStats);

    // 1280 x 860 where the screen has room; on a smaller one (a 1366 x 768 laptop) within its free area,
    // with room left for the title bar and the panel.
    QSize size(1280, 860);
    if (const QScreen* where = screen()) size = size.boundedTo(where->availableGeometry().size() * 0.9);
    resize(size);
    OpenFile();
    followAction_->setChecked(follow);
}

const records::RecordData& ViewerWindow::Data() const {
    return reader_->Data();
}

void ViewerWindow::OpenFile() {
    reader_ = std::make_unique<records::RecordReader>(path_.toStdString(), records::LinesThatFitInMemory());
    std::string error;
    UpdateTitle();
    if (!reader_->Open(error)) {
        openError_ = QString::fromStdString(error);
        progress_->hide();
        UpdateStatus();
        return;
    }
    loading_ = true;
    loadTimer_.start();
}

void ViewerWindow::LoadStep() {
    const std::size_t before = Data().Size();
    const double endBefore = before ? records::XOf(Data(), view_.axis, before - 1) : 0;
    const std::size_t readAgain = reader_->ReadAgainCount();
    const bool more = reader_->Step(kBytesPerLoadStep);
    if (reader_->ReadAgainCount() != readAgain) AfterReadAgain();
    const std::uint64_t size = std::max<std::uint64_t>(reader_->FileSize(), 1);
    progress_->setValue(int(reader_->BytesRead() * 1000 / size));
    if (!more) {
        loadTimer_.stop();
        loading_ = false;
        progress_->hide();
        if (!followAction_->isChecked()) reader_->Finish();
    }
    AfterNewLines(before, endBefore);
    if (!more && !reader_->Fatal().empty()) ShowProblems();
}

void ViewerWindow::FollowStep() {
    if (!openError_.isEmpty()) {  // a file followed before it exists is read once it does
        if (QFileInfo::exists(path_)) {
            openError_.clear();
            OpenFile();
        }
        return;
    }
    if (loading_) return;
    const std::size_t before = Data().Size();
    const double endBefore = before ? records::XOf(Data(), view_.axis, before - 1) : 0;
    const std::size_t readAgain = reader_->ReadAgainCount();
    while (reader_->Step(kBytesPerLoadStep)) {
    }
    if (reader_->ReadAgainCount() != readAgain) AfterReadAgain();
    if (!reader_->Fatal().empty()) {
        followTimer_.stop();
        followAction_->setChecked(false);
    }
    if (Data().Size() != before || !reader_->Fatal().empty()) AfterNewLines(before, endBefore);
}

void ViewerWindow::AfterReadAgain() {
    // Other lines altogether: all of them shown, the cursor gone, the note kept in the status bar.
    note_ =
        QTime::currentTime().toString(QStringLiteral("HH:mm:ss  ")) + QString::fromStdString(reader_->Note());
    view_.cursor = -1;
    for (int s = 0; s < records::kSignals; ++s) stats_->item(s, 1)->setText(QString());
    FitAllLines();
    UpdateStatus();
}

void ViewerWindow::AfterNewLines(std::size_t before, double endBefore) {
    if (Data().Size() != before) {
        if (fitted_ || before == 0) {
            FitAllLines();
        } else if (view_.x1 > endBefore) {
            // The end was in view: keep it in view, the width unchanged.
            const double end = records::XOf(Data(), view_.axis, Data().Size() - 1);
            const double shift = std::max(0.0, end - endBefore);
            view_.x0 += shift, view_.x1 += shift;
            canvas_->update();
            statsTimer_.start();
        }
    }
    UpdateStatus();
}

void ViewerWindow::SetView(const PictureView& view) {
    view_ = view;
    // The deepest zoom: 10 ms, where the time axis still has several marks (its finest step is 1 ms), or
    // two lines.
    const double narrowest = view_.axis == Axis::Time ? 0.01 : 2.0;
    if (!(view_.x1 - view_.x0 >= narrowest)) {
        const double middle = std::isfinite(view_.x0 + view_.x1) ? (view_.x0 + view_.x1) / 2 : 0.0;
        view_.x0 = middle - narrowest / 2, view_.x1 = middle + narrowest / 2;
    }
    fitted_ = false;
    canvas_->update();
    statsTimer_.start();
}

void ViewerWindow::ZoomAt(double factor, double x) {
    PictureView v = view_;
    v.x0 = x - (x - v.x0) * factor;
    v.x1 = x + (v.x1 - x) * factor;
    SetView(v);
}

void ViewerWindow::PanBy(double fraction) {
    PictureView v = view_;
    const double shift = (v.x1 - v.x0) * fraction;
    v.x0 += shift, v.x1 += shift;
    SetView(v);
}

void ViewerWindow::FitAllLines() {
    view_ = FitAll(Data(), view_);
    fitted_ = true;
    canvas_->update();
    statsTimer_.start();
}

void ViewerWindow::SetCursorLine(long long line) {
    if (view_.cursor == line) return;
    view_.cursor = line;
    canvas_->update();
    const records::RecordData& lines = Data();
    for (int s = 0; s < records::kSignals; ++s)
        stats_->item(s, 1)->setText(line >= 0 && std::size_t(line) < lines.Size()
                                        ? QString::number(lines.At(std::size_t(line))[std::size_t(s)])
                                        : QString());
    UpdateStatus();
}

void ViewerWindow::SetFollow(bool on) {
    if (followAction_->isChecked() != on) followAction_->setChecked(on);
    if (on && reader_->Fatal().empty()) {
        followTimer_.start();
    } else {
        followTimer_.stop();
        if (!loading_) reader_->Finish();
    }
    UpdateStatus();
}

void ViewerWindow::UpdateStats() {
    const auto [first, last] = VisibleLines(Data(), view_);
    const auto stats = Data().StatsOf(first, last);
    for (int s = 0; s < records::kSignals; ++s) {
        const records::SignalStats& st = stats[std::size_t(s)];
        const bool any = st.count > 0;
        stats_->item(s, 2)->setText(QString::number(qulonglong(st.count)));
        stats_->item(s, 3)->setText(any ? QString::number(st.min) : QString());
        stats_->item(s, 4)->setText(any ? QString::number(st.max) : QString());
        stats_->item(s, 5)->setText(any ? QString::number(st.mean, 'f', 2) : QString());
        stats_->item(s, 6)->setText(any ? QString::number(st.stddev, 'f', 2) : QString());
    }
}

QString ViewerWindow::Problems() const {
    if (!openError_.isEmpty()) return openError_;
    QString text = QString::fromStdString(reader_->Parser().Summary());
    if (!reader_->Fatal().empty() && reader_->Parser().Fatal().empty())
        text.prepend(QString::fromStdString(reader_->Fatal()) + ".\n");
    return text.trimmed();
}

// One problem a line, unwrapped, in a box as wide as the longest (within the screen), so that a list of
// refused lines reads as the file's lines do and can be copied.
void ViewerWindow::ShowProblems() {
    const QString problems = Problems();
    if (problems.isEmpty()) return;
    // Of this window only: the program's other windows stay in use while it is open.
    auto* dialog = new QDialog(this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setWindowModality(Qt::WindowModal);
    dialog->setWindowTitle(QStringLiteral("Record file"));
    auto* layout = new QVBoxLayout(dialog);
    auto* heading = new QHBoxLayout;
    auto* icon = new QLabel(dialog);
    const int iconSize = style()->pixelMetric(QStyle::PM_MessageBoxIconSize);
    icon->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxWarning).pixmap(iconSize, iconSize));
    heading->addWidget(icon);
    auto* file =
        new QLabel(QStringLiteral("<b>%1</b>").arg(QFileInfo(path_).fileName().toHtmlEscaped()), dialog);
    heading->addWidget(file, 1);
    layout->addLayout(heading);
    auto* text = new QPlainTextEdit(problems, dialog);
    text->setObjectName(QStringLiteral("problems"));
    text->setReadOnly(true);
    text->setLineWrapMode(QPlainTextEdit::NoWrap);
    const QFontMetrics metrics(text->font());
    int widest = 0;
    for (const QString& line : problems.split('\n'))
        widest = std::max(widest, metrics.horizontalAdvance(line));
    const QSize room = screen()->availableGeometry().size() * 9 / 10;
    const int lines = int(problems.count('\n')) + 1;
    text->setMinimumSize(std::min(widest + 40, room.width() - 40),
                         std::min(metrics.lineSpacing() * std::min(lines, 20) + 20, room.height() - 120));
    layout->addWidget(text, 1);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, dialog);
    connect(buttons, &QDialogButtonBox::rejected, dialog, &QDialog::reject);
    layout->addWidget(buttons);
    dialog->open();
}

QString ViewerWindow::StatusText() const {
    return status_->text();
}

void ViewerWindow::UpdateStatus() {
    if (!openError_.isEmpty()) {
        status_->setText(openError_ + (followAction_->isChecked()
                                           ? QStringLiteral("   |   following: it is read once it can be")
                                           : QString()));
        return;
    }
    const records::RecordData& lines = Data();
    QString text = QStringLiteral("%1 lines").arg(qulonglong(lines.Size()));
    if (loading_) text += QStringLiteral(" read so far");
    if (view_.cursor >= 0 && std::size_t(view_.cursor) < lines.Size()) {
        const std::size_t line = std::size_t(view_.cursor);
        text += QStringLiteral("   |   cursor: %1, line %2 of the file")
                    .arg(QString::fromStdString(records::FormatTime(lines.Time(line), true)))
                    .arg(qulonglong(lines.FileLine(line)));
    }
    if (followAction_->isChecked()) text += QStringLiteral("   |   following");
    const bool clockWentBack = !lines.TimesAscend();
    if (clockWentBack)
        text +=
            QStringLiteral("   |   the clock went back within the file: its lines are laid out by number");
    const QString problems = Problems();
    const bool fatal = !reader_->Fatal().empty();
    if (!problems.isEmpty() && !(lines.Size() == 0 && problems.startsWith(QStringLiteral("The file")))) {
        text += QStringLiteral("   |   ") + problems.section('\n', 0, 0);
        problemsButton_->setVisible(true);
    } else if (!problems.isEmpty()) {
        text = problems;
    }
    if (!note_.isEmpty()) text += QStringLiteral("   |   ") + note_;
    status_->setStyleSheet(fatal ? QStringLiteral("color: #B00000") : QString());
    status_->setText(text);
    // Times that go back name no single place on a time axis: such a file is shown by line number only.
    if (clockWentBack && !lineAxisAction_->isChecked()) lineAxisAction_->setChecked(true);
    lineAxisAction_->setEnabled(!clockWentBack);
    lineAxisAction_->setToolTip(clockWentBack
                                    ? QStringLiteral("The clock went back within the file: its lines "
                                                     "can be laid out by their number only")
                                    : QString::fromLatin1(kLineAxisTip));
}

void ViewerWindow::UpdateTitle() {
    QString title = QFileInfo(path_).fileName();
    if (!sensorId_.isEmpty()) title += QStringLiteral(" (sensor %1)").arg(sensorId_);
    setWindowTitle(title + QStringLiteral(" - Record viewer"));
    view_.title.clear();
}

// An export never goes over the record it shows (also through a link): said so, and true.
bool ViewerWindow::IsTheRecordItself(const QString& file, const QString& what) {
    if (!SameFile(file, path_)) return false;
    QMessageBox::warning(
        this, QStringLiteral("Export"),
        QStringLiteral("The %1 %2 is the record file itself; give the %1 another name.").arg(what, file));
    return true;
}

void ViewerWindow::ExportPicture(bool svg) {
    const QString suffix = svg ? QStringLiteral("svg") : QStringLiteral("png");
    const QString file = QFileDialog::getSaveFileName(
        this, svg ? QStringLiteral("Save the view as SVG") : QStringLiteral("Save the view as PNG"),
        QFileInfo(path_).absolutePath() + "/" + QFileInfo(path_).completeBaseName() + "." + suffix,
        svg ? QStringLiteral("SVG drawings (*.svg)") : QStringLiteral("PNG pictures (*.png)"));
    if (file.isEmpty()) return;
    if (IsTheRecordItself(file, QStringLiteral("picture"))) return;
    PictureView v = view_;
    v.cursor = -1;
    v.title = PictureTitle(windowTitle().section(QStringLiteral(" - Record viewer"), 0, 0), Data(), v);
    QString error;
    const QSize size = canvas_->size().expandedTo(QSize(800, 450));
    if (!(svg ? WriteSvg(file, size, Data(), v, error) : WritePng(file, size, Data(), v, error)))
        QMessageBox::warning(this, QStringLiteral("Export"), error);
}

void ViewerWindow::ExportCsv() {
    const QString file = QFileDialog::getSaveFileName(
        this, QStringLiteral("Save the lines in view as CSV"),
        QFileInfo(path_).absolutePath() + "/" + QFileInfo(path_).completeBaseName() + ".csv",
        QStringLiteral("CSV files (*.csv)"));
    if (file.isEmpty()) return;
    if (IsTheRecordItself(file, QStringLiteral("CSV file"))) return;
    const auto [first, last] = VisibleLines(Data(), view_);
    QString error;
    if (!WriteCsv(file, Data(), first, last, error))
        QMessageBox::warning(this, QStringLiteral("Export"), error);
}
