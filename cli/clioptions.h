#ifndef CLIOPTIONS_H
#define CLIOPTIONS_H

#include <QString>
#include <QStringList>

// The command line of vantelo-cli, taken apart: the command, its file and panels, and
// the common options. Pure: nothing is read or checked beyond the arguments.
class CliOptions
{
public:
    enum class Command { None, Help, HelpMan, Devices, Info, Firmware, Project, Sync };

    static constexpr int kDefaultFrame = 512;
    static constexpr int kDefaultParallel = 4;
    static constexpr int kMaxParallel = 256;

    // args: the arguments after the program name. A usage error leaves error set (and
    // command None); --help anywhere gives Help.
    static CliOptions parse(const QStringList &args);

    Command command = Command::None;
    QString file;            // firmware, project: the image or archive; sync: the archive
    QStringList panels;      // IMEIs given as arguments, in order
    QString fromFile;        // --from: a file of IMEIs, one a line
    bool allOnline = false;  // --all-online
    QString config;          // --config, empty: "User.ini" of the working directory
    QString account;         // --account, empty: the account signed in last
    bool passwordStdin = false;
    int frame = kDefaultFrame;
    int parallel = kDefaultParallel;
    bool json = false;
    QString lang;            // --lang: "zh" or "en"; empty: the setting of User.ini
    bool font = false;       // project: --font, the font library is sent too
    bool useName = false;    // sync: --use-name
    QString error;

    // The command takes panels (info, firmware, project, sync).
    bool takesPanels() const;
};

#endif // CLIOPTIONS_H
