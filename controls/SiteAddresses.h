// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// The maker's addresses are build settings (CMake cache variables CORVANE_HOME_PAGE,
// CORVANE_PRODUCT_PAGE and CORVANE_CONTACT_PAGE).
#ifndef CORVANE_HOME_PAGE
#error "CORVANE_HOME_PAGE is set by the build (link corvane_controls)"
#endif

namespace corvane::site {

inline QString homePage() { return QStringLiteral(CORVANE_HOME_PAGE); }
inline QString productPage() { return QStringLiteral(CORVANE_PRODUCT_PAGE); }
inline QString contactPage() { return QStringLiteral(CORVANE_CONTACT_PAGE); }

}  // namespace corvane::site
