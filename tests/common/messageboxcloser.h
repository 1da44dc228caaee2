#ifndef MESSAGEBOXCLOSER_H
#define MESSAGEBOXCLOSER_H

#include <QList>
#include <QMessageBox>
#include <QObject>
#include <QStringList>
#include <QTimer>

// Closes every message box that opens while it lives (Ok when it has one and refuse
// is false, else rejected), recording of each "title|text", the number of buttons, the icon and the
// standard buttons.
class MessageBoxCloser : public QObject
{
public:
    MessageBoxCloser();

    QStringList seen;
    QList<int> buttons;
    QList<QMessageBox::Icon> icons;
    QList<QMessageBox::StandardButtons> standardButtons;
    bool refuse = false;

private:
    void closeBoxes();

    QTimer m_timer;
};

#endif // MESSAGEBOXCLOSER_H
