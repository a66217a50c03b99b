#include "cli/json_report.h"

#include <QByteArray>
#include <QCryptographicHash>
#include <QJsonDocument>
#include <QString>

#include "image/record_walk.h"
#include "korvane/version.h"

namespace korvane::cli {
namespace {

QJsonObject transferJson(std::span<const std::uint8_t> bytes, image::Transfer transfer) {
    const auto walk = image::summarizeWalk(bytes, transfer);
    QJsonObject object;
    object["records"] = static_cast<qint64>(walk.records);
    object["empty_records"] = static_cast<qint64>(walk.emptyRecords);
    object["bytes_sent"] = static_cast<qint64>(walk.bytesSent);
    object["stops_at"] = static_cast<qint64>(walk.stopPosition);
    object["verdict"] = walk.ok() ? "ok" : "breaks a rule";
    object["error"] =
        walk.error ? jsonText(image::describeWalkError(*walk.error, transfer)) : QJsonValue();
    return object;
}

}  // namespace

QJsonValue jsonText(const std::string& text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QJsonObject reportHeader(const char* command) {
    QJsonObject object;
    object["tool"] = "korvane-cli";
    object["version"] = korvane::kVersion;
    object["command"] = command;
    return object;
}

QJsonObject imageJson(const std::filesystem::path& path,
                      const std::optional<std::span<const std::uint8_t>>& bytes,
                      const std::string& loadError) {
    QJsonObject object;
    object["path"] = jsonText(path.string());
    if (!bytes) {
        object["size"] = QJsonValue();
        object["sha256"] = QJsonValue();
        object["error"] = jsonText(loadError);
        object["transfers"] = QJsonValue();
        return object;
    }
    object["size"] = static_cast<qint64>(bytes->size());
    const QByteArray data(reinterpret_cast<const char*>(bytes->data()),
                          static_cast<qsizetype>(bytes->size()));
    object["sha256"] =
        QString::fromLatin1(QCryptographicHash::hash(data, QCryptographicHash::Sha256).toHex());
    object["error"] = QJsonValue();
    QJsonObject transfers;
    transfers["serial"] = transferJson(*bytes, image::Transfer::Serial);
    transfers["parallel"] = transferJson(*bytes, image::Transfer::Parallel);
    object["transfers"] = transfers;
    return object;
}

std::string jsonLine(const QJsonObject& object) {
    return QJsonDocument(object).toJson(QJsonDocument::Compact).toStdString();
}

}  // namespace korvane::cli
