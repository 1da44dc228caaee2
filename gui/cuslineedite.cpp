#include "cuslineedite.h"

CusLineEdite::CusLineEdite(QWidget *parent) : QLineEdit(parent)
{
    setClearButtonEnabled(false);
}

void CusLineEdite::focusInEvent(QFocusEvent *event)
{
    if (!isClearButtonEnabled() && !text().isEmpty())
        setClearButtonEnabled(true);
    QLineEdit::focusInEvent(event);
}

void CusLineEdite::focusOutEvent(QFocusEvent *event)
{
    if (isClearButtonEnabled())
        setClearButtonEnabled(false);
    QLineEdit::focusOutEvent(event);
}
