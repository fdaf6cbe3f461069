// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDialog>
#include <QPointer>
#include <QStringList>
#include <atomic>
#include <functional>
#include <vector>

#include "app/ItemList.h"
#include "controls/DialogBuilder.h"
#include "engine/JoinJob.h"
#include "media/decoders/Probe.h"
#include "options/OutputFormat.h"

class QAction;
class QMenu;
class QMimeData;

namespace corvane {

class DesktopNotifier;
class FileDialogs;
class ImageButton;
class ItemListView;
class LinkOpener;
class MessageBoxes;
class SettingsStore;
class StatusLine;

// The program's window (template 102): the item list with its buttons, Add, Options,
// Join/Stop, Help, Exit, Homepage and About, and the status line.
class MainDialog : public QDialog, public JoinView {
    Q_OBJECT
  public:
    static constexpr int kTemplateId = 102;
    static constexpr int kJoinButton = 1000;
    static constexpr int kOptionsButton = 1003;
    static constexpr int kAddButton = 1006;
    static constexpr int kItemList = 1008;
    static constexpr int kStatusLine = 1021;
    static constexpr int kDeleteSelectedButton = 1029;
    static constexpr int kDeleteAllButton = 1030;
    static constexpr int kMoveUpButton = 1031;
    static constexpr int kMoveDownButton = 1032;
    static constexpr int kAboutButton = 1042;
    static constexpr int kHomepageButton = 1047;
    static constexpr int kHelpButton = 57670;
    static constexpr int kExitButton = 1;
    static constexpr int kAboutCommand = 0x10;

    // A join that ends unseen after more than this is worth a notification.
    static constexpr qint64 kNotifyAfterSeconds = 10;

    // 180 days between update prompts.
    static constexpr qint64 kUpdatePeriodSeconds = 15552000;

    // Seconds since 1970 (UTC).
    using Clock = std::function<qint64()>;
    // Measures files as FileAdder::probeAll does (replaced in tests to control timing).
    using Prober = std::function<std::vector<media::ProbeResult>(
        const QStringList&, const std::function<void(int, int)>&, const std::atomic<bool>*)>;

    MainDialog(SettingsStore& store, MessageBoxes& boxes, FileDialogs& fileDialogs,
               LinkOpener& opener, Clock clock = {}, QWidget* parent = nullptr);
    ~MainDialog() override;

    // What the join shows here.
    void setStatusText(const QString& text) override;
    void setJoinButtonText(const QString& text) override;
    QString locateMissingSource(const QString& path) override;
    void setProgress(double fraction) override;
    void showLoudnessReport(const LoudnessPlan& plan) override;
    // The report of the last join with loudness matching, while it is open.
    QDialog* loudnessReport() const { return loudnessReport_; }

    // The commands, as their buttons and the list reach them.
    void onAddCommand();
    void onOptionsCommand();
    void onJoinCommand();
    void onHelpCommand();
    void onExitCommand();
    void onDeleteSelected();
    void onDeleteAll();
    void onMoveUp();
    void onMoveDown();
    void onHomepageCommand();
    void onAboutCommand();
    void onPlayItems();
    // The list's context menu: the list written as an .m3u8 playlist, and a playlist's
    // files added to the end of the list.
    void onSavePlaylist();
    void onOpenPlaylist();

    // Adds files as Add does after its dialog: measured off the interface thread (with a
    // progress dialog when it takes a while), then appended in order with their messages.
    // Dropped files and files named on the command line come in here too. Playlists among
    // them bring the files they list, in their place.
    void addFiles(const QStringList& chosen);

    // The update prompt of a close; true when it asked.
    bool runUpdatePrompt();

    const ItemList& items() const { return items_; }
    const OutputFormat& format() const { return format_; }
    JoinJob& job() { return job_; }
    QWidget* control(int id) const { return builder_.control(id); }
    ImageButton* button(int id) const;
    ItemListView* listView() const { return list_; }
    StatusLine* statusLine() const { return status_; }
    QString statusText() const;
    // The window's menu with "&About Corvane" (the desktop has no system menu to extend).
    QMenu* windowMenu() const { return windowMenu_; }
    QMenu* listMenu() const { return listMenu_; }
    bool isAdding() const { return adding_; }

    void setProber(Prober prober) { prober_ = std::move(prober); }
    // Where joins are told to the desktop; none by default.
    void setDesktopNotifier(DesktopNotifier* notifier) { notifier_ = notifier; }
    void setProgressDelay(int ms) { progressDelayMs_ = ms; }

  protected:
    void paintEvent(QPaintEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    // Escape: ends the window without the close checks; a running join is stopped first
    // so its file is left complete.
    void reject() override;

  private:
    void buildControls();
    void configureButtons();
    void connectCommands();
    void readStartSettings();
    std::vector<media::ProbeResult> probeWithProgress(const QStringList& paths, bool* cancelled);
    bool selectionOrMessage();
    void showRows(const std::vector<bool>& selection, int current);
    static QStringList droppedFiles(const QMimeData* mime);
    void tellDesktopJoinEnded(bool ok);

    SettingsStore& store_;
    MessageBoxes& boxes_;
    FileDialogs& fileDialogs_;
    LinkOpener& opener_;
    Clock clock_;
    Prober prober_;
    DialogBuilder builder_;
    ItemList items_;
    OutputFormat format_;
    JoinJob job_;
    ItemListView* list_ = nullptr;
    StatusLine* status_ = nullptr;
    QMenu* windowMenu_ = nullptr;
    QMenu* listMenu_ = nullptr;
    QAction* savePlaylistAction_ = nullptr;
    QPixmap background_;
    bool adding_ = false;
    std::atomic<bool>* addCancel_ = nullptr;
    bool closeAfterAdd_ = false;
    DesktopNotifier* notifier_ = nullptr;
    qint64 joinStartedAt_ = -1;  // by clock_, while a join runs
    int progressDelayMs_ = 400;
    QPointer<QDialog> loudnessReport_;
};

}  // namespace corvane
