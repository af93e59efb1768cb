#pragma once

#include <QObject>

class IDisplayHost;

// One link of the view chain: arranges the window for its own view, or passes the request on.
class CContentDisplayBase : public QObject
{
    Q_OBJECT

public:
    CContentDisplayBase(IDisplayHost* window, CContentDisplayBase* next, int view);

    // Whether the switch went ahead (a handler owned the view).
    virtual bool handle(int view);
    int view() const { return m_view; }

protected:
    // Arranges the window for this handler's view.
    virtual void display() = 0;
    // Shows the stacked page marked with this "displayChain" number.
    void showPage(int page);

    IDisplayHost* m_window;
    CContentDisplayBase* m_next;
    int m_view;
};

// 1: the add-on list.
class CNormalDisplay : public CContentDisplayBase
{
    Q_OBJECT
public:
    CNormalDisplay(IDisplayHost* window, CContentDisplayBase* next);

protected:
    void display() override;
};

// 2: the same page with the mapping tools.
class CMappingDisplay : public CContentDisplayBase
{
    Q_OBJECT
public:
    CMappingDisplay(IDisplayHost* window, CContentDisplayBase* next);

protected:
    void display() override;
};

// 3: the settings page.
class CSettingsDisplay : public CContentDisplayBase
{
    Q_OBJECT
public:
    CSettingsDisplay(IDisplayHost* window, CContentDisplayBase* next);

protected:
    void display() override;
};

// 4: the log-in page.
class CLoginDisplay : public CContentDisplayBase
{
    Q_OBJECT
public:
    CLoginDisplay(IDisplayHost* window, CContentDisplayBase* next);

protected:
    void display() override;
};

// 5: the simulator folders page.
class CSimulatorMappingDisplay : public CContentDisplayBase
{
    Q_OBJECT
public:
    CSimulatorMappingDisplay(IDisplayHost* window, CContentDisplayBase* next);

protected:
    void display() override;
};
