#include "pathlume/search/contacts_dlg.h"

#include "pathlume/foundation/registry_helpers.h"
#include "platform/kernel/memory.h"
#include "platform/kernel/msgbox.h"
#include "platform/kernel/text.h"

namespace {

KeyboardSetup ContactsSetup() {
    KeyboardSetup setup;
    setup.titleId = 6202;
    setup.firstScrollStepMs = 1000;
    setup.debounce = false;
    setup.takesKeys = false;
    setup.homeCancels = false;
    return setup;
}

// Shows the system's text for the thread's last error in the "Error" box.
void ShowLastError(HWND owner) {
    LPWSTR text = nullptr;
    FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, GetLastError(), MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT),
        reinterpret_cast<LPWSTR>(&text), 0, nullptr);
    MessageBoxW(owner, text ? text : u"", u"Error", MB_OK | MB_ICONINFORMATION);
    if (text)
        LocalFree(text);
}

// A text property of a contact, freed after copying.
template <class Getter>
std::u16string Property(IContact* contact, Getter getter) {
    BSTR text = nullptr;
    std::u16string copy;
    if (SUCCEEDED((contact->*getter)(&text)) && text)
        copy = text;
    SysFreeString(text);
    return copy;
}

IContact* ContactOf(IDispatch* item) {
    IContact* contact = nullptr;
    if (item)
        item->QueryInterface(IID_IContact, reinterpret_cast<void**>(&contact));
    return contact;
}

}  // namespace

CContactsDlg::CContactsDlg(std::u16string* name, ContactAddresses* addresses, CWnd* parent)
    : KeyboardEntryDlg(parent, ContactsSetup()), m_addresses(addresses), m_name(name) {}

CContactsDlg::~CContactsDlg() {
    if (m_app) {
        m_app->Logoff();
        m_app->Release();
    }
    if (m_started)
        CoUninitialize();
}

HRESULT CContactsDlg::ConnectOutlook() {
    if (!m_started) {
        CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        m_started = true;
    }
    CLSID clsid;
    HRESULT result = CLSIDFromProgID(u"PocketOutlook.Application", &clsid);
    if (FAILED(result))
        return result;
    if (!m_app) {
        result = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IPOutlookApp,
                                  reinterpret_cast<void**>(&m_app));
        if (FAILED(result)) {
            ShowLastError(m_hWnd);
            return result;
        }
    }
    result = m_app->Logon(m_hWnd);
    // Decided: a logon that fails says why too, as a failed start of the store does:
    // a contacts file that cannot be read must not look like an empty address book.
    if (FAILED(result))
        ShowLastError(m_hWnd);
    return result;
}

void CContactsDlg::FillList() {
    if (FAILED(ConnectOutlook()))
        return;
    IFolder* folder = nullptr;
    IPOutlookItemCollection* items = nullptr;
    int count = 0;
    if (FAILED(m_app->GetDefaultFolder(olFolderContacts, &folder)) || !folder ||
        FAILED(folder->get_Items(&items)) || !items || FAILED(items->get_Count(&count))) {
        if (items)
            items->Release();
        if (folder)
            folder->Release();
        return;
    }
    m_itemIds.reserve(static_cast<size_t>(count));
    for (int i = 1; i <= count; ++i) {
        IDispatch* item = nullptr;
        if (FAILED(items->Item(i, &item)) || !item)
            break;
        if (IContact* contact = ContactOf(item)) {
            LONG oid = 0;
            contact->get_Oid(&oid);
            std::u16string name = Property(contact, &IContact::get_FileAs);
            if (!name.empty()) {
                CharUpperW(name.data());
                m_list->AddStringW(name.c_str());
                // Row k and item id k always belong to the same contact.
                m_itemIds.resize(static_cast<size_t>(m_list->GetCount()));
                m_itemIds.back() = oid;
            }
            contact->Release();
        }
        item->Release();
    }
    items->Release();
    folder->Release();
}

void CContactsDlg::OnTextChanged() {
    if (m_list && m_list->GetCount() > 0) {
        KeyboardEntryDlg::OnTextChanged();
    } else if (m_list) {
        m_list->selection = 0;
    }
}

bool CContactsDlg::TakeContact(LONG oid) {
    IDispatch* item = nullptr;
    if (!m_app || FAILED(m_app->GetItemFromOid(oid, &item)) || !item)
        return false;
    IContact* contact = ContactOf(item);
    item->Release();
    if (!contact)
        return false;
    if (m_name)
        *m_name = Property(contact, &IContact::get_FileAs);
    if (m_addresses) {
        using Getter = HRESULT (IContact::*)(BSTR*);
        const Getter fields[kContactAddressCount][5] = {
            {&IContact::get_HomeAddressStreet, &IContact::get_HomeAddressCity,
             &IContact::get_HomeAddressState, &IContact::get_HomeAddressPostalCode,
             &IContact::get_HomeAddressCountry},
            {&IContact::get_BusinessAddressStreet, &IContact::get_BusinessAddressCity,
             &IContact::get_BusinessAddressState, &IContact::get_BusinessAddressPostalCode,
             &IContact::get_BusinessAddressCountry},
            {&IContact::get_OtherAddressStreet, &IContact::get_OtherAddressCity,
             &IContact::get_OtherAddressState, &IContact::get_OtherAddressPostalCode,
             &IContact::get_OtherAddressCountry}};
        for (int i = 0; i < kContactAddressCount; ++i) {
            ContactAddress& a = (*m_addresses)[i];
            a.street = Property(contact, fields[i][0]);
            a.city = Property(contact, fields[i][1]);
            a.state = Property(contact, fields[i][2]);
            a.postalCode = Property(contact, fields[i][3]);
            a.country = Property(contact, fields[i][4]);
            a.kind = ContactAddressKind(a, i);
        }
    }
    contact->Release();
    return true;
}

void CContactsDlg::OnOK() {
    if (!m_list || m_list->GetCount() == 0 || !SelectedRow())
        return;
    const size_t row = static_cast<size_t>(m_list->selection);
    if (row >= m_itemIds.size() || !TakeContact(m_itemIds[row])) {
        if (m_addresses) {
            for (ContactAddress& a : *m_addresses)
                a.kind = kUnusableAddress;
        }
    }
    EndDialog(IDOK);
}
