// lab-samples: writes the lab's sample firmware images and compile.zip variants.
//   lab-samples OUTDIR
#include "samplegenerator.h"

#include <QCoreApplication>
#include <QStringList>

#include <cstdio>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    if (args.size() != 2 || args.at(1).startsWith(QLatin1Char('-'))) {
        std::fprintf(stderr, "usage: lab-samples OUTDIR\n");
        return 2;
    }
    SampleGenerator generator(args.at(1));
    QString error;
    if (!generator.generate(&error)) {
        std::fprintf(stderr, "lab-samples: %s\n", qPrintable(error));
        return 1;
    }
    std::printf("lab-samples: %d files in %s\n", int(generator.written().size()), qPrintable(args.at(1)));
    return 0;
}
