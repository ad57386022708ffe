// devroot ROOT card NAME
// devroot ROOT set KEY VALUE dword:N|sz:TEXT|float:X
// devroot ROOT get KEY VALUE [dword|float]
// devroot ROOT settle
// devroot ROOT close
// Sets up a device root for scripts and tests.
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "tools/command_line.h"
#include "tools/devroot/devroot.h"

namespace {

const char kUsage[] =
    "usage: devroot ROOT card NAME\n"
    "       devroot ROOT set KEY VALUE dword:N|sz:TEXT|float:X\n"
    "       devroot ROOT get KEY VALUE [dword|float]\n"
    "       devroot ROOT settle\n"
    "       devroot ROOT close\n"
    "  ROOT   an existing device root folder\n"
    "  card   makes ROOT/NAME a storage card\n"
    "  set    writes a registry value; KEY begins HKCU\\ or HKLM\\; float: keeps the\n"
    "         number's 32-bit pattern in a DWORD, as \"LastLat\" is stored\n"
    "  get    prints the value alone: a DWORD in decimal, or as the float it holds with\n"
    "         float (the default for LastLat, LastLon and LastHead); exit 1 when it is\n"
    "         missing\n"
    "  close  asks the navigation program running on ROOT to close, as its power\n"
    "         button does; exit 1 when none runs\n"
    "  settle finishes or undoes a replacement of ROOT that a killed make-device left\n"
    "         (ROOT may be missing then) and removes what such runs left beside it\n";

}  // namespace

int main(int argc, char** argv) {
    tools::CommandLine command("devroot", kUsage);
    std::string root;
    std::string verb;
    std::vector<std::string> words;
    command.app.add_option("ROOT", root);
    command.app.add_option("VERB", verb);
    command.app.add_option("ARGS", words);
    if (const std::optional<int> status = command.Parse(argc, argv))
        return *status;
    if (root.empty() || verb.empty())
        return command.Fail("give ROOT and an operation");
    HKEY predefined = nullptr;
    std::u16string subKey;
    if (verb == "card") {
        if (words.size() != 1 || words[0].empty())
            return command.Fail("card needs NAME");
        return devroot::MakeCard(root, words[0], std::cout, std::cerr);
    }
    if (verb == "set") {
        if (words.size() != 3)
            return command.Fail("set needs KEY VALUE TYPE:DATA");
        if (!devroot::SplitKey(words[0], &predefined, &subKey))
            return command.Fail("KEY must begin HKCU\\ or HKLM\\: " + words[0]);
        std::string error;
        std::optional<devroot::TypedValue> typed = devroot::ParseTypedValue(words[2], &error);
        if (!typed)
            return command.Fail(error);
        return devroot::SetValue(root, words[0], words[1], *typed, std::cout, std::cerr);
    }
    if (verb == "settle") {
        if (!words.empty())
            return command.Fail("settle takes nothing more");
        return devroot::Settle(root, std::cout);
    }
    if (verb == "get") {
        if (words.size() != 2 && words.size() != 3)
            return command.Fail("get needs KEY VALUE and maybe dword or float");
        if (!devroot::SplitKey(words[0], &predefined, &subKey))
            return command.Fail("KEY must begin HKCU\\ or HKLM\\: " + words[0]);
        std::optional<bool> asFloat;
        if (words.size() == 3) {
            if (words[2] != "dword" && words[2] != "float")
                return command.Fail("get prints a DWORD as dword or float, not " + words[2]);
            asFloat = words[2] == "float";
        }
        return devroot::GetValue(root, words[0], words[1], asFloat, std::cout, std::cerr);
    }
    if (verb == "close") {
        if (!words.empty())
            return command.Fail("close takes nothing more");
        return devroot::CloseProgram(root, std::cout, std::cerr);
    }
    return command.Fail("unknown operation \"" + verb + "\" (card, set, get, settle or close)");
}
