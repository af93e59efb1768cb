#pragma once

#include "ccontentdisplaybase.h"

// The head of the view chain: asks to save what the view being left would lose, then resets the common
// widgets and hands the request to the first handler.
class CDisplayChain : public CContentDisplayBase
{
    Q_OBJECT

public:
    CDisplayChain(IDisplayHost* window, CContentDisplayBase* first);

    bool handle(int view) override;
    int requestedView() const { return m_requested; }

protected:
    void display() override {}

private:
    bool leaveGuard(int view);

    int m_requested = 0;
};
