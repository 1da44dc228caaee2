#ifndef MESSAGEBOXCLOSER_H
#define MESSAGEBOXCLOSER_H

#include <QList>
#include <QObject>
#include <QStringList>
#include <QTimer>

// Closes every message box that opens while it lives (Ok when it has one, else
// rejected), recording "title|text" and the number of buttons of each.
class MessageBoxCloser : public QObject
{
public:
    MessageBoxCloser();

    QStringList seen;
    QList<int> buttons;

private:
    void closeBoxes();

    QTimer m_timer;
};

#endif // MESSAGEBOXCLOSER_H
