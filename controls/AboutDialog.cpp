// SPDX-License-Identifier: GPL-3.0-or-later
#include "controls/AboutDialog.h"

#include <QPushButton>

#include "controls/Artwork.h"
#include "controls/LinkControl.h"
#include "controls/SiteAddresses.h"

namespace corvane {

AboutDialog::AboutDialog(QWidget* parent, LinkOpener* opener, MessageBoxes* boxes)
    : QDialog(parent), builder_(DialogTemplate::load(kTemplateId)) {
    setWindowIcon(artwork::applicationIcon());
    const auto makeLink = [opener, boxes](QWidget* p) {
        auto* link = new LinkControl(p);
        link->setOpener(opener);
        link->setMessageBoxes(boxes);
        return link;
    };
    builder_.setFactory(kHomePageLinkId, makeLink);
    builder_.setFactory(kSupportLinkId, makeLink);
    builder_.setVariable(QStringLiteral("HomePage"), site::homePage());
    builder_.build(this);

    supportLink_ = builder_.control<LinkControl>(kSupportLinkId);
    homePageLink_ = builder_.control<LinkControl>(kHomePageLinkId);
    auto* ok = builder_.control<QPushButton>(1);
    if (ok) connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    if (!supportLink_ || !homePageLink_) return;
    // OK has the focus when the box opens, so Enter closes it; Tab goes on to the links.
    if (ok) {
        setTabOrder(ok, homePageLink_);
        setTabOrder(homePageLink_, supportLink_);
        ok->setFocus(Qt::OtherFocusReason);
    }

    // Binding attaches the links; then each gets its target, underlined all the time.
    supportLink_->attach();
    homePageLink_->attach();
    homePageLink_->setTarget(site::homePage());
    homePageLink_->setUnderlineMode(LinkControl::kUnderlineAlways);
    supportLink_->setTarget(site::contactPage());
    supportLink_->setUnderlineMode(LinkControl::kUnderlineAlways);
}

void runAboutCommand(QWidget* parent) {
    AboutDialog dialog(parent);
    dialog.exec();
}

}  // namespace corvane
