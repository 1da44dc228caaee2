#ifndef SERVERSETTINGSDLG_H
#define SERVERSETTINGSDLG_H

#include <QDialog>
#include <QString>

class QCheckBox;
class QLabel;
class QLineEdit;
class QSettings;

// The cloud service's settings of "User.ini" group "Domain": base URL, private
// certificate authority and the insecure choice. Opened from the sign-in window; "确定"
// writes them to the file (the accounts stay as they are) and closes only when the
// address is usable and the file was written.
class ServerSettingsDlg : public QDialog
{
    Q_OBJECT
public:
    // settings: the open "User.ini", which the dialog reads now and writes on "确定".
    ServerSettingsDlg(QSettings &settings, QWidget *parent);

    QString baseUrl() const;
    QString caFile() const;
    bool insecure() const;

    void accept() override;

protected:
    // The file chosen by the user, empty when the choice was cancelled.
    virtual QString chooseCaFile();

private:
    void showError(const QString &text);

    QSettings &m_settings;
    QLineEdit *m_pBaseUrl = nullptr;
    QLineEdit *m_pCaFile = nullptr;
    QCheckBox *m_pInsecure = nullptr;
    QLabel *m_pError = nullptr;
};

#endif // SERVERSETTINGSDLG_H
