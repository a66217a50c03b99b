#include "cli/json_report.h"

#include <cmath>
#include <cstdio>
#include <nlohmann/json.hpp>

#include "cli/printable.h"
#include "cli/sha256.h"
#include "image/firmware_file.h"
#include "image/record_walk.h"
#include "korvane/version.h"

namespace korvane::cli {
namespace {

// The one file that builds JSON: nlohmann's header is heavy to compile.
using Json = nlohmann::json;

Json jsonText(const std::string& text);

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
    object["path"] = jsonText(image::utf8Of(path));
    object["path_hex"] = jsonHex(image::utf8Of(path));
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

Json imageOf(const ImageFacts& image) {
    return imageJson(image.path, image.bytes, image.loadError);
}

}  // namespace

std::string checkJsonLine(const ImageFacts& image, const CheckFacts& check) {
    Json object = reportHeader("check");
    object["image"] = imageOf(image);
    object["same_bytes"] = check.sameBytes ? Json(*check.sameBytes) : Json();
    object["same_stop"] = check.sameStop ? Json(*check.sameStop) : Json();
    object["verdict"] = check.verdict;
    object["reasons"] = check.reasons;
    object["exit_status"] = check.exitStatus;
    return jsonLine(object);
}

std::string sendJsonLine(const ImageFacts& image, const PortResult& result, const std::string& baud,
                         const std::string& device) {
    Json object = reportHeader("send");
    object["image"] = imageOf(image);
    object["port"] = jsonText(result.choice.port);
    object["port_hex"] = jsonHex(result.choice.port);
    object["port_type"] = result.choice.serial ? "serial" : "parallel";
    object["device"] = jsonText(device);
    object["label"] = jsonText(result.label);
    object["baud"] = result.choice.serial ? Json(std::stoi(baud)) : Json();
    object["started"] = jsonText(result.started);
    object["ended"] = jsonText(result.ended);
    object["duration_s"] = jsonSeconds(result.seconds);
    object["bytes_sent"] = result.bytesSent;
    object["bytes_acknowledged"] = result.position;
    object["outcome"] = outcomeName(result);
    object["exit_status"] = result.status;
    object["message"] = jsonText(result.message);
    object["detail"] = result.detail.empty() ? Json() : jsonText(result.detail);
    return jsonLine(object);
}

}  // namespace korvane::cli
