#include "ccircularprogressbar.h"

#include <QPainter>
#include <QPainterPath>

#include <algorithm>

CCircularProgressBar::CCircularProgressBar(QWidget* parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("circularProgressBar"));
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    m_spinner.setInterval(60);
    connect(&m_spinner, &QTimer::timeout, this, &CCircularProgressBar::updateSpinner);
    setIconType(0);
}

void CCircularProgressBar::setInnerRadius(int radius)
{
    m_innerRadius = radius;
    update();
}

void CCircularProgressBar::setOuterRadius(int radius)
{
    m_outerRadius = radius;
    update();
}

void CCircularProgressBar::setBackgroundColor(const QColor& colour)
{
    m_background = colour;
    update();
}

void CCircularProgressBar::setForegroundColor(const QColor& colour)
{
    m_foreground = colour;
    update();
}

double CCircularProgressBar::actualOuterRadius() const
{
    const double scale = std::min(width(), height()) / (2.0 * std::max(1, m_outerRadius));
    return m_outerRadius * scale;
}

double CCircularProgressBar::actualInnerRadius() const
{
    const double scale = std::min(width(), height()) / (2.0 * std::max(1, m_outerRadius));
    return m_innerRadius * scale;
}

QString CCircularProgressBar::iconPath(int type)
{
    static const char* const names[] = {"backuping", "restoring", "downloading", "decompressing", "copying"};
    const int phase = type & ~WaitingBit;
    if (phase < 0 || phase > 4)
        return QString();
    return QStringLiteral(":/circularprogressbar/images/circularprogressbar/%0%1.png")
        .arg((type & WaitingBit) ? QStringLiteral("g_") : QString(), QLatin1String(names[phase]));
}

void CCircularProgressBar::setValue(int percentage)
{
    m_value = std::clamp(percentage, 0, 100);
    update();
}

void CCircularProgressBar::setIconType(int type)
{
    m_type = type;
    const QString path = iconPath(type);
    m_icon = path.isEmpty() ? QIcon() : QIcon(path);
    // A waiting task has no percentage yet: the ring turns instead.
    if (type & WaitingBit)
        m_spinner.start();
    else
        m_spinner.stop();
    update();
}

void CCircularProgressBar::updateSpinner()
{
    m_spinnerAngle = (m_spinnerAngle + 30) % 360;
    update();
}

void CCircularProgressBar::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QPointF centre = QRectF(rect()).center();
    const double outer = actualOuterRadius() - 1;
    const double inner = actualInnerRadius();
    const double thickness = std::max(2.0, outer - inner);
    const double middle = outer - thickness / 2;
    const QRectF arcRect(centre.x() - middle, centre.y() - middle, 2 * middle, 2 * middle);

    painter.setPen(QPen(m_background, thickness, Qt::SolidLine, Qt::FlatCap));
    painter.drawEllipse(arcRect);
    painter.setPen(QPen(m_foreground, thickness, Qt::SolidLine, Qt::RoundCap));
    if (m_type & WaitingBit)
        painter.drawArc(arcRect, (90 - m_spinnerAngle) * 16, -60 * 16);
    else if (m_value > 0)
        painter.drawArc(arcRect, 90 * 16, -m_value * 360 * 16 / 100);

    if (!m_icon.isNull()) {
        const int side = static_cast<int>(inner * 1.3);
        const QRect iconRect(static_cast<int>(centre.x()) - side / 2, static_cast<int>(centre.y()) - side / 2, side,
                             side);
        m_icon.paint(&painter, iconRect);
    }
}
