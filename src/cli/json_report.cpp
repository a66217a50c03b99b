#include "cli/json_report.h"

#include <cmath>
#include <cstdio>

#include "cli/printable.h"
#include "cli/sha256.h"
#include "image/record_walk.h"
#include "korvane/version.h"

namespace korvane::cli {
namespace {

Json transferJson(std::span<const std::uint8_t> bytes, image::Transfer transfer) {
    const auto walk = image::summarizeWalk(bytes, transfer);
    Json object = Json::object();
    object["records"] = static_cast<std::int64_t>(walk.records);
    object["empty_records"] = static_cast<std::int64_t>(walk.emptyRecords);
    object["bytes_sent"] = static_cast<std::int64_t>(walk.bytesSent);
    object["stops_at"] = static_cast<std::int64_t>(walk.stopPosition);
    object["verdict"] = walk.ok() ? "ok" : "breaks a rule";
    object["error"] =
        walk.error ? jsonText(image::describeWalkError(*walk.error, transfer)) : Json();
    return object;
}

std::string hexDigest(std::span<const std::uint8_t> bytes) {
    std::string hex;
    for (const auto byte : sha256(bytes)) {
        char digits[3];
        std::snprintf(digits, sizeof digits, "%02x", static_cast<unsigned>(byte));
        hex += digits;
    }
    return hex;
}

}  // namespace

Json jsonText(const std::string& text) {
    return utf8Escaped(text);
}

Json jsonHex(const std::string& name) {
    if (validUtf8(name)) {
        return Json();
    }
    std::string hex;
    for (const char c : name) {
        char digits[3];
        std::snprintf(digits, sizeof digits, "%02x",
                      static_cast<unsigned>(static_cast<unsigned char>(c)));
        hex += digits;
    }
    return hex;
}

Json jsonSeconds(double seconds) {
    double whole = 0;
    if (std::modf(seconds, &whole) == 0.0 && std::abs(whole) < 9.0e15) {
        return static_cast<std::int64_t>(whole);
    }
    return seconds;
}

Json reportHeader(const char* command) {
    Json object = Json::object();
    object["tool"] = "korvane-cli";
    object["version"] = korvane::kVersion;
    object["command"] = command;
    return object;
}

Json imageJson(const std::filesystem::path& path,
               const std::optional<std::span<const std::uint8_t>>& bytes,
               const std::string& loadError) {
    Json object = Json::object();
    object["path"] = jsonText(path.string());
    object["path_hex"] = jsonHex(path.string());
    if (!bytes) {
        object["size"] = Json();
        object["sha256"] = Json();
        object["error"] = jsonText(loadError);
        object["transfers"] = Json();
        return object;
    }
    object["size"] = static_cast<std::int64_t>(bytes->size());
    object["sha256"] = hexDigest(*bytes);
    object["error"] = Json();
    Json transfers = Json::object();
    transfers["serial"] = transferJson(*bytes, image::Transfer::Serial);
    transfers["parallel"] = transferJson(*bytes, image::Transfer::Parallel);
    object["transfers"] = transfers;
    return object;
}

std::string jsonLine(const Json& object) {
    return object.dump(-1, ' ', false, Json::error_handler_t::replace);
}

}  // namespace korvane::cli
