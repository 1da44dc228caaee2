#include <QApplication>
#include <QIcon>

#include "language.h"
#include "logging.h"
#include "vantelo.h"

int main(int argc, char *argv[])
{
    Q_INIT_RESOURCE(resources);

    QApplication::setAttribute(Qt::AA_EnableHighDpiScaling, true);
    QApplication::setAttribute(Qt::AA_UseHighDpiPixmaps, true);
    QApplication app(argc, argv);
    app.setWindowIcon(QIcon(QStringLiteral(":/images/vantelo.ico")));
    // The settings file lies in the working directory, as the sign-in window reads it.
    Language::install(Language::fromSettings(QStringLiteral("User.ini")));

    int rc = 0;
    {
        Vantelo w;
        w.show();
        qCDebug(lcUi) << "main sign-in window shown" << w.isVisible() << w.windowTitle();
        rc = app.exec();
    }
    return rc;
}
