// Stands in for a navigation build in the launcher's tests: it appends its own file
// name and the screen it was given to "launched.txt" in the device root and ends.
#include <cstdlib>
#include <filesystem>
#include <fstream>

int main() {
    const char* root = std::getenv("PATHLUME_DEVICE");
    const char* screen = std::getenv("PATHLUME_SCREEN");
    if (!root)
        return 1;
    std::ofstream out(std::filesystem::path(root) / "launched.txt", std::ios::app);
    out << std::filesystem::read_symlink("/proc/self/exe").filename().string() << " "
        << (screen ? screen : "-") << "\n";
    return out ? 0 : 1;
}
