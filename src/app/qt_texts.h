#pragma once

// Qt's own texts (file dialogs, standard buttons) in the desktop's language;
// the program's texts are Chinese already.

#include <QLocale>

class QTranslator;

namespace quilla {

// Loads Qt's translation for `locale` into `translator` and installs it;
// false, leaving English, when there is none.
bool speakTheLanguageOf(const QLocale& locale, QTranslator& translator);

} // namespace quilla
