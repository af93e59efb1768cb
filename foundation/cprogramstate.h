#pragma once

#include <QObject>

#include <atomic>

// Base of the program's state-holding singletons (the user session, the data cycle): 1 after the last
// web-service call succeeded, 0 after it failed.
class CProgramState : public QObject
{
    Q_OBJECT

public:
    explicit CProgramState(QObject* parent = nullptr)
        : QObject(parent)
    {
    }

    // Starts the object's asynchronous set-up.
    virtual void initialize() = 0;

    void setState(int state) { m_state.store(state); }
    int state() const { return m_state.load(); }

private:
    // Read by command threads without a lock.
    std::atomic<int> m_state{0};
};
