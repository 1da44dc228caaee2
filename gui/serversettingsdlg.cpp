#include "serversettingsdlg.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QEvent>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QUrl>
#include <QVBoxLayout>

#include "cloudendpoint.h"
#include "logging.h"
#include "usersettings.h"

ServerSettingsDlg::ServerSettingsDlg(QSettings &settings, QWidget *parent)
    : QDialog(parent), m_settings(settings)
{
    setObjectName(QStringLiteral("ServerSettingsDlg"));
    const UserSettings::Content c = UserSettings::read(m_settings);

    m_pBaseUrl = new QLineEdit(c.sBaseUrl, this);
    m_pBaseUrl->setObjectName(QStringLiteral("ldt_baseUrl"));
    m_pBaseUrl->setMinimumWidth(320);

    m_pCaFile = new QLineEdit(c.sCaFile, this);
    m_pCaFile->setObjectName(QStringLiteral("ldt_caFile"));
    m_pBrowse = new QPushButton(this);
    m_pBrowse->setObjectName(QStringLiteral("pbtn_caFile"));
    connect(m_pBrowse, &QPushButton::clicked, this, [this] {
        const QString path = chooseCaFile();
        if (!path.isEmpty())
            m_pCaFile->setText(path);
    });
    auto *caRow = new QHBoxLayout;
    caRow->addWidget(m_pCaFile, 1);
    caRow->addWidget(m_pBrowse);

    m_pInsecure = new QCheckBox(this);
    m_pInsecure->setObjectName(QStringLiteral("ckx_insecure"));
    m_pInsecure->setChecked(c.bInsecure);

    m_pError = new QLabel(this);
    m_pError->setObjectName(QStringLiteral("label_serverError"));
    m_pError->setStyleSheet(QStringLiteral("color: rgb(200, 0, 0);"));
    m_pError->setWordWrap(true);
    m_pError->hide();

    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->setObjectName(QStringLiteral("buttonBox"));
    connect(buttons, &QDialogButtonBox::accepted, this, &ServerSettingsDlg::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &ServerSettingsDlg::reject);

    m_pBaseUrlLabel = new QLabel(this);
    m_pCaFileLabel = new QLabel(this);
    auto *form = new QFormLayout;
    form->addRow(m_pBaseUrlLabel, m_pBaseUrl);
    form->addRow(m_pCaFileLabel, caRow);
    form->addRow(QString(), m_pInsecure);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(m_pError);
    layout->addWidget(buttons);
    retranslate();
}

void ServerSettingsDlg::retranslate()
{
    setWindowTitle(tr("服务器设置"));
    m_pBaseUrl->setPlaceholderText(tr("例如 https://主机名:端口"));
    m_pCaFile->setPlaceholderText(tr("可选,PEM 格式"));
    m_pBrowse->setText(tr("浏览"));
    m_pInsecure->setText(tr("不验证服务器证书(不安全)"));
    m_pBaseUrlLabel->setText(tr("服务器地址"));
    m_pCaFileLabel->setText(tr("私有证书颁发机构"));
}

void ServerSettingsDlg::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::LanguageChange)
        retranslate();
    QDialog::changeEvent(event);
}

QString ServerSettingsDlg::baseUrl() const
{
    return m_pBaseUrl->text().trimmed();
}

QString ServerSettingsDlg::caFile() const
{
    return m_pCaFile->text().trimmed();
}

bool ServerSettingsDlg::insecure() const
{
    return m_pInsecure->isChecked();
}

QString ServerSettingsDlg::chooseCaFile()
{
    return QFileDialog::getOpenFileName(this, tr("选择证书颁发机构文件"), QString(),
                                        tr("证书 (*.pem *.crt *.cer);;所有文件 (*)"));
}

void ServerSettingsDlg::showError(const QString &text)
{
    m_pError->setText(text);
    m_pError->show();
}

void ServerSettingsDlg::accept()
{
    const QUrl url(baseUrl(), QUrl::StrictMode);
    const QString scheme = url.scheme().toLower();
    if (!url.isValid() || (scheme != QLatin1String("http") && scheme != QLatin1String("https"))
        || url.host().isEmpty()) {
        showError(tr("服务器地址须以 http:// 或 https:// 开头,并含主机名"));
        return;
    }
    // The authority file is read now, so that a wrong path is said here and not at the
    // next sign-in.
    const CloudEndpoint endpoint(baseUrl(), caFile(), insecure());
    if (!endpoint.caError().isEmpty()) {
        showError(endpoint.caError());
        return;
    }
    if (!UserSettings::writeDomain(m_settings, baseUrl(), caFile(), insecure())) {
        showError(tr("无法写入 %1").arg(m_settings.fileName()));
        return;
    }
    qCDebug(lcUi) << "ServerSettingsDlg::accept" << baseUrl() << caFile() << insecure();
    QDialog::accept();
}
