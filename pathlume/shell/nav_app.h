// The navigation program's application object: start-up, settings and the About box.
#pragma once

#include "platform/afx/afx_app.h"

class CNavApp : public CWinApp {
  public:
    CNavApp();
    ~CNavApp() override;

    BOOL InitInstance() override;
    int ExitInstance() override;
};
