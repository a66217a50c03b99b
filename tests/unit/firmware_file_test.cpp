#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "image/firmware_file.h"

namespace korvane::image {
namespace {

namespace fs = std::filesystem;

// A fresh folder per test, removed afterwards.
class FirmwareFileTest : public testing::Test {
  protected:
    void SetUp() override {
        std::random_device random;
        for (int attempt = 0; attempt < 100 && dir_.empty(); ++attempt) {
            const fs::path dir =
                fs::temp_directory_path() / ("korvane-file-" + std::to_string(random()));
            if (fs::create_directory(dir)) {
                dir_ = dir;
            }
        }
        ASSERT_FALSE(dir_.empty());
    }
    void TearDown() override {
        std::error_code ec;
        fs::permissions(dir_, fs::perms::owner_all, fs::perm_options::add, ec);
        fs::remove_all(dir_, ec);
    }
    fs::path write(const std::string& name, const std::vector<std::uint8_t>& bytes) {
        const fs::path path = dir_ / name;
        std::ofstream out(path, std::ios::binary);
        out.write(reinterpret_cast<const char*>(bytes.data()),
                  static_cast<std::streamsize>(bytes.size()));
        return path;
    }
    fs::path dir_;
};

TEST_F(FirmwareFileTest, FilesThatCannotBeLoadedSayWhy) {
    const fs::path unreadable = write("locked.DPX", {'A', 0x0D, 0x0A});
    fs::permissions(unreadable, fs::perms::none);
    fs::create_directory(dir_ / "folder.DPX");

    struct Row {
        const char* name;
        fs::path path;
        LoadFailure failure;
        const char* reasonHas;
        bool needsEnforcedPermissions;  // root, and Windows, read it whatever its mode
    };
    const std::vector<Row> rows = {
        {"missing file", dir_ / "missing.DPX", LoadFailure::CannotOpen, "No such file", false},
        {"folder", dir_ / "folder.DPX", LoadFailure::IsDirectory, "folder", false},
        {"no read permission", unreadable, LoadFailure::CannotOpen, "Permission denied", true},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        if (row.needsEnforcedPermissions && std::ifstream(row.path).is_open()) {
            continue;
        }
        const auto result = loadFirmwareFile(row.path);
        EXPECT_FALSE(result.ok());
        EXPECT_EQ(result.failure, row.failure);
        EXPECT_TRUE(result.bytes.empty());
        EXPECT_NE(result.reason.find(row.reasonHas), std::string::npos) << result.reason;
        const auto text = describeLoadFailure(result, row.path);
        EXPECT_NE(text.find(row.path.string()), std::string::npos) << text;
    }
}

// Windows opens a device for these names in any folder; on Windows they are refused unopened.
TEST_F(FirmwareFileTest, WindowsDeviceNamesAreToldFromFileNames) {
    for (const char* name : {"COM10", "COM0", "LPT", "console.DPX", "acon.DPX", "C:\\nul\\a.DPX"}) {
        EXPECT_FALSE(isWindowsDeviceName(name)) << name;
    }
    for (const char* name :
         {"NUL", "con", "AUX", "prn", "COM1", "COM8:", "lpt9", "con.DPX", "NUL .DPX",
          "C:\\w\\aux.dpx", "D:/w/Com3.tar.gz", "C:nul", "\\\\.\\COM10", "//./COM10", "CONOUT$"}) {
        EXPECT_TRUE(isWindowsDeviceName(name)) << name;
        if (fs::path::preferred_separator == L'\\') {
            const auto result = loadFirmwareFile(pathFromUtf8(name));
            EXPECT_EQ(result.failure, LoadFailure::NotRegular) << name;
            EXPECT_EQ(result.reason, "it is a device, not a regular file") << name;
        }
    }
}

// A name in any language is opened by that name, and the messages give it back in UTF-8.
TEST_F(FirmwareFileTest, NamesInAnyLanguageAreOpenedAndToldAsUtf8) {
    struct Row {
        const char* name;
        bool present;
    };
    const std::vector<Row> rows = {
        {"F\xc3\xadrmw\xc3\xa4re-\xe6\x97\xa5\xe6\x9c\xac.DPX", true},
        {"\xd0\xbf\xd1\x80\xd0\xbe\xd1\x88\xd0\xb8\xd0\xb2\xd0\xba\xd0\xb0.DPX", true},
        {"\xce\xb1\xce\xb2\xce\xb3-missing.DPX", false},
    };
    const std::vector<std::uint8_t> bytes = {'A', 0x17, 0x0D, 0x0A};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const std::string utf8Path = utf8Of(dir_) + "/" + row.name;
        if (row.present) {
            std::ofstream(pathFromUtf8(utf8Path), std::ios::binary).write("A\x17\r\n", 4);
        }
        const auto result = loadFirmwareFile(pathFromUtf8(utf8Path));
        EXPECT_EQ(result.ok(), row.present) << result.reason;
        EXPECT_EQ(result.bytes, row.present ? bytes : std::vector<std::uint8_t>{});
        EXPECT_EQ(utf8Of(pathFromUtf8(utf8Path)), utf8Path);
        if (!row.present) {
            EXPECT_NE(describeLoadFailure(result, pathFromUtf8(utf8Path)).find(row.name),
                      std::string::npos);
        }
    }
}

TEST_F(FirmwareFileTest, LoadsEveryByteValueUnchanged) {
    // Every value in both orders, then the bytes a text-mode read would change or stop at.
    std::vector<std::uint8_t> bytes;
    for (int i = 0; i < 256; ++i) {
        bytes.push_back(static_cast<std::uint8_t>(i));
    }
    for (int i = 255; i >= 0; --i) {
        bytes.push_back(static_cast<std::uint8_t>(i));
    }
    for (const std::uint8_t b : {0x0D, 0x0A, 0x1A, 0x00, 0x0D, 0x0D, 0x0A, 0x0A, 0xFF, 0x80}) {
        bytes.push_back(b);
    }
    const auto result = loadFirmwareFile(write("all.DPX", bytes));
    ASSERT_TRUE(result.ok()) << result.reason;
    EXPECT_EQ(result.bytes, bytes);
}

TEST_F(FirmwareFileTest, EmptyFileLoadsAsNoBytes) {
    const auto result = loadFirmwareFile(write("empty.DPX", {}));
    EXPECT_TRUE(result.ok()) << result.reason;
    EXPECT_TRUE(result.bytes.empty());
}

// A sparse file takes no disk space; a loader that checks the size first answers at once,
// one that reads first would need 2 GiB of memory.
TEST_F(FirmwareFileTest, LargerThanTwoGibIsRefusedBeforeReading) {
    for (const std::int64_t size : {kMaxImageSize + 1, std::int64_t{3} << 30}) {
        SCOPED_TRACE(size);
        const fs::path path = dir_ / "huge.DPX";
        std::ofstream(path, std::ios::binary).close();
        std::error_code error;
        fs::resize_file(path, static_cast<std::uintmax_t>(size), error);
        if (error) {
            GTEST_SKIP() << "this file system cannot hold a sparse file of that size";
        }
        const auto result = loadFirmwareFile(path);
        EXPECT_EQ(result.failure, LoadFailure::TooLarge);
        EXPECT_TRUE(result.bytes.empty());
        EXPECT_NE(describeLoadFailure(result, path).find(std::to_string(size)), std::string::npos);
    }
}

}  // namespace
}  // namespace korvane::image
