// The class library: application, window and dialog classes over the user and
// drawing stand-ins, and the library's exceptions. The one header to include; the
// parts live in afx_string.h (CString), afx_types.h (CPoint, CSize, CRect,
// CPtrArray), afx_gdi.h (CDC family, GDI objects), afx_wnd.h (message maps, CWnd,
// CFrameWnd), afx_dialog.h (CDialog, data exchange), afx_ctrl.h (controls, image
// list, command bar), afx_sheet.h (property sheets), afx_app.h (CWinThread,
// CWinApp) and afx_file.h (CFile).
#pragma once

#include "platform/kernel/kernel.h"
#include "platform/user/user.h"

// Exceptions are thrown by pointer, as the library does; the catcher ends its
// handling with Delete(), never with delete.
class CException {
  public:
    explicit CException(BOOL autoDelete = TRUE) : m_bAutoDelete(autoDelete) {}
    virtual ~CException() = default;
    CException(const CException&) = delete;
    CException& operator=(const CException&) = delete;

    // Frees an exception that was allocated for its throw; a preallocated one
    // (auto-delete off) stays.
    void Delete();

  protected:
    BOOL m_bAutoDelete;
};

class CMemoryException : public CException {
  public:
    explicit CMemoryException(BOOL autoDelete = TRUE) : CException(autoDelete) {}
};

// Throws the one preallocated CMemoryException: raising it must not need memory.
[[noreturn]] void AfxThrowMemoryException();

#include "platform/afx/afx_app.h"
#include "platform/afx/afx_ctrl.h"
#include "platform/afx/afx_dialog.h"
#include "platform/afx/afx_file.h"
#include "platform/afx/afx_gdi.h"
#include "platform/afx/afx_sheet.h"
#include "platform/afx/afx_string.h"
#include "platform/afx/afx_types.h"
#include "platform/afx/afx_wnd.h"
