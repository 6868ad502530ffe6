#include "ScratchDir.h"

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

namespace quillon_test {

namespace fs = std::filesystem;

TScratchDir::TScratchDir(const std::string& stem) {
    std::random_device random;
    const fs::path temp = fs::temp_directory_path();
    // create_directory reports a name already taken, so a clash just draws again.
    for (;;) {
        const fs::path dir = temp / (stem + "-" + std::to_string(random()));
        if (fs::create_directory(dir)) {
            FPath = dir.string();
            return;
        }
    }
}

TScratchDir::~TScratchDir() {
    std::error_code ignored;
    fs::remove_all(FPath, ignored);
}

std::string FileText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

} // namespace quillon_test
