#include "projectfiles.h"

#include <QCoreApplication>

#include "modelrecord.h"

const QVector<ProjectFiles::Step> &ProjectFiles::steps()
{
    static const QVector<Step> table = {
        {1, QT_TRANSLATE_NOOP("ProjectFiles", "系统参数"), "/SysPara.dat", 10, Always},
        {2, QT_TRANSLATE_NOOP("ProjectFiles", "控件参数"), "/ControlPara.dat", 11, Always},
        {3, QT_TRANSLATE_NOOP("ProjectFiles", "启动画面"), "/LogoPixel.dat", 31, StartupScreen},
        {4, QT_TRANSLATE_NOOP("ProjectFiles", "画面参数"), "/SheetPara.dat", 12, Always},
        {5, QT_TRANSLATE_NOOP("ProjectFiles", "宏指令变量表"), "/MarcoVar.dat", 54, Always},
        {6, QT_TRANSLATE_NOOP("ProjectFiles", "宏指令"), "/MarcoRun.dat", 29, Always},
        {7, QT_TRANSLATE_NOOP("ProjectFiles", "报警参数"), "/AlarmPara.dat", 14, Always},
        {8, QT_TRANSLATE_NOOP("ProjectFiles", "报警多语言参数"), "/AlarmMuti.dat", 22, Always},
        {9, QT_TRANSLATE_NOOP("ProjectFiles", "消息显示器参数"), "/SimMessage.dat", 23, Always},
        {10, QT_TRANSLATE_NOOP("ProjectFiles", "历史数据采集器参数"), "/Collect.dat", 21, Always},
        {11, QT_TRANSLATE_NOOP("ProjectFiles", "配方参数"), "/Recipe.dat", 25, Always},
        {12, QT_TRANSLATE_NOOP("ProjectFiles", "地址数据"), "/AddrPara.dat", 18, Always},
        {13, QT_TRANSLATE_NOOP("ProjectFiles", "控件索引参数"), "/PicLenPara.dat", 20, Always},
        {14, QT_TRANSLATE_NOOP("ProjectFiles", "曲线数据"), "/Curve.dat", 13, Always},
        {15, QT_TRANSLATE_NOOP("ProjectFiles", "控件图像数据"), "/ControlPixel.dat", 16, Always},
        {16, QT_TRANSLATE_NOOP("ProjectFiles", "画面图像数据"), "/SheetPixel.dat", 15, Always},
        {17, QT_TRANSLATE_NOOP("ProjectFiles", "COM1驱动"), nullptr, 17, Com1Driver},
        {18, QT_TRANSLATE_NOOP("ProjectFiles", "COM2驱动"), nullptr, 19, Com2Driver},
        {19, QT_TRANSLATE_NOOP("ProjectFiles", "汉字库"), nullptr, 24, FontLibrary},
    };
    return table;
}

bool ProjectFiles::isOptionalCode(uchar code)
{
    switch (code) {
    case 13: case 16: case 18: case 20: case 21: case 22: case 23: case 25: case 29: case 54:
        return true;
    default:
        return false;
    }
}

QVector<ProjectFiles::File> ProjectFiles::plan(const ModelRecord &record, bool bHzFile,
                                               const QString &unpackDir)
{
    QVector<File> files;
    for (const Step &s : steps()) {
        QString named;
        switch (s.condition) {
        case Always:
            break;
        case StartupScreen:
            if (!record.startupScreen)
                continue;
            break;
        case Com1Driver:
            if (!record.com1Driver)
                continue;
            named = record.com1Name;
            break;
        case Com2Driver:
            if (!record.com2Driver)
                continue;
            named = record.com2Name;
            break;
        case FontLibrary:
            if (!bHzFile)
                continue;
            named = record.fontName;
            break;
        }
        File f{s.step, s.name, QString(), s.code};
        if (s.suffix)
            f.path = unpackDir + QLatin1String(s.suffix);
        else if (ModelRecord::isUsableFileName(named))
            f.path = unpackDir + QLatin1Char('/') + named;
        files.append(f);
    }
    return files;
}
