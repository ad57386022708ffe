#include "platform/afx/afx.h"

#include <new>

void CException::Delete() {
    if (m_bAutoDelete) {
        delete this;
    }
}

void AfxThrowMemoryException() {
    // Built in static storage, so that raising it needs no memory, and never
    // destroyed, so that a thread still unwinding with it at exit is safe.
    alignas(CMemoryException) static unsigned char s_storage[sizeof(CMemoryException)];
    static CMemoryException* const s_memoryException = new (s_storage) CMemoryException(FALSE);
    throw s_memoryException;
}
