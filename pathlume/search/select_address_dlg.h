// The "Select Contact Address" screen: the chosen contact's home, work and other
// addresses; Nav, Fav and Origin hand the chosen one to the address geocoder.
#pragma once

#include <string>

#include "pathlume/search/contact_addresses.h"
#include "pathlume/search/list_screen_dlg.h"

class CSelectAddressDlg : public CListScreenDlg {
  public:
    // lines: the rows, each ending in "|"; the contact's name is the destination's
    // caption; regionLabel stands in for a state the address does not give.
    CSelectAddressDlg(CWnd* parent, const std::string& lines, const ContactAddresses& addresses,
                      const std::u16string& name, const std::string& regionLabel);

    // IDOK after Nav, Enter or Fav, 539 after Origin, IDCANCEL when closed (the close
    // key, Escape). Home does not close it.
    BOOL OnInitDialog() override;
    void DoDataExchange(CDataExchange* dx) override;
    void OnOK() override { OnNav(); }

    // What the geocoder is given for the chosen record.
    struct GeocoderTexts {
        std::string street, city, state, country, caption;
    };
    GeocoderTexts TextsFor(int record) const;

  protected:
    void OnPaint();
    void OnKeyUp(UINT key, UINT repeat, UINT flags);
    void OnNav();
    void OnFav();
    void OnOrigin();
    void OnUp();
    void OnDown();
    // Geocodes the chosen address with the modes given, when it has a street and a city.
    void Geocode(BOOL setOrigin, BOOL favouritesOnly);

    std::string m_lines;
    const ContactAddresses& m_addresses;
    std::u16string m_name;
    std::string m_regionLabel;
    CImageButton m_up;
    CImageButton m_down;
    CImageButton m_nav;
    CImageButton m_fav;
    CImageButton m_origin;
    CImageButton m_spare;
    CImageButton m_close;

    DECLARE_MESSAGE_MAP()
};
