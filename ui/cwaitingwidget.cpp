#include "cwaitingwidget.h"

#include <QEvent>
#include <QLabel>
#include <QMovie>
#include <QPainter>
#include <QVBoxLayout>

CWaitingWidget::CWaitingWidget(QWidget* parent)
    : QWidget(parent)
    , m_animation(new QLabel(this))
    , m_text(new QLabel(this))
    , m_movie(new QMovie(QStringLiteral(":/main/images/waiting.gif"), QByteArray(), this))
{
    setObjectName(QStringLiteral("waitingWidget"));
    m_animation->setObjectName(QStringLiteral("waitingAnimation"));
    m_animation->setMovie(m_movie);
    m_animation->setAlignment(Qt::AlignCenter);
    m_text->setObjectName(QStringLiteral("waitingText"));
    m_text->setAlignment(Qt::AlignCenter);
    m_text->setWordWrap(true);
    m_text->setStyleSheet(QStringLiteral("QLabel { font-size: 14px; color: #333333; }"));
    auto* close = new QLabel(QStringLiteral("<a href='#'>Close</a>"), this);
    close->setObjectName(QStringLiteral("waitingCloseLink"));
    close->setAlignment(Qt::AlignCenter);
    close->setAccessibleName(tr("Close the waiting screen"));
    connect(close, &QLabel::linkActivated, this, &QWidget::hide);

    auto* layout = new QVBoxLayout(this);
    layout->addStretch(1);
    layout->addWidget(m_animation);
    layout->addWidget(m_text);
    layout->addWidget(close);
    layout->addStretch(1);

    parent->installEventFilter(this);
    setGeometry(parent->rect());
    hide();
}

void CWaitingWidget::showMessage(const QString& text)
{
    m_text->setText(text.isEmpty() ? tr("Loading, please stand by...") : text);
    setGeometry(parentWidget()->rect());
    raise();
    show();
}

QString CWaitingWidget::text() const
{
    return m_text->text();
}

bool CWaitingWidget::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == parentWidget() && event->type() == QEvent::Resize)
        setGeometry(parentWidget()->rect());
    return QWidget::eventFilter(watched, event);
}

void CWaitingWidget::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), QColor(255, 255, 255, 220));
}

void CWaitingWidget::showEvent(QShowEvent* event)
{
    m_movie->start();
    QWidget::showEvent(event);
}

void CWaitingWidget::hideEvent(QHideEvent* event)
{
    m_movie->stop();
    QWidget::hideEvent(event);
}
