#ifndef SERVERSETTINGSDLG_H
#define SERVERSETTINGSDLG_H

#include <QDialog>
#include <QString>

class QCheckBox;
class QEvent;
class QLabel;
class QLineEdit;
class QPushButton;
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
    // A change of language: every text again (an error shown stays as it was).
    void changeEvent(QEvent *event) override;

private:
    void showError(const QString &text);
    // Puts the texts of the dialog in the language installed.
    void retranslate();

    QSettings &m_settings;
    QLineEdit *m_pBaseUrl = nullptr;
    QLineEdit *m_pCaFile = nullptr;
    QCheckBox *m_pInsecure = nullptr;
    QPushButton *m_pBrowse = nullptr;
    QLabel *m_pBaseUrlLabel = nullptr;
    QLabel *m_pCaFileLabel = nullptr;
    QLabel *m_pError = nullptr;
};

#endif // SERVERSETTINGSDLG_H
