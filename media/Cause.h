// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// Names the context under which lupdate files a class's texts, as Q_DECLARE_TR_FUNCTIONS
// does, for a class with a tr() of its own (the corvane_lupdate target knows this name).
#define CORVANE_TR_CONTEXT(context)

namespace corvane::media {

// The causes and texts the media layer gives, in the window's language. Many are made in
// decoder workers, which have no application object and may open no file: there the
// translation loaded once by the process that forks them is used. Where neither exists (the
// terminal front end installs none) the English source comes back.
class Cause {
    CORVANE_TR_CONTEXT(Cause)
  public:
    static QString tr(const char* source);
    // The translation to use where there is no application object ("" for none): a
    // compiled .qm, read at once. Returns whether it loaded.
    static bool useTranslation(const QString& qmFile);
};

}  // namespace corvane::media
