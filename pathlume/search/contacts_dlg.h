// The contacts keyboard screen: the contacts of the device's contact store, by name;
// OK hands the chosen contact's name and home, work and other addresses to the flow.
// The program also uses the class once at start-up, without a window, to make the
// first connection to the store.
#pragma once

#include <string>
#include <vector>

#include "pathlume/search/contact_addresses.h"
#include "pathlume/search/keyboard_entry_dlg.h"
#include "platform/outlook/outlook.h"

class CContactsDlg : public KeyboardEntryDlg {
  public:
    // The name and the addresses may be null when the object only connects.
    CContactsDlg(std::u16string* name, ContactAddresses* addresses, CWnd* parent);
    ~CContactsDlg() override;

    // Connects to the store: the component result. A failure to make the store's
    // object or to log on says so in the "Error" box with the system's text.
    HRESULT ConnectOutlook();
    // With no row shown OK does nothing.
    void OnOK() override;

    // The contact item ids of the rows, row by row.
    const std::vector<LONG>& ItemIds() const { return m_itemIds; }

  protected:
    void FillList() override;
    // The list follows the typed text only while it has rows.
    void OnTextChanged() override;

  private:
    // Copies the contact's name and addresses to the caller's; false when it cannot
    // be fetched.
    bool TakeContact(LONG oid);

    std::vector<LONG> m_itemIds;
    ContactAddresses* m_addresses;
    IPOutlookApp* m_app = nullptr;
    std::u16string* m_name;
    bool m_started = false;
};
