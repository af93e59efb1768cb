#pragma once

#include <QColor>
#include <QIcon>
#include <QTimer>
#include <QWidget>

// An item's progress ring: the percentage as an arc round an icon of the task's phase (0 backing up,
// 1 restoring, 2 downloading, 3 decompressing, 4 copying). With bit 0x400 of the type the task only waits
// in the queue: the grey icon is shown and the ring spins instead of filling.
class CCircularProgressBar : public QWidget
{
    Q_OBJECT
    Q_PROPERTY(int innerRadius READ innerRadius WRITE setInnerRadius)
    Q_PROPERTY(int outerRadius READ outerRadius WRITE setOuterRadius)
    Q_PROPERTY(QColor backgroundColor READ backgroundColor WRITE setBackgroundColor)
    Q_PROPERTY(QColor foregroundColor READ foregroundColor WRITE setForegroundColor)
    Q_PROPERTY(double actualInnerRadius READ actualInnerRadius)
    Q_PROPERTY(double actualOuterRadius READ actualOuterRadius)

public:
    static constexpr int WaitingBit = 0x400;

    explicit CCircularProgressBar(QWidget* parent = nullptr);

    int innerRadius() const { return m_innerRadius; }
    void setInnerRadius(int radius);
    int outerRadius() const { return m_outerRadius; }
    void setOuterRadius(int radius);
    QColor backgroundColor() const { return m_background; }
    void setBackgroundColor(const QColor& colour);
    QColor foregroundColor() const { return m_foreground; }
    void setForegroundColor(const QColor& colour);
    // The radii scaled to the widget's size.
    double actualInnerRadius() const;
    double actualOuterRadius() const;

    int value() const { return m_value; }
    int iconType() const { return m_type; }
    // The resource of a phase's icon, the grey one while waiting; empty for an unknown phase.
    static QString iconPath(int type);

    QSize sizeHint() const override { return {36, 36}; }

public slots:
    void setValue(int percentage);
    void setIconType(int type);
    void updateSpinner();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    int m_innerRadius = 12;
    int m_outerRadius = 17;
    QColor m_background = QColor(0xd8, 0xdd, 0xe3);
    QColor m_foreground = QColor(0x3a, 0x87, 0xad);
    int m_value = 0;
    int m_type = 0;
    int m_spinnerAngle = 0;
    QIcon m_icon;
    QTimer m_spinner;
};
