#include "platform/outlook/outlook.h"

#include <atomic>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "platform/kernel/files.h"
#include "platform/kernel/text.h"
#include "platform/outlook/vcard.h"

const IID IID_IUnknown = {0x00000000, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
const IID IID_IDispatch = {0x00020400, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
const IID IID_IContact = {0x7F804E40, 0x2010, 0x11D2, {0x8F, 0x18, 0, 0, 0xF8, 0x7A, 0x43, 0x35}};
const IID IID_IPOutlookApp = {
    0x05058F22, 0x20BE, 0x11D2, {0x8F, 0x18, 0x00, 0x00, 0xF8, 0x7A, 0x43, 0x35}};

namespace {

using platform::outlook::AddressKind;
using platform::outlook::Card;

constexpr CLSID kApplicationClass = {
    0x05058F23, 0x20BE, 0x11D2, {0x8F, 0x18, 0x00, 0x00, 0xF8, 0x7A, 0x43, 0x35}};
constexpr char16_t kContactsFile[] = u"\\My Documents\\contacts.vcf";

thread_local int t_started = 0;

using Snapshot = std::shared_ptr<const std::vector<Card>>;

// Reference counting shared by the objects; each deletes itself at 0.
template <class Interface>
class Counted : public Interface {
  public:
    HRESULT QueryInterface(REFIID iid, void** object) override {
        if (!object)
            return E_POINTER;
        *object = nullptr;
        if (!(iid == IID_IUnknown || iid == IID_IDispatch || Implements(iid)))
            return E_NOINTERFACE;
        AddRef();
        *object = this;
        return S_OK;
    }
    ULONG AddRef() override { return ++references_; }
    ULONG Release() override {
        const ULONG left = --references_;
        if (left == 0)
            delete this;
        return left;
    }

  protected:
    virtual bool Implements(REFIID iid) const = 0;

  private:
    std::atomic<ULONG> references_{1};
};

HRESULT Give(const std::u16string& text, BSTR* out) {
    if (!out)
        return E_POINTER;
    *out = SysAllocString(text.c_str());
    return *out ? S_OK : E_OUTOFMEMORY;
}

class Contact final : public Counted<IContact> {
  public:
    Contact(Snapshot snapshot, LONG oid) : snapshot_(std::move(snapshot)), oid_(oid) {}

    HRESULT get_Oid(LONG* oid) override {
        if (!oid)
            return E_POINTER;
        *oid = oid_;
        return S_OK;
    }
    HRESULT get_FileAs(BSTR* name) override { return Give(card().name, name); }
    HRESULT get_HomeAddressStreet(BSTR* t) override {
        return Give(at(AddressKind::kHome).street, t);
    }
    HRESULT get_HomeAddressCity(BSTR* t) override { return Give(at(AddressKind::kHome).city, t); }
    HRESULT get_HomeAddressState(BSTR* t) override { return Give(at(AddressKind::kHome).state, t); }
    HRESULT get_HomeAddressPostalCode(BSTR* t) override {
        return Give(at(AddressKind::kHome).postalCode, t);
    }
    HRESULT get_HomeAddressCountry(BSTR* t) override {
        return Give(at(AddressKind::kHome).country, t);
    }
    HRESULT get_BusinessAddressStreet(BSTR* t) override {
        return Give(at(AddressKind::kWork).street, t);
    }
    HRESULT get_BusinessAddressCity(BSTR* t) override {
        return Give(at(AddressKind::kWork).city, t);
    }
    HRESULT get_BusinessAddressState(BSTR* t) override {
        return Give(at(AddressKind::kWork).state, t);
    }
    HRESULT get_BusinessAddressPostalCode(BSTR* t) override {
        return Give(at(AddressKind::kWork).postalCode, t);
    }
    HRESULT get_BusinessAddressCountry(BSTR* t) override {
        return Give(at(AddressKind::kWork).country, t);
    }
    HRESULT get_OtherAddressStreet(BSTR* t) override {
        return Give(at(AddressKind::kOther).street, t);
    }
    HRESULT get_OtherAddressCity(BSTR* t) override { return Give(at(AddressKind::kOther).city, t); }
    HRESULT get_OtherAddressState(BSTR* t) override {
        return Give(at(AddressKind::kOther).state, t);
    }
    HRESULT get_OtherAddressPostalCode(BSTR* t) override {
        return Give(at(AddressKind::kOther).postalCode, t);
    }
    HRESULT get_OtherAddressCountry(BSTR* t) override {
        return Give(at(AddressKind::kOther).country, t);
    }

  protected:
    bool Implements(REFIID iid) const override { return iid == IID_IContact; }

  private:
    const Card& card() const { return (*snapshot_)[static_cast<size_t>(oid_ - 1)]; }
    const platform::outlook::PostalAddress& at(AddressKind kind) const {
        return card().addresses[static_cast<int>(kind)];
    }

    Snapshot snapshot_;
    LONG oid_;
};

HRESULT MakeContact(const Snapshot& snapshot, LONG oid, IDispatch** item) {
    if (!item)
        return E_POINTER;
    *item = nullptr;
    if (!snapshot || oid < 1 || static_cast<size_t>(oid) > snapshot->size())
        return E_INVALIDARG;
    *item = new Contact(snapshot, oid);
    return S_OK;
}

class Items final : public Counted<IPOutlookItemCollection> {
  public:
    explicit Items(Snapshot snapshot) : snapshot_(std::move(snapshot)) {}
    HRESULT get_Count(int* count) override {
        if (!count)
            return E_POINTER;
        *count = static_cast<int>(snapshot_->size());
        return S_OK;
    }
    HRESULT Item(int index, IDispatch** item) override {
        return MakeContact(snapshot_, index, item);
    }

  protected:
    bool Implements(REFIID) const override { return false; }

  private:
    Snapshot snapshot_;
};

class Folder final : public Counted<IFolder> {
  public:
    explicit Folder(Snapshot snapshot) : snapshot_(std::move(snapshot)) {}
    HRESULT get_Items(IPOutlookItemCollection** items) override {
        if (!items)
            return E_POINTER;
        *items = new Items(snapshot_);
        return S_OK;
    }

  protected:
    bool Implements(REFIID) const override { return false; }

  private:
    Snapshot snapshot_;
};

// Whether the store can be read: S_OK for a readable file or none at all; else the
// system error as a result, with the error set.
HRESULT CheckContactsFile() {
    const DWORD attributes = GetFileAttributesW(kContactsFile);
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        const DWORD error = GetLastError();
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND)
            return S_OK;
        return HRESULT_FROM_WIN32(error);
    }
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
        SetLastError(ERROR_ACCESS_DENIED);
        return HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED);
    }
    HANDLE file = CreateFileW(kContactsFile, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return HRESULT_FROM_WIN32(GetLastError());
    DWORD high = 0;
    const DWORD low = GetFileSize(file, &high);
    CloseHandle(file);
    if (high != 0 || low > kMaxContactsFileSize) {
        SetLastError(ERROR_FILE_TOO_LARGE);
        return HRESULT_FROM_WIN32(ERROR_FILE_TOO_LARGE);
    }
    return S_OK;
}

// The cards of the file; none when it is missing or cannot be read whole.
std::vector<Card> ReadContactsFile() {
    HANDLE file = CreateFileW(kContactsFile, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return {};
    DWORD high = 0;
    const DWORD size = GetFileSize(file, &high);
    std::string text;
    if (high == 0 && size <= kMaxContactsFileSize) {
        text.resize(size);
        DWORD read = 0;
        if (!ReadFile(file, text.data(), size, &read, nullptr) || read != size)
            text.clear();
    }
    CloseHandle(file);
    return platform::outlook::ReadVCards(text);
}

class Application final : public Counted<IPOutlookApp> {
  public:
    HRESULT Logon(HWND) override {
        const HRESULT result = CheckContactsFile();
        loggedOn_ = SUCCEEDED(result);
        return result;
    }
    HRESULT Logoff() override {
        loggedOn_ = false;
        return S_OK;
    }
    HRESULT GetDefaultFolder(int folder, IFolder** result) override {
        if (!result)
            return E_POINTER;
        *result = nullptr;
        if (!loggedOn_)
            return E_FAIL;
        if (folder != olFolderContacts)
            return E_INVALIDARG;
        *result = new Folder(Cards());
        return S_OK;
    }
    HRESULT GetItemFromOid(LONG oid, IDispatch** item) override {
        if (!loggedOn_)
            return E_FAIL;
        return MakeContact(Cards(), oid, item);
    }

  protected:
    bool Implements(REFIID iid) const override { return iid == IID_IPOutlookApp; }

  private:
    Snapshot Cards() {
        if (!snapshot_)
            snapshot_ = std::make_shared<const std::vector<Card>>(ReadContactsFile());
        return snapshot_;
    }

    bool loggedOn_ = false;
    Snapshot snapshot_;
};

}  // namespace

BSTR SysAllocString(LPCWSTR text) {
    if (!text)
        return nullptr;
    const size_t length = std::char_traits<char16_t>::length(text);
    BSTR copy = new (std::nothrow) WCHAR[length + 1];
    if (copy)
        std::memcpy(copy, text, (length + 1) * sizeof(WCHAR));
    return copy;
}

void SysFreeString(BSTR text) {
    delete[] text;
}

HRESULT CoInitializeEx(LPVOID, DWORD) {
    return t_started++ == 0 ? S_OK : S_FALSE;
}

void CoUninitialize() {
    if (t_started > 0)
        --t_started;
}

HRESULT CLSIDFromProgID(LPCWSTR progId, CLSID* clsid) {
    if (!progId || !clsid)
        return E_INVALIDARG;
    if (std::u16string_view(progId) != u"PocketOutlook.Application")
        return CO_E_CLASSSTRING;
    *clsid = kApplicationClass;
    return S_OK;
}

HRESULT CoCreateInstance(REFCLSID clsid, IUnknown* outer, DWORD context, REFIID iid,
                         LPVOID* object) {
    if (!object)
        return E_POINTER;
    *object = nullptr;
    if (t_started == 0)
        return CO_E_NOTINITIALIZED;
    if (outer)
        return CLASS_E_NOAGGREGATION;
    if (!(clsid == kApplicationClass) || !(context & CLSCTX_INPROC_SERVER))
        return REGDB_E_CLASSNOTREG;
    auto* application = new Application();
    const HRESULT result = application->QueryInterface(iid, object);
    application->Release();
    return result;
}
