// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringList>

class QUrl;

namespace corvane {

// How a link control reaches the outside world, so tests can see what would be started.
class LinkOpener {
public:
    // Results of start(), in the shell's terms: above 32 is success.
    static constexpr int kStarted = 33;
    static constexpr int kOutOfResources = 0;
    static constexpr int kFileNotFound = 2;
    static constexpr int kAccessDenied = 5;
    static constexpr int kNoAssociation = 31;

    virtual ~LinkOpener() = default;
    // Opens the address with the desktop's handler; false when that cannot be done.
    virtual bool openWithDesktop(const QString& address) = 0;
    // The command line the desktop associates with web pages (text/html); empty when none.
    virtual QString webPageCommand() = 0;
    // Starts a program without waiting; one of the results above.
    virtual int start(const QString& program, const QStringList& arguments) = 0;
};

// The desktop's own ways: xdg-open (through QDesktopServices), "xdg-mime query default
// text/html" and the Exec line of that application's .desktop file.
class DesktopLinkOpener : public LinkOpener {
public:
    bool openWithDesktop(const QString& address) override;
    QString webPageCommand() override;
    int start(const QString& program, const QStringList& arguments) override;

    static DesktopLinkOpener& instance();

    // The Exec line of a .desktop file's [Desktop Entry] group, with its escapes undone;
    // empty when there is none.
    static QString execLine(const QString& desktopFile);
};

// The fallback command for an address: the association's line cut at its placeholder
// ("%1", quoted or not, or a desktop file's %u/%U/%f/%F), then a blank and the address.
struct FallbackCommand {
    QString line;  // the command line as text
    QString program;
    QStringList arguments;  // the address is always the last, passed as one argument

    static FallbackCommand build(const QString& associationLine, const QString& address);
};

}  // namespace corvane
