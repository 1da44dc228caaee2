#ifndef CUSLINEEDITE_H
#define CUSLINEEDITE_H

#include <QLineEdit>

// Line edit that shows its clear button only while it has the focus: turned on at a
// focus-in when it holds text, turned off at every focus-out.
class CusLineEdite : public QLineEdit
{
    Q_OBJECT
public:
    explicit CusLineEdite(QWidget *parent = nullptr);

protected:
    void focusInEvent(QFocusEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;
};

#endif // CUSLINEEDITE_H
