#include <QApplication>
#include <QIcon>

#include "qttranslations.h"
#include "vantelo.h"

int main(int argc, char *argv[])
{
    Q_INIT_RESOURCE(resources);

    QApplication::setAttribute(Qt::AA_EnableHighDpiScaling, true);
    QApplication::setAttribute(Qt::AA_UseHighDpiPixmaps, true);
    QApplication app(argc, argv);
    app.setWindowIcon(QIcon(QStringLiteral(":/images/vantelo.ico")));
    QtTranslations::install(QtTranslations::programLocale(QLocale::system()));

    int rc = 0;
    {
        Vantelo w;
        w.show();
        rc = app.exec();
    }
    return rc;
}
