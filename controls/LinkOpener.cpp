// SPDX-License-Identifier: GPL-3.0-or-later
#include "controls/LinkOpener.h"

#include <QDesktopServices>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTextStream>
#include <QUrl>

namespace corvane {

namespace {

// Position and length of the first placeholder: "%1" between double quotes counts from its
// opening quote; otherwise %1 or one of the desktop's file/URL field codes.
std::pair<qsizetype, qsizetype> findPlaceholder(const QString& line) {
    static const QRegularExpression quoted(QStringLiteral("\"%1\""));
    static const QRegularExpression bare(QStringLiteral("%1|%[uUfF]"));
    static const QRegularExpression quotedField(QStringLiteral("\"%[uUfF]\""));
    if (auto m = quoted.match(line); m.hasMatch()) return {m.capturedStart(), m.capturedLength()};
    const qsizetype percentOne = line.indexOf(QLatin1String("%1"));
    if (percentOne >= 0) return {percentOne, 2};
    if (auto m = quotedField.match(line); m.hasMatch())
        return {m.capturedStart(), m.capturedLength()};
    if (auto m = bare.match(line); m.hasMatch()) return {m.capturedStart(), m.capturedLength()};
    return {-1, 0};
}

// Field codes other than the placeholder expand to nothing we can supply; "%%" is a '%'.
QString dropOtherFieldCodes(QString line) {
    static const QRegularExpression codes(QStringLiteral("%[ickdDnNvm]"));
    line.replace(codes, QString());
    line.replace(QLatin1String("%%"), QLatin1String("%"));
    return line;
}

}  // namespace

FallbackCommand FallbackCommand::build(const QString& associationLine, const QString& address) {
    QString head = associationLine;
    if (const auto [pos, len] = findPlaceholder(head); pos >= 0) head.truncate(pos);
    FallbackCommand command;
    command.line = head + QLatin1Char(' ') + address;
    QStringList parts = QProcess::splitCommand(dropOtherFieldCodes(head));
    if (!parts.isEmpty()) command.program = parts.takeFirst();
    // The address goes as one argument, never through a shell or a split.
    command.arguments = parts << address;
    return command;
}

bool DesktopLinkOpener::openWithDesktop(const QString& address) {
    const QUrl url = QUrl::fromUserInput(address);
    return url.isValid() && QDesktopServices::openUrl(url);
}

QString DesktopLinkOpener::execLine(const QString& desktopFile) {
    QFile file(desktopFile);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) return {};
    QTextStream in(&file);
    bool inEntry = false;
    while (!in.atEnd()) {
        const QString line = in.readLine().trimmed();
        if (line.startsWith(QLatin1Char('['))) {
            inEntry = line == QLatin1String("[Desktop Entry]");
            continue;
        }
        if (!inEntry || !line.startsWith(QLatin1String("Exec"))) continue;
        const qsizetype eq = line.indexOf(QLatin1Char('='));
        if (eq < 0 || line.left(eq).trimmed() != QLatin1String("Exec")) continue;
        QString value = line.mid(eq + 1).trimmed();
        // The string escapes of desktop files; quoting inside the line is kept for splitting.
        value.replace(QLatin1String("\\s"), QLatin1String(" "));
        value.replace(QLatin1String("\\t"), QLatin1String("\t"));
        value.replace(QLatin1String("\\\\"), QLatin1String("\\"));
        return value;
    }
    return {};
}

QString DesktopLinkOpener::webPageCommand() {
    QProcess query;
    query.start(QStringLiteral("xdg-mime"),
                {QStringLiteral("query"), QStringLiteral("default"), QStringLiteral("text/html")});
    if (!query.waitForFinished(3000) || query.exitCode() != 0) {
        query.kill();
        return {};
    }
    const QString desktopId = QString::fromUtf8(query.readAllStandardOutput()).trimmed();
    if (desktopId.isEmpty() || desktopId.contains(QLatin1Char('/'))) return {};
    const QString file =
        QStandardPaths::locate(QStandardPaths::ApplicationsLocation, desktopId);
    return file.isEmpty() ? QString() : execLine(file);
}

int DesktopLinkOpener::start(const QString& program, const QStringList& arguments) {
    if (program.isEmpty()) return kFileNotFound;
    const QString found = program.contains(QLatin1Char('/'))
                              ? (QFileInfo::exists(program) ? program : QString())
                              : QStandardPaths::findExecutable(program);
    if (found.isEmpty()) return kFileNotFound;
    if (!QFileInfo(found).isExecutable()) return kAccessDenied;
    return QProcess::startDetached(found, arguments) ? kStarted : kOutOfResources;
}

DesktopLinkOpener& DesktopLinkOpener::instance() {
    static DesktopLinkOpener opener;
    return opener;
}

}  // namespace corvane
