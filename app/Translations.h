// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QLocale>

namespace corvane {

// Puts the program's translation for `locale` and Qt's own (its buttons and dialogs) in
// place of any installed before. Where there is none, as for English, the texts stay the
// source texts. Returns whether the program's own was found.
bool installTranslations(const QLocale& locale = QLocale());

}  // namespace corvane
