#ifndef QTTRANSLATIONS_H
#define QTTRANSLATIONS_H

#include <QLocale>

// Qt's own texts (standard buttons, file dialogs) in the language of the program's
// windows, from Qt's translations in QLibraryInfo::TranslationsPath.
class QtTranslations
{
public:
    // The language the program's windows show on a system of locale system: English on
    // an English system, else Chinese (the windows' own language).
    static QLocale programLocale(const QLocale &system);

    // Replaces the Qt translation installed before by the one of locale (none for
    // English, Qt's own language). False when no file for it could be loaded.
    static bool install(const QLocale &locale);
};

#endif // QTTRANSLATIONS_H
