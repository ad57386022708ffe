// The contacts store as the navigation program calls it: the component calls that
// start and end the component library on a thread and make the application object,
// the application with its logon, the contacts folder, its items and each contact's
// item id, name and three postal addresses, and the strings they hand out.
//
// The store is the vCard file "\My Documents\contacts.vcf" of the device root, where
// users copy their exported address book. Logon looks at the file without reading it
// (missing: no contacts; a folder, unreadable or over kMaxContactsFileSize: the logon
// fails with the system error set); the cards are read when the items are first asked
// for, and that snapshot stays for the application object's life. A contact's item
// id is its card's place in the snapshot, counted from 1.
#pragma once

#include "platform/kernel/wintypes.h"

typedef WCHAR* BSTR;
// A copy of the text that SysFreeString frees; null for null.
BSTR SysAllocString(LPCWSTR text);
void SysFreeString(BSTR text);

struct GUID {
    DWORD Data1;
    WORD Data2;
    WORD Data3;
    BYTE Data4[8];
};
typedef GUID CLSID;
typedef GUID IID;
typedef const GUID& REFCLSID;
typedef const GUID& REFIID;
inline bool operator==(const GUID& a, const GUID& b) {
    if (a.Data1 != b.Data1 || a.Data2 != b.Data2 || a.Data3 != b.Data3)
        return false;
    for (int i = 0; i < 8; ++i)
        if (a.Data4[i] != b.Data4[i])
            return false;
    return true;
}

#define COINIT_MULTITHREADED 0x0
#define CLSCTX_INPROC_SERVER 0x1
#define REGDB_E_CLASSNOTREG (static_cast<HRESULT>(0x80040154L))
#define CO_E_CLASSSTRING (static_cast<HRESULT>(0x800401F3L))
#define CO_E_NOTINITIALIZED (static_cast<HRESULT>(0x800401F0L))
#define CLASS_E_NOAGGREGATION (static_cast<HRESULT>(0x80040110L))

// The contacts folder of GetDefaultFolder.
#define olFolderContacts 10

// The largest contacts file the store reads.
inline constexpr DWORD kMaxContactsFileSize = 16u * 1024 * 1024;

struct IUnknown {
    virtual HRESULT QueryInterface(REFIID iid, void** object) = 0;
    virtual ULONG AddRef() = 0;
    virtual ULONG Release() = 0;

  protected:
    virtual ~IUnknown() = default;
};
struct IDispatch : IUnknown {};

struct IContact : IDispatch {
    virtual HRESULT get_Oid(LONG* oid) = 0;
    virtual HRESULT get_FileAs(BSTR* name) = 0;
    virtual HRESULT get_HomeAddressStreet(BSTR* text) = 0;
    virtual HRESULT get_HomeAddressCity(BSTR* text) = 0;
    virtual HRESULT get_HomeAddressState(BSTR* text) = 0;
    virtual HRESULT get_HomeAddressPostalCode(BSTR* text) = 0;
    virtual HRESULT get_HomeAddressCountry(BSTR* text) = 0;
    virtual HRESULT get_BusinessAddressStreet(BSTR* text) = 0;
    virtual HRESULT get_BusinessAddressCity(BSTR* text) = 0;
    virtual HRESULT get_BusinessAddressState(BSTR* text) = 0;
    virtual HRESULT get_BusinessAddressPostalCode(BSTR* text) = 0;
    virtual HRESULT get_BusinessAddressCountry(BSTR* text) = 0;
    virtual HRESULT get_OtherAddressStreet(BSTR* text) = 0;
    virtual HRESULT get_OtherAddressCity(BSTR* text) = 0;
    virtual HRESULT get_OtherAddressState(BSTR* text) = 0;
    virtual HRESULT get_OtherAddressPostalCode(BSTR* text) = 0;
    virtual HRESULT get_OtherAddressCountry(BSTR* text) = 0;
};

struct IPOutlookItemCollection : IDispatch {
    virtual HRESULT get_Count(int* count) = 0;
    // index from 1 to the count.
    virtual HRESULT Item(int index, IDispatch** item) = 0;
};

struct IFolder : IDispatch {
    virtual HRESULT get_Items(IPOutlookItemCollection** items) = 0;
};

struct IPOutlookApp : IDispatch {
    virtual HRESULT Logon(HWND window) = 0;
    virtual HRESULT Logoff() = 0;
    virtual HRESULT GetDefaultFolder(int folder, IFolder** result) = 0;
    virtual HRESULT GetItemFromOid(LONG oid, IDispatch** item) = 0;
};

extern const IID IID_IUnknown;
extern const IID IID_IDispatch;
extern const IID IID_IContact;
extern const IID IID_IPOutlookApp;  // {05058F22-20BE-11D2-8F18-0000F87A4335}

// Starts the component library on the calling thread; S_FALSE when it was started
// already (each start needs its CoUninitialize).
HRESULT CoInitializeEx(LPVOID reserved, DWORD flags);
void CoUninitialize();
// "PocketOutlook.Application" is the contacts store's class; any other name answers
// CO_E_CLASSSTRING.
HRESULT CLSIDFromProgID(LPCWSTR progId, CLSID* clsid);
HRESULT CoCreateInstance(REFCLSID clsid, IUnknown* outer, DWORD context, REFIID iid,
                         LPVOID* object);
