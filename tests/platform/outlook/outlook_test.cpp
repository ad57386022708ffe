// The contacts store over the device root's vCard file: logon, the items in file
// order with their item ids, a contact found again by its id, and the files that
// fail the logon.
#include "platform/outlook/outlook.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "platform/kernel/files.h"
#include "platform/kernel/text.h"
#include "tests/support/temp_root.h"
#include "tests/support/test_files.h"

namespace {

constexpr char16_t kStore[] = u"\\My Documents\\contacts.vcf";

class ContactsStoreTest : public testing_support::RootsTest {
  protected:
    void SetUp() override { ASSERT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK); }
    void TearDown() override {
        if (app_) {
            app_->Logoff();
            app_->Release();
        }
        CoUninitialize();
    }

    HRESULT Connect() {
        CLSID clsid;
        EXPECT_EQ(CLSIDFromProgID(u"PocketOutlook.Application", &clsid), S_OK);
        EXPECT_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IPOutlookApp,
                                   reinterpret_cast<void**>(&app_)),
                  S_OK);
        return app_ ? app_->Logon(nullptr) : E_FAIL;
    }

    // The names of the items in order, with their item ids.
    std::vector<std::pair<LONG, std::string>> Items() {
        std::vector<std::pair<LONG, std::string>> items;
        IFolder* folder = nullptr;
        EXPECT_EQ(app_->GetDefaultFolder(olFolderContacts, &folder), S_OK);
        IPOutlookItemCollection* collection = nullptr;
        EXPECT_EQ(folder->get_Items(&collection), S_OK);
        int count = 0;
        collection->get_Count(&count);
        for (int i = 1; i <= count; ++i) {
            IDispatch* item = nullptr;
            EXPECT_EQ(collection->Item(i, &item), S_OK);
            IContact* contact = nullptr;
            EXPECT_EQ(item->QueryInterface(IID_IContact, reinterpret_cast<void**>(&contact)), S_OK);
            LONG oid = 0;
            contact->get_Oid(&oid);
            BSTR name = nullptr;
            contact->get_FileAs(&name);
            items.emplace_back(oid, platform::WideToUtf8(name));
            SysFreeString(name);
            contact->Release();
            item->Release();
        }
        IDispatch* beyond = nullptr;
        EXPECT_FAILED_(collection->Item(count + 1, &beyond));
        collection->Release();
        folder->Release();
        return items;
    }
    static void EXPECT_FAILED_(HRESULT result) { EXPECT_TRUE(FAILED(result)); }

    IPOutlookApp* app_ = nullptr;
};

TEST_F(ContactsStoreTest, WithoutAFileTheStoreIsEmpty) {
    EXPECT_EQ(Connect(), S_OK);
    EXPECT_TRUE(Items().empty());
}

TEST_F(ContactsStoreTest, ItemsComeInFileOrderAndAnIdLeadsBackToItsContact) {
    ASSERT_TRUE(testing_support::WriteTestFile(
        kStore,
        "BEGIN:VCARD\nFN:Anna\nEND:VCARD\n"
        "BEGIN:VCARD\nADR;TYPE=work:;;Carrer 1;Ordino;;AD300;\nEND:VCARD\n"
        "BEGIN:VCARD\nFN:Jos\xC3\xA9\nADR;TYPE=home:;;Pla\xC3\xA7"
        "a 2;Encamp;;;\nEND:VCARD\n"));
    ASSERT_EQ(Connect(), S_OK);
    const auto items = Items();
    ASSERT_EQ(items.size(), 3u);
    EXPECT_EQ(items[0], std::make_pair(LONG{1}, std::string("Anna")));
    EXPECT_EQ(items[1], std::make_pair(LONG{2}, std::string()));
    EXPECT_EQ(items[2], std::make_pair(LONG{3}, std::string("Jos\xC3\xA9")));

    IDispatch* item = nullptr;
    ASSERT_EQ(app_->GetItemFromOid(3, &item), S_OK);
    IContact* contact = nullptr;
    ASSERT_EQ(item->QueryInterface(IID_IContact, reinterpret_cast<void**>(&contact)), S_OK);
    BSTR street = nullptr;
    BSTR business = nullptr;
    contact->get_HomeAddressStreet(&street);
    contact->get_BusinessAddressStreet(&business);
    EXPECT_EQ(platform::WideToUtf8(street),
              "Pla\xC3\xA7"
              "a 2");
    EXPECT_EQ(platform::WideToUtf8(business), "");
    SysFreeString(street);
    SysFreeString(business);
    contact->Release();
    item->Release();
    EXPECT_TRUE(FAILED(app_->GetItemFromOid(0, &item)));
    EXPECT_TRUE(FAILED(app_->GetItemFromOid(4, &item)));
}

TEST_F(ContactsStoreTest, AFolderOrAnOversizedFileFailsTheLogonWithTheSystemError) {
    std::filesystem::path host = roots_.device() / "My Documents" / "contacts.vcf";
    std::filesystem::create_directories(host);
    SetLastError(0);
    EXPECT_EQ(Connect(), HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    IFolder* folder = nullptr;
    EXPECT_TRUE(FAILED(app_->GetDefaultFolder(olFolderContacts, &folder)));

    std::filesystem::remove(host);
    std::ofstream(host).close();
    std::filesystem::resize_file(host, kMaxContactsFileSize + 1);
    EXPECT_EQ(app_->Logon(nullptr), HRESULT_FROM_WIN32(ERROR_FILE_TOO_LARGE));
    LPWSTR text = nullptr;
    ASSERT_GT(FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_ALLOCATE_BUFFER, nullptr,
                             GetLastError(), MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT),
                             reinterpret_cast<LPWSTR>(&text), 0, nullptr),
              0u);
    EXPECT_NE(platform::WideToUtf8(text).find("exceeds the limit"), std::string::npos);
    LocalFree(text);
}

TEST(ContactsStoreCallsTest, TheClassIsKnownByItsNameAndNeedsTheLibraryStarted) {
    CLSID clsid;
    EXPECT_EQ(CLSIDFromProgID(u"Other.Application", &clsid), CO_E_CLASSSTRING);
    ASSERT_EQ(CLSIDFromProgID(u"PocketOutlook.Application", &clsid), S_OK);
    void* object = nullptr;
    EXPECT_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IPOutlookApp, &object),
              CO_E_NOTINITIALIZED);
    EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
    EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_FALSE);
    EXPECT_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IContact, &object),
              E_NOINTERFACE);
    EXPECT_EQ(object, nullptr);
    CoUninitialize();
    CoUninitialize();
}

}  // namespace
