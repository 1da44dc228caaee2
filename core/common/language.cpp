#include "language.h"

#include <QCoreApplication>
#include <QDir>
#include <QLibraryInfo>
#include <QLocale>
#include <QPointer>
#include <QSettings>
#include <QStringList>
#include <QTranslator>

#include "logging.h"

namespace Language {

namespace {
const QString kKey = QStringLiteral("Language/ui");
const QString kChinese = QStringLiteral("zh"), kEnglish = QStringLiteral("en");

bool known(const QString &code)
{
    return code == kChinese || code == kEnglish;
}

// What install() put in place; owned by the application object, so that they go with it.
struct Installed
{
    QPointer<QTranslator> app, toolkit;
    QString code = kChinese;
    QStringList extraDirs;
};

Installed &installed()
{
    static Installed s;
    return s;
}

QStringList appSearchPaths()
{
    const QString bin = QCoreApplication::applicationDirPath();
    QStringList dirs{bin + QStringLiteral("/translations"),
                     QDir::cleanPath(bin + QStringLiteral("/../share/vantelo/translations"))};
    return dirs + installed().extraDirs;
}

void remove(QPointer<QTranslator> &t)
{
    if (t) {
        QCoreApplication::removeTranslator(t);
        delete t;
    }
    t = nullptr;
}

// A translator holding file (base name, language suffix) from the first folder that
// has it; null when none has.
QTranslator *load(const QString &base, const QString &suffix, const QStringList &dirs)
{
    auto *t = new QTranslator(QCoreApplication::instance());
    for (const QString &dir : dirs) {
        if (t->load(base + suffix, dir))
            return t;
    }
    delete t;
    return nullptr;
}
} // namespace

QString settingsKey()
{
    return kKey;
}

QString read(const QSettings &settings)
{
    const QVariant v = settings.value(kKey);
    const QString code =
        v.userType() == QMetaType::QString ? v.toString().trimmed().toLower() : QString();
    return known(code) ? code : kChinese;
}

QString fromSettings(const QString &userIni)
{
    const QSettings settings(userIni, QSettings::IniFormat);
    return read(settings);
}

void write(QSettings &settings, const QString &code)
{
    settings.setValue(kKey, known(code) ? code : kChinese);
}

bool install(const QString &code)
{
    if (!known(code) || !QCoreApplication::instance()) {
        qCDebug(lcUi) << "Language::install unknown language or no application" << code;
        return false;
    }
    Installed &s = installed();
    remove(s.app);
    remove(s.toolkit);
    s.code = kChinese;

    // The toolkit's own texts (buttons of message boxes, context menus) in the language
    // too; Chinese ones come as "zh_CN".
    const QString qtSuffix = code == kChinese ? QStringLiteral("_zh_CN") : QLatin1Char('_') + code;
    s.toolkit = load(QStringLiteral("qtbase"), qtSuffix,
                     {QLibraryInfo::location(QLibraryInfo::TranslationsPath)});
    if (s.toolkit)
        QCoreApplication::installTranslator(s.toolkit);
    else
        qCDebug(lcUi) << "Language::install no toolkit translation for" << code;

    // The program's texts are Chinese in the code: only other languages have a file.
    if (code != kChinese) {
        s.app = load(QStringLiteral("vantelo"), QLatin1Char('_') + code, appSearchPaths());
        if (!s.app) {
            qCWarning(lcUi) << "Language::install no translation of the program for" << code
                            << "in" << appSearchPaths();
            remove(s.toolkit);
            return false;
        }
        QCoreApplication::installTranslator(s.app);
    }
    s.code = code;
    return true;
}

QString current()
{
    return installed().code;
}

void addSearchPath(const QString &dir)
{
    if (!installed().extraDirs.contains(dir))
        installed().extraDirs.append(dir);
}

} // namespace Language
