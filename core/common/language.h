#ifndef LANGUAGE_H
#define LANGUAGE_H

#include <QString>

class QSettings;

// The language of the user interface. The texts in the code are Chinese ("zh", the
// default); "en" loads the English translation. The choice is kept in "User.ini":
//   [Language] ui = zh | en
// and taken by every program of the project (windows and command line) at start.
namespace Language {

// The language named in the given settings file (INI format; any case, spaces around it
// ignored); "zh" when the file, the group or the key is missing or names a language the
// program does not have.
QString fromSettings(const QString &userIni);

// The same, from settings already open.
QString read(const QSettings &settings);

// The entry of settings that holds the language: "Language/ui".
QString settingsKey();

// Sets the language entry in settings to code (unknown codes are stored as "zh"); the
// caller writes the settings to disk.
void write(QSettings &settings, const QString &code);

// Makes code ("zh" or "en") the language of the running application: the program's
// translation and the toolkit's own for that language replace those installed before
// (every widget then receives a LanguageChange event). The translation files are looked
// up in "translations" beside the executable, then in "../share/vantelo/translations"
// from it, then in the folders added with addSearchPath(). Returns false for an unknown
// code or when the program's translation was not found (the texts stay Chinese).
bool install(const QString &code);

// The language installed last ("zh" before any install()).
QString current();

// One more folder where install() looks for the program's translations.
void addSearchPath(const QString &dir);

} // namespace Language

#endif // LANGUAGE_H
