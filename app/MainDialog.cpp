// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/MainDialog.h"

#include <sys/stat.h>

#include <QApplication>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QDateTime>
#include <QEventLoop>
#include <QFileInfo>
#include <QMenu>
#include <QMimeData>
#include <QPainter>
#include <QProgressDialog>
#include <QShortcut>
#include <QThread>
#include <QTimer>
#include <QUrl>
#include <memory>

#include "app/AppSettings.h"
#include "app/DesktopNotifier.h"
#include "app/FileAdder.h"
#include "app/FileDialogs.h"
#include "app/ItemListView.h"
#include "app/LoudnessReportDialog.h"
#include "app/MessageBoxes.h"
#include "app/Playlist.h"
#include "app/SettingsStore.h"
#include "app/StatusLine.h"
#include "controls/AboutDialog.h"
#include "controls/Artwork.h"
#include "controls/HelpFolder.h"
#include "controls/ImageButton.h"
#include "controls/LinkOpener.h"
#include "controls/SiteAddresses.h"
#include "media/PathCodec.h"
#include "options/OptionsDialog.h"

namespace corvane {

namespace {

const char* const kSelectItems = QT_TRANSLATE_NOOP("corvane::MainDialog", "Please select items!");
const char* const kListFull = QT_TRANSLATE_NOOP(
    "corvane::MainDialog",
    "The list is full: it holds at most %1 files. Please delete some files in the list.");

struct ButtonSetup {
    int id;
    int icon;  // 0: none
    const char* tip;
};

// In the order the buttons are bound; the Join button comes last.
constexpr ButtonSetup kButtonSetups[] = {
    {MainDialog::kExitButton, artwork::kExitIcon, QT_TRANSLATE_NOOP("corvane::MainDialog", "Exit")},
    {MainDialog::kHomepageButton, 0, QT_TRANSLATE_NOOP("corvane::MainDialog", "Homepage")},
    {MainDialog::kDeleteAllButton, artwork::kDeleteAllIcon, QT_TRANSLATE_NOOP("corvane::MainDialog", "Delete all items")},
    {MainDialog::kDeleteSelectedButton, artwork::kDeleteSelectedIcon, QT_TRANSLATE_NOOP("corvane::MainDialog", "Delete selected item")},
    {MainDialog::kMoveDownButton, artwork::kMoveDownIcon, QT_TRANSLATE_NOOP("corvane::MainDialog", "Move item down")},
    {MainDialog::kMoveUpButton, artwork::kMoveUpIcon, QT_TRANSLATE_NOOP("corvane::MainDialog", "Move item up")},
    {MainDialog::kAboutButton, 0, QT_TRANSLATE_NOOP("corvane::MainDialog", "About")},
    {MainDialog::kHelpButton, artwork::kHelpIcon, QT_TRANSLATE_NOOP("corvane::MainDialog", "Help")},
    {MainDialog::kOptionsButton, artwork::kOptionsIcon, QT_TRANSLATE_NOOP("corvane::MainDialog", "Customize output options")},
    {MainDialog::kAddButton, artwork::kAddIcon, QT_TRANSLATE_NOOP("corvane::MainDialog", "Add wav files to list")},
    {MainDialog::kJoinButton, artwork::kJoinIcon, QT_TRANSLATE_NOOP("corvane::MainDialog", "Join the files to wav")},
};

const char* const kWavFilter = QT_TRANSLATE_NOOP("corvane::MainDialog", "Wav Files (*.wav)");
const char* const kAnyFilter = QT_TRANSLATE_NOOP("corvane::MainDialog", "Any Files (*)");
const char* const kPlaylistFilter =
    QT_TRANSLATE_NOOP("corvane::MainDialog", "Playlists (*.m3u *.m3u8 *.pls)");

bool isUserInput(QEvent::Type type) {
    switch (type) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::KeyPress:
        case QEvent::KeyRelease:
        case QEvent::Wheel:
        case QEvent::ContextMenu:
        case QEvent::Shortcut:
        case QEvent::ShortcutOverride:
        case QEvent::DragEnter:
        case QEvent::DragMove:
        case QEvent::Drop:
            return true;
        default:
            return false;
    }
}

}  // namespace

MainDialog::MainDialog(SettingsStore& store, MessageBoxes& boxes, FileDialogs& fileDialogs,
                       LinkOpener& opener, Clock clock, QWidget* parent)
    : QDialog(parent),
      store_(store),
      boxes_(boxes),
      fileDialogs_(fileDialogs),
      opener_(opener),
      clock_(clock ? std::move(clock) : Clock([] { return QDateTime::currentSecsSinceEpoch(); })),
      prober_(&FileAdder::probeAll),
      builder_(DialogTemplate::load(kTemplateId)),
      job_(items_, format_, boxes_, *this, this) {
    // Opening the window, in the order of its start-up.
    background_ = artwork::bitmap(artwork::kBackgroundBitmap);
    buildControls();

    // The desktop gives no system menu to extend: the window's own menu carries About.
    windowMenu_ = new QMenu(this);
    windowMenu_->addSeparator();
    QAction* about = windowMenu_->addAction(tr("&About Corvane"));
    about->setData(kAboutCommand);
    connect(about, &QAction::triggered, this, &MainDialog::onAboutCommand);
    setWindowIcon(artwork::applicationIcon());
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);

    readStartSettings();
    setStatusText(tr("Output File: %1").arg(format_.outputPath));
    configureButtons();
    connectCommands();
    setAcceptDrops(true);

    listMenu_ = new QMenu(this);
    savePlaylistAction_ = listMenu_->addAction(tr("&Save List as Playlist..."));
    connect(savePlaylistAction_, &QAction::triggered, this, &MainDialog::onSavePlaylist);
    connect(listMenu_->addAction(tr("&Open Playlist...")), &QAction::triggered, this,
            &MainDialog::onOpenPlaylist);
    connect(listMenu_, &QMenu::aboutToShow, this,
            [this] { savePlaylistAction_->setEnabled(items_.itemCount() > 0); });
    list_->setContextMenuPolicy(Qt::CustomContextMenu);
}

MainDialog::~MainDialog() {
    if (adding_) qApp->removeEventFilter(this);
}

void MainDialog::buildControls() {
    builder_.setFactory(kItemList, [](QWidget* p) { return new ItemListView(p); });
    builder_.setFactory(kStatusLine, [](QWidget* p) { return new StatusLine(p); });
    builder_.build(this);
    list_ = builder_.control<ItemListView>(kItemList);
    status_ = builder_.control<StatusLine>(kStatusLine);
    // The template always has both; without them the window could show nothing useful.
    Q_ASSERT(list_ && status_);
    // The template's ten units hold one line of its own font; with the desktop's font the
    // line may need more. It grows downwards, inside the window's three-pixel frame.
    QRect line = status_->geometry();
    if (line.height() < status_->oneLineHeight()) {
        line.setHeight(status_->oneLineHeight());
        const int lowest = height() - 4;
        if (line.bottom() > lowest) line.moveBottom(lowest);
        status_->setGeometry(line);
    }
}

void MainDialog::readStartSettings() {
    const QString defaultPath = settings::defaultOutputPath(boxes_);
    format_ = settings::readOutputFormat(store_, defaultPath);
}

ImageButton* MainDialog::button(int id) const {
    return builder_.control<ImageButton>(id);
}

void MainDialog::configureButtons() {
    for (const ButtonSetup& setup : kButtonSetups) {
        ImageButton* b = button(setup.id);
        if (!b) continue;
        if (setup.icon) b->SetIconResource(setup.icon);
        b->SetHoverSound(artwork::kHoverSound, true);
        b->SetTransparent(false);
        b->SetButtonCursor(artwork::kHandCursor, true);
        b->SetTipText(tr(setup.tip), true);
        b->SetAlignment(ImageButton::kIconAbove, true);
    }
}

void MainDialog::connectCommands() {
    const auto on = [this](int id, void (MainDialog::*handler)()) {
        if (ImageButton* b = button(id)) connect(b, &QAbstractButton::clicked, this, handler);
    };
    on(kJoinButton, &MainDialog::onJoinCommand);
    on(kOptionsButton, &MainDialog::onOptionsCommand);
    on(kAddButton, &MainDialog::onAddCommand);
    on(kDeleteSelectedButton, &MainDialog::onDeleteSelected);
    on(kDeleteAllButton, &MainDialog::onDeleteAll);
    on(kMoveUpButton, &MainDialog::onMoveUp);
    on(kMoveDownButton, &MainDialog::onMoveDown);
    on(kAboutButton, &MainDialog::onAboutCommand);
    on(kHomepageButton, &MainDialog::onHomepageCommand);
    on(kHelpButton, &MainDialog::onHelpCommand);
    connect(list_, &ItemListView::listDoubleClicked, this, &MainDialog::onPlayItems);
    connect(list_, &ItemListView::deletePressed, this, &MainDialog::onDeleteSelected);
    connect(list_, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& at) { listMenu_->exec(list_->viewport()->mapToGlobal(at)); });
    on(kExitButton, &MainDialog::onExitCommand);
    // F1 asks for help, as everywhere on the desktop.
    auto* help = new QShortcut(QKeySequence::HelpContents, this);
    connect(help, &QShortcut::activated, this, &MainDialog::onHelpCommand);
    // The fill belongs to a running join only; the end text says how it went.
    connect(&job_, &JoinJob::finished, this, [this] { status_->setFraction(-1); });
    connect(&job_, &JoinJob::finished, this, &MainDialog::tellDesktopJoinEnded);
}

// --- What the join shows --------------------------------------------------------------

void MainDialog::setStatusText(const QString& text) {
    status_->setText(text);
    status_->setToolTip(text);
}

QString MainDialog::statusText() const {
    return status_->text();
}

void MainDialog::setJoinButtonText(const QString& text) {
    if (ImageButton* b = button(kJoinButton))
        b->setText(QCoreApplication::translate("DialogTemplate", text.toUtf8()));
}

void MainDialog::setProgress(double fraction) {
    status_->setFraction(fraction);
    if (notifier_ && job_.joinRunning()) notifier_->setTaskProgress(fraction);
}

void MainDialog::showLoudnessReport(const LoudnessPlan& plan) {
    if (loudnessReport_) loudnessReport_->close();
    auto* report = new LoudnessReportDialog(plan, this);
    report->setAttribute(Qt::WA_DeleteOnClose);
    loudnessReport_ = report;
    report->show();
}

void MainDialog::tellDesktopJoinEnded(bool ok) {
    const bool longJoin = joinStartedAt_ >= 0 && clock_() - joinStartedAt_ > kNotifyAfterSeconds;
    joinStartedAt_ = -1;
    if (!notifier_) return;
    notifier_->setTaskProgress(-1);
    if (longJoin && !isActiveWindow())
        notifier_->notify(ok ? tr("The join is done") : tr("The join failed"),
                          statusText());
}

QString MainDialog::locateMissingSource(const QString& path) {
    const QString question =
        tr(
            "%1 cannot be found.\nDo you want to locate it? Without it the join cannot start.")
            .arg(path);
    if (!boxes_.askYesNo(question, tr("Warning"), MessageBoxes::Owner::MainWindow,
                         MessageBoxes::Icon::Warning))
        return {};
    QString folder = folderOf(path);
    if (!QFileInfo(folder).isDir())
        folder = store_.readString(settings::kOption, settings::kLastPhotoFolder, QString());
    const QStringList chosen = fileDialogs_.getOpenFileNames(
        tr("Locate %1").arg(ItemList::displayNameOf(path)), folder, {tr(kWavFilter), tr(kAnyFilter)});
    return chosen.value(0);
}

// --- Commands -------------------------------------------------------------------------

void MainDialog::onJoinCommand() {
    const bool wasRunning = job_.joinRunning();
    job_.onJoinCommand();
    if (wasRunning || !job_.joinRunning()) return;
    joinStartedAt_ = clock_();
    if (notifier_) notifier_->setTaskProgress(0);
}

void MainDialog::onOptionsCommand() {
    if (runOptionsCommand(this, format_, store_, boxes_, fileDialogs_))
        setStatusText(tr("Output File: %1").arg(format_.outputPath));
}

void MainDialog::onAboutCommand() {
    AboutDialog about(this, &opener_, &boxes_);
    about.exec();
}

void MainDialog::onHomepageCommand() {
    if (opener_.openWithDesktop(site::homePage())) return;
    boxes_.showMessage(
        tr(
            "Failed to launch web brower.\nPlease launch your web browser manually to access ") +
            site::homePage(),
        tr("unknown errors"), MessageBoxes::Owner::MainWindow,
        MessageBoxes::Icon::Error);
}

void MainDialog::onHelpCommand() {
    // Failures are silent, like the help viewer not starting.
    const QUrl page = helpStartPage();
    if (!page.isEmpty()) opener_.openWithDesktop(page.toString());
}

void MainDialog::onExitCommand() {
    // A close request, handled after this click like the title bar's close box.
    QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection);
}

bool MainDialog::selectionOrMessage() {
    if (list_->hasSelection()) return true;
    boxes_.appMessage(tr(kSelectItems));
    return false;
}

void MainDialog::showRows(const std::vector<bool>& selection, int current) {
    list_->rebuildRows(items_);
    list_->setSelectedRows(selection);
    list_->setCurrentRowIndex(current);
}

void MainDialog::onDeleteSelected() {
    if (items_.itemCount() <= 0) return;
    if (!selectionOrMessage()) return;
    std::vector<bool> selection = list_->selectedRows();
    int current = list_->currentRowIndex();
    items_.deleteSelected(selection, &current);
    showRows(selection, current);
}

void MainDialog::onDeleteAll() {
    items_.clear();
    list_->rebuildRows(items_);
    items_.syncMusicList();
}

void MainDialog::onMoveUp() {
    if (items_.itemCount() <= 1) return;
    if (!selectionOrMessage()) return;
    std::vector<bool> selection = list_->selectedRows();
    int current = list_->currentRowIndex();
    items_.moveUp(selection, &current);
    showRows(selection, current);
    list_->setFocus();
}

void MainDialog::onMoveDown() {
    if (items_.itemCount() <= 1) return;
    if (!selectionOrMessage()) return;
    std::vector<bool> selection = list_->selectedRows();
    int current = list_->currentRowIndex();
    items_.moveDown(selection, &current);
    showRows(selection, current);
    list_->setFocus();
}

void MainDialog::onPlayItems() {
    if (items_.itemCount() == 0) return;
    if (!selectionOrMessage()) return;
    const std::vector<bool> selection = list_->selectedRows();
    for (int r = 0; r < items_.itemCount() && r < static_cast<int>(selection.size()); ++r) {
        if (!selection[static_cast<std::size_t>(r)]) continue;
        const QString& path = items_.itemPath(r);
        if (!JoinJob::fileExists(path)) {
            boxes_.showMessage(path + tr(" does not exist!"), tr("Error"),
                               MessageBoxes::Owner::None, MessageBoxes::Icon::Error);
            return;
        }
        // The desktop's player for the file's type; a failed start is not reported.
        opener_.openWithDesktop(fileUrlOf(path));
    }
}

// --- Adding files ---------------------------------------------------------------------

void MainDialog::onAddCommand() {
    if (adding_) return;
    if (items_.isFull()) {
        boxes_.errorMessage(tr(kListFull).arg(kMaxItems));
        return;
    }
    const QString folder =
        store_.readString(settings::kOption, settings::kLastPhotoFolder, QString());
    QStringList paths = fileDialogs_.getOpenFileNames(tr("Select wav Files..."), folder,
                                                      {tr(kWavFilter), tr(kAnyFilter), tr(kPlaylistFilter)});
    FileAdder::sortNaturally(paths);
    addFiles(paths);
}

void MainDialog::addFiles(const QStringList& chosen) {
    if (chosen.isEmpty() || adding_) return;
    if (items_.isFull()) {
        boxes_.errorMessage(tr(kListFull).arg(kMaxItems));
        return;
    }
    const Playlist::Expansion expanded = Playlist::expand(chosen);
    for (const QString& message : expanded.messages) boxes_.errorMessage(message);
    const QStringList& paths = expanded.files;
    if (paths.isEmpty()) return;
    bool cancelled = false;
    const std::vector<media::ProbeResult> results = probeWithProgress(paths, &cancelled);
    if (closeAfterAdd_) {
        // The window was asked to close meanwhile: the measuring was cancelled for it, and
        // the close goes ahead now, with its usual checks.
        closeAfterAdd_ = false;
        QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection);
        return;
    }
    if (cancelled) return;  // as if the dialog had been cancelled: nothing changes
    const bool several = paths.size() > 1;
    const FileAdder::Outcome outcome = FileAdder::apply(items_, paths, results, several, boxes_);
    // A single file that was not added ends the command: list and folder stay as they were.
    if (!several && outcome.added == 0) return;
    list_->rebuildRows(items_);
    if (items_.itemCount() > 0)
        store_.writeString(settings::kOption, settings::kLastPhotoFolder,
                           folderOf(items_.itemPath(items_.itemCount() - 1)));
    items_.syncMusicList();
}

void MainDialog::onSavePlaylist() {
    if (items_.itemCount() == 0 || adding_) return;
    const QString folder =
        store_.readString(settings::kOption, settings::kLastPhotoFolder, QString());
    QString path = fileDialogs_.getSaveFileName(tr("Save List as Playlist"),
                                                folder + QStringLiteral("Playlist.m3u8"),
                                                {tr("Playlists (*.m3u8)")});
    if (path.isEmpty()) return;
    if (!Playlist::isPlaylistName(path)) {
        // The dialog asked about replacing the name as typed, not this one.
        path += QStringLiteral(".m3u8");
        if (JoinJob::fileExists(path) &&
            !boxes_.askYesNo(tr("%1 exists. Do you want to replace it?").arg(path),
                             tr("Warning"), MessageBoxes::Owner::MainWindow,
                             MessageBoxes::Icon::Warning))
            return;
    }
    QString error;
    if (!Playlist::save(items_, path, &error))
        boxes_.errorMessage(tr("Cannot save the playlist %1: %2").arg(path, error));
}

void MainDialog::onOpenPlaylist() {
    if (adding_) return;
    const QString folder =
        store_.readString(settings::kOption, settings::kLastPhotoFolder, QString());
    addFiles(fileDialogs_.getOpenFileNames(tr("Open Playlist"), folder,
                                           {tr(kPlaylistFilter), tr(kAnyFilter)}));
}

std::vector<media::ProbeResult> MainDialog::probeWithProgress(const QStringList& paths,
                                                              bool* cancelled) {
    std::atomic<bool> cancel{false};
    std::atomic<int> done{0};
    std::vector<media::ProbeResult> results;
    const Prober prober = prober_;
    std::unique_ptr<QThread> worker(QThread::create([&] {
        results = prober(
            paths, [&done](int d, int) { done.store(d); }, &cancel);
    }));
    QEventLoop loop;
    connect(worker.get(), &QThread::finished, &loop, &QEventLoop::quit);

    // The window keeps painting and the join keeps counting, but takes no input meanwhile.
    adding_ = true;
    addCancel_ = &cancel;
    qApp->installEventFilter(this);

    const int total = static_cast<int>(paths.size());
    QProgressDialog progress(tr("Measuring %1 file(s)...").arg(total),
                             tr("Cancel"), 0, total, this);
    progress.setWindowTitle(kAppName);
    progress.setWindowModality(Qt::WindowModal);
    progress.setAutoReset(false);
    progress.setAutoClose(false);
    progress.setMinimumDuration(progressDelayMs_);
    connect(&progress, &QProgressDialog::canceled, [&cancel] { cancel.store(true); });
    QTimer tick;
    tick.setInterval(50);
    connect(&tick, &QTimer::timeout, &progress, [&] {
        if (progress.wasCanceled())
            cancel.store(true);
        else
            progress.setValue(done.load());
    });

    worker->start();
    progress.setValue(0);  // starts the delay after which the dialog shows itself
    tick.start();
    loop.exec();
    // The loop also ends when the application quits: stop measuring rather than wait.
    if (!worker->isFinished()) cancel.store(true);
    worker->wait();
    tick.stop();

    qApp->removeEventFilter(this);
    addCancel_ = nullptr;
    adding_ = false;
    *cancelled = cancel.load();
    return results;
}

QStringList MainDialog::droppedFiles(const QMimeData* mime) {
    QStringList files;
    if (!mime || !mime->hasUrls()) return files;
    QStringList dropped;
    for (const QUrl& url : mime->urls()) {
        if (!url.isLocalFile()) continue;
        // By the URL's bytes: a name that is not UTF-8 must reach the file it names.
        const QByteArray bytes =
            QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1());
        dropped << media::pathToQString(bytes.toStdString());
    }
    // In natural order; a folder brings its own sound files, in the same order, at its place.
    FileAdder::sortNaturally(dropped);
    for (const QString& path : dropped) {
        struct stat st {};
        if (::stat(media::qstringToPath(path).c_str(), &st) != 0) continue;
        if (S_ISDIR(st.st_mode))
            files << FileAdder::soundFilesIn(path);
        else if (S_ISREG(st.st_mode))
            files << path;
    }
    return files;
}

void MainDialog::dragEnterEvent(QDragEnterEvent* event) {
    if (!adding_ && !droppedFiles(event->mimeData()).isEmpty()) event->acceptProposedAction();
}

void MainDialog::dropEvent(QDropEvent* event) {
    const QStringList files = droppedFiles(event->mimeData());
    if (files.isEmpty() || adding_) return;
    event->acceptProposedAction();
    // Added after the drop has finished, so the file manager is not kept waiting.
    QTimer::singleShot(0, this, [this, files] { addFiles(files); });
}

bool MainDialog::eventFilter(QObject* watched, QEvent* event) {
    if (adding_ && watched->isWidgetType() && isUserInput(event->type()) &&
        static_cast<QWidget*>(watched)->window() == this)
        return true;
    return QDialog::eventFilter(watched, event);
}

// --- Painting, menu, closing ----------------------------------------------------------

void MainDialog::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    if (!background_.isNull()) painter.drawTiledPixmap(rect(), background_);
    // A two-tone frame round the client area: light on the top and left, grey on the
    // bottom and right, three pixels each.
    const QColor grey(96, 96, 96);
    const QColor light(224, 224, 224);
    const int w = width(), h = height(), t = 3;
    painter.fillRect(0, 0, w, t, light);
    painter.fillRect(0, 0, t, h, light);
    painter.fillRect(0, h - t, w, t, grey);
    painter.fillRect(w - t, 0, t, h, grey);
}

void MainDialog::contextMenuEvent(QContextMenuEvent* event) {
    windowMenu_->exec(event->globalPos());
}

bool MainDialog::runUpdatePrompt() {
    const qint64 now = clock_();
    // Kept as 32 bits, read back unsigned so the reminder keeps its period after 2038.
    const int nowStored = static_cast<int>(static_cast<quint32>(now));
    const int stored = store_.readInt(settings::kSetup, settings::kFirstUpdate, nowStored);
    if (stored == nowStored) store_.writeInt(settings::kSetup, settings::kFirstUpdate, nowStored);
    if (static_cast<qint64>(static_cast<quint32>(stored)) + kUpdatePeriodSeconds >= now)
        return false;

    if (boxes_.askYesNo(tr("Do you want to check the lastest version on our website?"),
                        tr("Update the program"), MessageBoxes::Owner::None,
                        MessageBoxes::Icon::Question) &&
        !opener_.openWithDesktop(site::productPage())) {
        boxes_.showMessage(
            tr("The Program does not launch your web browser to access ") +
                site::homePage() +
                tr(" ,\nPlease launch your web browser and input the URL manually."),
            tr("unknown errors"), MessageBoxes::Owner::None, MessageBoxes::Icon::Error);
    }
    store_.writeInt(settings::kSetup, settings::kFirstUpdate, nowStored);
    return true;
}

void MainDialog::closeEvent(QCloseEvent* event) {
    if (adding_) {
        // Never dropped: the measuring stops and the close follows when it has.
        closeAfterAdd_ = true;
        if (addCancel_) addCancel_->store(true);
        event->ignore();
        return;
    }
    if (job_.joinRunning()) {
        boxes_.appMessage(tr("Please first stop Convert"));
        event->ignore();
        return;
    }
    runUpdatePrompt();
    event->accept();
    QDialog::done(QDialog::Rejected);
}

void MainDialog::reject() {
    if (adding_) return;
    if (job_.joinRunning()) job_.stopJoin();
    QDialog::reject();
}

}  // namespace corvane
