#include "cloginview.h"

#include "foundation/clogger.h"
#include "webservices/cnetworkstatus.h"
#include "webservices/cuser.h"

#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#ifndef TESSARAY_WEBSITE_ADDRESS
#define TESSARAY_WEBSITE_ADDRESS "http://127.0.0.1:8720"
#endif

namespace
{
const char* const lineEditStyle =
    "QLineEdit { border-radius: 4px; border: 1px solid #A0A0A0; font-size: 13px; height: 32px;}";
}

CLoginViewPage::CLoginViewPage(QWidget* parent)
    : QWidget(parent)
    , m_userName(new QLineEdit(this))
    , m_password(new QLineEdit(this))
    , m_login(new QPushButton(tr("&Login"), this))
    , m_message(new QLabel(this))
{
    setObjectName(QStringLiteral("loginViewPage"));
    auto* account = new QLabel(this);
    account->setObjectName(QStringLiteral("accountPicture"));
    account->setPixmap(QIcon(QStringLiteral(":/menu/images/account.png")).pixmap(64, 64));
    account->setAlignment(Qt::AlignCenter);

    m_userName->setObjectName(QStringLiteral("userNameEdit"));
    m_userName->setPlaceholderText(tr("Username"));
    m_userName->setAccessibleName(tr("Username"));
    m_userName->setStyleSheet(QLatin1String(lineEditStyle));
    m_password->setObjectName(QStringLiteral("passwordEdit"));
    m_password->setPlaceholderText(tr("Password"));
    m_password->setAccessibleName(tr("Password"));
    m_password->setEchoMode(QLineEdit::Password);
    m_password->setStyleSheet(QLatin1String(lineEditStyle));
    m_login->setObjectName(QStringLiteral("loginButton"));
    m_login->setDefault(true);
    m_login->setMinimumHeight(32);

    m_message->setObjectName(QStringLiteral("loginMessage"));
    m_message->setTextFormat(Qt::RichText);
    m_message->setWordWrap(true);
    m_message->setOpenExternalLinks(true);
    m_message->setStyleSheet(QStringLiteral("QLabel { color: #b94a48; }"));
    m_message->hide();

    // Registering is offered from the start, not only after a failed attempt.
    auto* registerLink = new QLabel(
        tr("No Brelvar account yet? <a href=\"%0/register.aspx\">Register here</a>.").arg(CLoginView::websiteAddress()),
        this);
    registerLink->setObjectName(QStringLiteral("registerLink"));
    registerLink->setOpenExternalLinks(true);
    registerLink->setAlignment(Qt::AlignCenter);

    auto* form = new QVBoxLayout;
    form->setSpacing(10);
    form->addWidget(account);
    form->addWidget(m_userName);
    form->addWidget(m_password);
    form->addWidget(m_login);
    form->addWidget(m_message);
    form->addWidget(registerLink);
    auto* column = new QWidget(this);
    column->setLayout(form);
    column->setMinimumWidth(320);

    auto* layout = new QVBoxLayout(this);
    layout->addStretch(1);
    layout->addWidget(column, 0, Qt::AlignHCenter);
    layout->addStretch(2);

    setTabOrder(m_userName, m_password);
    setTabOrder(m_password, m_login);
    connect(m_login, &QPushButton::clicked, this, &CLoginViewPage::onLoginButtonClicked);
    connect(m_userName, &QLineEdit::returnPressed, this, &CLoginViewPage::onLoginButtonClicked);
    connect(m_password, &QLineEdit::returnPressed, this, &CLoginViewPage::onLoginButtonClicked);
}

void CLoginViewPage::setMessage(const QString& text)
{
    m_message->setText(text);
    m_message->setVisible(!text.isEmpty());
}

QString CLoginViewPage::message() const
{
    return m_message->text();
}

void CLoginViewPage::focusUserName()
{
    m_userName->setFocus(Qt::OtherFocusReason);
}

void CLoginViewPage::onLoginButtonClicked()
{
    emit loginButtonClicked(m_userName->text(), m_password->text());
}

CLoginView::CLoginView(QWidget* parent)
    : QWidget(parent)
    , m_page(new CLoginViewPage(this))
{
    setObjectName(QStringLiteral("loginView"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_page);
    connect(m_page, &CLoginViewPage::loginButtonClicked, this, &CLoginView::onLoginButtonPressed);
    connect(this, &CLoginView::userAuthFailed, this, [this]() { m_page->setMessage(failureMessage()); });
}

QString CLoginView::websiteAddress()
{
    QString address = QStringLiteral(TESSARAY_WEBSITE_ADDRESS);
    while (address.endsWith(QLatin1Char('/')))
        address.chop(1);
    return address;
}

QString CLoginView::failureMessage()
{
    const QString site = websiteAddress();
    return tr("Your username or password is incorrect. If you have forgotten your username or password, please "
              "click ") +
           QStringLiteral("<a href=\"%0/AccountRetrieval.aspx\">%1</a>").arg(site, tr("here")) +
           tr(". If you don't have a Brelvar account, you can register ") +
           QStringLiteral("<a href=\"%0/register.aspx\">%1</a>").arg(site, tr("here")) + QStringLiteral(".");
}

void CLoginView::connectSession()
{
    // Once for the page's life: pressing the button again must not multiply the reports.
    if (m_sessionConnected)
        return;
    m_sessionConnected = true;
    CUser* user = CUser::instance();
    connect(user, &CUser::onRESTCompleted, this, [this](ERESTService service, const QJsonDocument&) {
        if (service != ERESTService::UserRecord || !m_pending)
            return;
        m_pending = false;
        m_page->setMessage(QString());
    });
    // The session also reports the start-up's silent log-in: only a log-in begun here is this page's.
    connect(user, &CUser::onRESTError, this, [this](ERESTService, const QJsonDocument& error) {
        if (!m_pending)
            return;
        m_pending = false;
        const QString message = error.object().value(QStringLiteral("error")).toString();
        emit userAuthFailed(BV_EXCEPTION(0, 6, message));
    });
}

void CLoginView::onLoginButtonPressed(const QString& username, const QString& password)
{
    if (!CNetworkStatus::instance()->isConnected()) {
        m_page->setMessage(tr("No Internet connection is available. Please check your connection and try again."));
        return;
    }
    emit validatingUser();
    connectSession();
    m_pending = true;
    CUser::instance()->login(username, password);
}
