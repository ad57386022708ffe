// The installed map: the sixteen device files in one "Maps" folder, and the names
// they take while a new set replaces them.
//
//   NAME.new   a file of the new set, copied in while the installed set is in use
//   NAME.old   an installed file set aside while the new set is moved in
//   names.bin.swap
//              the new "names.bin" once every file of the new set is in the folder:
//              its presence says the swap is committed and must be finished
//
// A swap: every new file arrives as NAME.new; "names.bin.new" is renamed to
// "names.bin.swap" (the commit); each other NAME is set aside as NAME.old and
// NAME.new moved in; "names.bin" last; then the NAME.old files are deleted. After
// a kill at any moment, RecoverMapSwap finishes a committed swap and undoes one
// that was not, so that the folder holds one whole map, the old or the new.
#pragma once

#include <array>
#include <filesystem>
#include <span>
#include <string>
#include <string_view>

namespace formats::map_set {

inline constexpr int kFileCount = 16;
// In the order the generation makes them; the first is the swap's commit mark.
inline constexpr std::array<const char16_t*, kFileCount> kFileNames = {
    u"names.bin",    u"sttypes.bin",  u"linkinfo.bin", u"az.bin",
    u"lfoidx.bin",   u"azbc.bin",     u"lsr.bin",      u"lsrs.bin",
    u"stnl.bin",     u"mapdata1.biz", u"mapdatat.biz", u"mapdata2.biz",
    u"polygons.biz", u"poi.bin",      u"namdict.bin",  u"strabbr.bin"};

std::u16string StagedName(std::u16string_view name);     // NAME.new
std::u16string BackupName(std::u16string_view name);     // NAME.old
std::u16string CommittedName(std::u16string_view name);  // NAME.swap

// The file operations a swap makes in the map folder, by file name, so that a
// folder reached through a device link serves as well as a local one.
class SwapFolder {
  public:
    virtual ~SwapFolder() = default;
    virtual bool Exists(const std::u16string& name) = 0;
    // Fails when `to` exists.
    virtual bool Rename(const std::u16string& from, const std::u16string& to) = 0;
    // True when no file of that name is left.
    virtual bool Delete(const std::u16string& name) = 0;
};

// A folder of the host's file system.
class HostSwapFolder : public SwapFolder {
  public:
    explicit HostSwapFolder(std::filesystem::path folder) : m_folder(std::move(folder)) {}
    bool Exists(const std::u16string& name) override;
    bool Rename(const std::u16string& from, const std::u16string& to) override;
    bool Delete(const std::u16string& name) override;

  private:
    std::filesystem::path Path(const std::u16string& name) const;
    std::filesystem::path m_folder;
};

// A folder as the platform's file calls name it ("\Storage Card\Zanter
// Wayscribe\Maps", "T:\Zanter Wayscribe\Maps").
class PlatformSwapFolder : public SwapFolder {
  public:
    explicit PlatformSwapFolder(std::u16string folder) : m_folder(std::move(folder)) {}
    bool Exists(const std::u16string& name) override;
    bool Rename(const std::u16string& from, const std::u16string& to) override;
    bool Delete(const std::u16string& name) override;

  private:
    std::u16string Path(const std::u16string& name) const { return m_folder + u"\\" + name; }
    std::u16string m_folder;
};

// Puts the staged files of `names` (each NAME.new, names[0] first among them) in
// place of the installed ones, or finishes a committed swap. True when the new set
// is in place and nothing of the swap is left; false with the name whose operation
// failed in *failedName: a committed swap is then left for RecoverMapSwap to
// finish, one that was not committed leaves the installed set as it was.
bool InstallStagedMap(SwapFolder& folder, std::span<const char16_t* const> names,
                      std::u16string* failedName = nullptr);

// Finishes a committed swap, or deletes the staged and set-aside files of one that
// was not. True when nothing of a swap is left.
bool RecoverMapSwap(SwapFolder& folder, std::span<const char16_t* const> names = kFileNames);

}  // namespace formats::map_set
