#include "qttranslations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

#include "logging.h"

namespace {
QTranslator *&installed()
{
    static QTranslator *translator = nullptr;
    return translator;
}
} // namespace

QLocale QtTranslations::programLocale(const QLocale &system)
{
    if (system.language() == QLocale::English)
        return QLocale(QLocale::English, QLocale::UnitedStates);
    return QLocale(QLocale::Chinese, QLocale::China);
}

bool QtTranslations::install(const QLocale &locale)
{
    if (QTranslator *old = installed()) {
        QCoreApplication::removeTranslator(old);
        delete old;
        installed() = nullptr;
    }
    if (locale.language() == QLocale::English)
        return true;
    auto *translator = new QTranslator(QCoreApplication::instance());
    const QString dir = QLibraryInfo::location(QLibraryInfo::TranslationsPath);
    const bool ok = translator->load(locale, QStringLiteral("qtbase"), QStringLiteral("_"), dir);
    qCDebug(lcUi) << "QtTranslations::install" << locale.name() << dir << ok;
    if (!ok) {
        delete translator;
        return false;
    }
    QCoreApplication::installTranslator(translator);
    installed() = translator;
    return true;
}
