// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDialog>

#include "controls/DialogBuilder.h"

namespace corvane {

class LinkControl;
class LinkOpener;
class MessageBoxes;

// The About box (template 100): the program icon, name and version, the home-page link and
// the support link, both underlined and opening their targets when clicked.
class AboutDialog : public QDialog {
    Q_OBJECT
public:
    static constexpr int kTemplateId = 100;
    static constexpr int kHomePageLinkId = 1049;
    static constexpr int kSupportLinkId = 1050;

    // The opener and boxes are for the links (the desktop's and Qt's when null).
    explicit AboutDialog(QWidget* parent = nullptr, LinkOpener* opener = nullptr,
                         MessageBoxes* boxes = nullptr);

    LinkControl* supportLink() const { return supportLink_; }
    LinkControl* homePageLink() const { return homePageLink_; }
    QWidget* control(int id) const { return builder_.control(id); }

private:
    DialogBuilder builder_;
    LinkControl* supportLink_ = nullptr;
    LinkControl* homePageLink_ = nullptr;
};

// The About command: the box, run modally; its result is not used.
void runAboutCommand(QWidget* parent);

}  // namespace corvane
