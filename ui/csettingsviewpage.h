#pragma once

#include <QWidget>

class CSettingsInnerWidget;
class QPushButton;
class QScrollArea;

// The settings page as the window shows it: the "&Save" bar above the sections, which scroll.
class CSettingsViewPage : public QWidget
{
    Q_OBJECT

public:
    explicit CSettingsViewPage(QWidget* parent = nullptr);

    CSettingsInnerWidget* inner() const { return m_inner; }
    QPushButton* saveButton() const { return m_save; }
    void scrollToTop();

private:
    CSettingsInnerWidget* m_inner;
    QPushButton* m_save;
    QScrollArea* m_scroll;
};
