#pragma once

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <unistd.h>

namespace korvane::testing {

// A firmware file in the temporary folder, removed when the test is done with it.
class TempImage {
  public:
    explicit TempImage(const std::vector<std::uint8_t>& bytes) {
        static int counter = 0;
        path_ =
            std::filesystem::temp_directory_path() / ("korvane-test-" + std::to_string(::getpid()) +
                                                      "-" + std::to_string(counter++) + ".DPX");
        std::ofstream out(path_, std::ios::binary);
        out.write(reinterpret_cast<const char*>(bytes.data()),
                  static_cast<std::streamsize>(bytes.size()));
    }
    ~TempImage() {
        std::error_code ignored;
        std::filesystem::remove(path_, ignored);
    }
    TempImage(const TempImage&) = delete;
    TempImage& operator=(const TempImage&) = delete;

    std::string path() const { return path_.string(); }

  private:
    std::filesystem::path path_;
};

// "AB|CD" style builder: '|' stands for CR LF, '^' for the marker 0x17, '~' for a lone CR.
inline std::vector<std::uint8_t> image(const std::string& text) {
    std::vector<std::uint8_t> bytes;
    for (const char c : text) {
        if (c == '|') {
            bytes.push_back(0x0D);
            bytes.push_back(0x0A);
        } else if (c == '^') {
            bytes.push_back(0x17);
        } else if (c == '~') {
            bytes.push_back(0x0D);
        } else {
            bytes.push_back(static_cast<std::uint8_t>(c));
        }
    }
    return bytes;
}

}  // namespace korvane::testing
