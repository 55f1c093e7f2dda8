// SPDX-License-Identifier: Apache-2.0
#include "cli/inspect.h"

#include <nlohmann/json.hpp>
#include <optional>

#include "cli/flash_args.h"
#include "cli/json_report.h"
#include "engine/tables.h"
#include "platform/text.h"
#include "support/sha256.h"

namespace tarn::cli {

namespace {

// START's nation when none is chosen: the CSC archive's last per-nation member.
int BatchNation(const std::vector<InspectedImage>& images) {
  int nation = 0;
  for (const auto& image : images) {
    for (const auto& member : image.listing.members) {
      if (member.role == MemberRole::NationMember) nation = member.nation;
    }
  }
  return nation;
}

std::string RoleText(const ListedMember& member) {
  switch (member.role) {
    case MemberRole::Partition: return "partition " + platform::Narrow(PartitionName(member.partition));
    case MemberRole::NationMember: return "nation member " + platform::Narrow(NationLongName(member.nation));
    case MemberRole::Stratine: return "Stratine";
    case MemberRole::Firmware: return "firmware";
    case MemberRole::PhoneBinary: return "phone binary";
    case MemberRole::Unknown: break;
  }
  return "unknown: no job can send it";
}

std::string PlatformText(const ImageListing& image) {
  if (!image.platformChecked) return "";
  if (!image.platform.accepted) return ", no known platform";
  if (!image.platform.setsPlatform) return ", platform kept from the last start";
  return ", platform " + std::to_string(image.platform.platform);
}

std::uint64_t Total(const std::vector<InspectedImage>& images, const SendChoice& choice) {
  std::uint64_t total = 0;
  for (const auto& image : images) total += BytesSent(image.listing, choice);
  return total;
}

std::string Bytes(std::uint64_t bytes) { return std::to_string(bytes) + " bytes"; }

void PrintImageText(const InspectedImage& inspected, int nation, std::FILE* out) {
  const ImageListing& image = inspected.listing;
  std::fprintf(out, "%s: %s %s%s, %s\n", Utf8Of(image.path).c_str(), Utf8Of(ImageKindName(image.kind)).c_str(),
               image.kind == IMAGE_MASK_PHONE ? "binary" : "archive", PlatformText(image).c_str(),
               Bytes(image.fileSize).c_str());
  if (!inspected.sha256.empty()) std::fprintf(out, "  sha256 %s\n", inspected.sha256.c_str());
  for (const auto& member : image.members) {
    std::fprintf(out, "  %-24s %12u  %s\n", Utf8Of(member.name).c_str(), member.size, RoleText(member).c_str());
  }
  std::fprintf(out, "  sends %s with Boot Update, %s without\n", Bytes(BytesSent(image, {true, nation})).c_str(),
               Bytes(BytesSent(image, {false, nation})).c_str());
  const BootFormatPlan format = PlanBootFormat(image);
  if (format.formats) {
    std::fprintf(out, "  Boot Format: formats with %s and %s (%s), then sends as Boot Update\n",
                 Utf8Of(format.boot).c_str(), Utf8Of(format.sbl).c_str(), Bytes(format.blockBytes).c_str());
  }
  for (const auto& member : image.members) {
    if (member.role != MemberRole::NationMember) continue;
    std::fprintf(out, "  nation %s: sends %s%s\n", platform::Narrow(NationLongName(member.nation)).c_str(),
                 Utf8Of(member.name).c_str(), member.nation == nation ? " (the archive's nation)" : "");
  }
}

nlohmann::json MemberJson(const ListedMember& member) {
  nlohmann::json json = {{"name", Utf8Of(member.name)}, {"size", member.size}, {"role", RoleText(member)}};
  if (member.role == MemberRole::Partition) json["partition"] = platform::Narrow(PartitionName(member.partition));
  if (member.role == MemberRole::NationMember) json["nation"] = platform::Narrow(NationLongName(member.nation));
  return json;
}

nlohmann::json ImageJson(const InspectedImage& inspected, int nation) {
  const ImageListing& image = inspected.listing;
  nlohmann::json json = {{"path", Utf8Of(image.path)},
                         {"kind", Utf8Of(ImageKindName(image.kind))},
                         {"file_size", image.fileSize},
                         {"sha256", inspected.sha256.empty() ? nlohmann::json() : nlohmann::json(inspected.sha256)},
                         {"members", nlohmann::json::array()},
                         {"refusals", nlohmann::json::array()},
                         {"sends_boot_update", BytesSent(image, {true, nation})},
                         {"sends_without_boot_update", BytesSent(image, {false, nation})}};
  if (image.platformChecked) {
    json["platform"] = image.platform.accepted && image.platform.setsPlatform ? nlohmann::json(image.platform.platform)
                                                                              : nlohmann::json();
  }
  for (const auto& member : image.members) json["members"].push_back(MemberJson(member));
  for (const auto& line : image.refusals) json["refusals"].push_back(Utf8Of(line));
  const BootFormatPlan format = PlanBootFormat(image);
  if (format.formats) {
    json["boot_format"] = {{"boot", Utf8Of(format.boot)}, {"sbl", Utf8Of(format.sbl)}, {"bytes", format.blockBytes}};
  }
  return json;
}

}  // namespace

std::vector<InspectedImage> ListImages(const std::vector<std::string>& files) {
  std::vector<InspectedImage> images;
  for (const auto& file : files) {
    InspectedImage& image = images.emplace_back(InspectedImage{ListImageOfUnknownKind(platform::Widen(file)), {}});
    std::string why;
    const std::optional<std::string> digest = sha256::FileDigest(file, &why);
    if (digest) {
      image.sha256 = *digest;
    } else if (image.listing.refusals.empty()) {  // a missing file is refused already, and says so better
      image.listing.refusals.push_back(std::wstring(L"e - the ") + ImageKindName(image.listing.kind) +
                                       L" image cannot be read: " + platform::Widen(why));
    }
  }
  return images;
}

void PrintInspectText(const std::vector<InspectedImage>& images, std::FILE* out) {
  const int nation = BatchNation(images);
  for (const auto& image : images) PrintImageText(image, nation, out);
  std::fprintf(out, "total: %s with Boot Update, %s without; nation %s\n", Bytes(Total(images, {true, nation})).c_str(),
               Bytes(Total(images, {false, nation})).c_str(), platform::Narrow(NationLongName(nation)).c_str());
}

void PrintInspectJson(const std::vector<InspectedImage>& images, std::FILE* out) {
  const int nation = BatchNation(images);
  nlohmann::json json = {{"images", nlohmann::json::array()},
                         {"nation", platform::Narrow(NationLongName(nation))},
                         {"total_boot_update", Total(images, {true, nation})},
                         {"total_without_boot_update", Total(images, {false, nation})}};
  bool refused = false;
  for (const auto& image : images) {
    json["images"].push_back(ImageJson(image, nation));
    refused = refused || !image.listing.refusals.empty();
  }
  json["refused"] = refused;
  std::fprintf(out, "%s\n", json.dump().c_str());
}

int RunInspect(const std::vector<std::string>& files, bool json, std::FILE* out, std::FILE* err) {
  const std::vector<InspectedImage> images = ListImages(files);
  if (json) {
    PrintInspectJson(images, out);
  } else {
    PrintInspectText(images, out);
  }
  bool refused = false;
  for (const auto& image : images) {
    for (const auto& line : image.listing.refusals) std::fprintf(err, "%s\n", Utf8Of(line).c_str());
    refused = refused || !image.listing.refusals.empty();
  }
  return refused ? kExitRefused : kExitPassed;
}

}  // namespace tarn::cli
