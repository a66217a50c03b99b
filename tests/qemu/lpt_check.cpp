// Host side of the emulated parallel-port test: makes a test image, and checks what each
// emulated port received against the record bytes of the image.
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "download/messages.h"
#include "image/firmware_file.h"
#include "lpt_records.h"

namespace {

using namespace korvane;

std::vector<std::uint8_t> readFile(const std::string& path, bool& ok) {
    std::ifstream file(path, std::ios::binary);
    ok = static_cast<bool>(file);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

// Records of text and of every byte value but CR, a lone LF, and 0x17 away from the marker
// place; the last record ends with 0x17 and two bytes, then CR LF, then trailing bytes.
std::vector<std::uint8_t> makeImage() {
    std::vector<std::uint8_t> image;
    for (int record = 0; record < 200; ++record) {
        const int length = 3 + (record * 37) % 120;
        for (int i = 0; i < length; ++i) {
            auto byte = static_cast<std::uint8_t>((record * 131 + i * 7) & 0xFF);
            if (byte == 0x0D) {
                byte = 0x0A;  // a lone LF is data
            }
            if (i == 0 && record % 5 == 0 && length > 3) {
                byte = 0x17;  // not three before the CR: data
            }
            if (i == length - 3 && byte == 0x17) {
                byte = 0x18;  // only the last record may end the transfer
            }
            image.push_back(byte);
        }
        image.push_back(0x0D);
        image.push_back(0x0A);
    }
    const std::string last = "S9030000FC\x17XY";
    image.insert(image.end(), last.begin(), last.end());
    const std::string trailer = "\r\nnot sent\r\n";
    image.insert(image.end(), trailer.begin(), trailer.end());
    return image;
}

int makeImageFile(const std::string& path) {
    const auto image = makeImage();
    std::ofstream file(path, std::ios::binary);
    file.write(reinterpret_cast<const char*>(image.data()), static_cast<long>(image.size()));
    if (!file) {
        std::fprintf(stderr, "cannot write %s\n", path.c_str());
        return 1;
    }
    return 0;
}

bool checkOne(const std::string& outdir, const std::string& name,
              const std::vector<std::uint8_t>& expected) {
    bool ok = true;
    bool readable = false;
    const auto received = readFile(outdir + "/" + name + ".bin", readable);
    if (!readable) {
        std::printf("FAIL %s: no %s.bin\n", name.c_str(), name.c_str());
        ok = false;
    } else if (received != expected) {
        std::size_t at = 0;
        while (at < received.size() && at < expected.size() && received[at] == expected[at]) {
            ++at;
        }
        std::printf("FAIL %s: received %zu bytes, expected %zu; first difference at byte %zu\n",
                    name.c_str(), received.size(), expected.size(), at);
        ok = false;
    }

    std::ifstream text(outdir + "/" + name + ".txt");
    std::string message;
    std::string status;
    std::getline(text, message);
    std::getline(text, status);
    if (message != download::messages::kSuccess || status != "0") {
        std::printf("FAIL %s: ended with \"%s\", status %s\n", name.c_str(), message.c_str(),
                    status.empty() ? "(none)" : status.c_str());
        ok = false;
    }
    if (ok) {
        std::printf("ok   %s: %zu bytes, \"%s\"\n", name.c_str(), received.size(), message.c_str());
    }
    return ok;
}

// The port failures the guest provokes: the message must name the port and the fix.
bool checkFaults(const std::string& outdir) {
    const struct {
        const char* name;
        const char* status;
        std::vector<std::string> parts;
    } cases[] = {
        {"fault-no-port",
         "3",
         {"No parallel port found for LPT1 (0x378)", "$KORVANE_LPT1 (not set)", "/dev/parport0",
          "direct port I/O at 0x378 (not permitted"}},
        {"fault-no-ppdev",
         "3",
         {"LPT1", "parport1 is at 0x378 but", "/dev/parport1 is missing", "modprobe ppdev"}},
        {"fault-permission", "3", {"/dev/parport1 (LPT1)", "permission denied", "lp group"}},
        {"fault-held", "3", {"/dev/parport0 (LPT2)", "another program is using the port"}},
    };
    bool ok = true;
    for (const auto& c : cases) {
        std::ifstream text(outdir + "/" + c.name + ".txt");
        std::string message;
        std::string status;
        std::getline(text, message);
        std::getline(text, status);
        bool good = status == c.status;
        for (const auto& part : c.parts) {
            good = good && message.find(part) != std::string::npos;
        }
        std::printf("%s %s: status %s, \"%s\"\n", good ? "ok  " : "FAIL", c.name,
                    status.empty() ? "(none)" : status.c_str(), message.c_str());
        ok = ok && good;
    }
    return ok;
}

int compare(const std::string& imagePath, const std::string& outdir) {
    const auto loaded = image::loadFirmwareFile(imagePath);
    if (!loaded.ok()) {
        std::fprintf(stderr, "%s\n", image::describeLoadFailure(loaded, imagePath).c_str());
        return 1;
    }
    const auto expected = lpt::parallelRecordBytes(loaded.bytes);
    if (!expected) {
        std::fprintf(stderr, "%s breaks the parallel record rules\n", imagePath.c_str());
        return 1;
    }
    bool ok = true;
    for (const char* access : {"ppdev", "direct"}) {
        for (const char* port : {"LPT1", "LPT2"}) {
            ok = checkOne(outdir, std::string(access) + "-" + port, *expected) && ok;
        }
    }
    // With lp registered on both ports: LPT1 free, so shared; LPT2 held, so nothing sent.
    ok = checkOne(outdir, "shared-LPT1", *expected) && ok;
    bool readable = false;
    const auto held = readFile(outdir + "/shared-LPT2.bin", readable);
    std::printf("%s shared-LPT2: %zu bytes reached the held port\n",
                readable && held.empty() ? "ok  " : "FAIL", held.size());
    ok = ok && readable && held.empty();
    ok = checkFaults(outdir) && ok;
    return ok ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string command = argc > 1 ? argv[1] : "";
    if (command == "make-image" && argc == 3) {
        return makeImageFile(argv[2]);
    }
    if (command == "compare" && argc == 4) {
        return compare(argv[2], argv[3]);
    }
    std::fprintf(stderr,
                 "usage: korvane_lpt_check make-image FILE\n"
                 "       korvane_lpt_check compare FILE OUTDIR\n");
    return 2;
}
