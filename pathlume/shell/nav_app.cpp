#include "pathlume/shell/nav_app.h"

CNavApp::CNavApp() : CWinApp(u"pathlume") {}

CNavApp::~CNavApp() = default;

BOOL CNavApp::InitInstance() { return FALSE; }

int CNavApp::ExitInstance() { return CWinApp::ExitInstance(); }
