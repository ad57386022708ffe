// The class library: application, window and dialog classes over the user and
// drawing stand-ins, and the library's exceptions.
#pragma once

#include "platform/kernel/kernel.h"

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

#include "platform/afx/afx_file.h"
