#include "catalogue/Protocols.h"

#include <algorithm>
#include <array>

#include "catalogue/albumservice/AlbumServiceProtocol.h"
#include "catalogue/webapi/WebProtocol.h"
#include "runtime/CodePage.h"

namespace ovx {
namespace {

const std::array<ProtocolRow, 2> kProtocols{{
    {
        "album",
        "相册版",
        "相册版",
        2,
        true,
        [](const Text&, const Text& page) { return AlbumServiceProtocol::HasMarkers(page); },
        [](const Text&, const ServiceSettings& settings,
           SessionContext session) -> std::unique_ptr<Protocol> {
            return std::make_unique<AlbumServiceProtocol>(settings, session);
        },
        &AlbumServiceProtocol::RecordsLayout,
    },
    {
        "web",
        "网页版",
        "网页版",
        1,
        false,
        [](const Text& address, const Text&) { return !WebProtocol::SiteOrigin(address).empty(); },
        [](const Text& address, const ServiceSettings& settings,
           SessionContext session) -> std::unique_ptr<Protocol> {
            return std::make_unique<WebProtocol>(WebProtocol::SiteOrigin(address), settings,
                                                 session);
        },
        &WebProtocol::RecordsLayout,
    },
}};

}  // namespace

std::span<const ProtocolRow> ProtocolTable() {
    return kProtocols;
}

const ProtocolRow* ProtocolForSetting(const Text& settingValue) {
    for (const ProtocolRow& row : kProtocols) {
        if (settingValue == Utf8ToLocal(row.settingValue)) return &row;
    }
    return nullptr;
}

const ProtocolRow* ProtocolForId(std::string_view id) {
    for (const ProtocolRow& row : kProtocols) {
        if (id == row.id) return &row;
    }
    return nullptr;
}

bool IsProtocolId(std::string_view id) {
    return id == kAutoProtocolId || ProtocolForId(id) != nullptr;
}

Text ProtocolSettingOfId(std::string_view id) {
    const ProtocolRow* row = ProtocolForId(id);
    return Utf8ToLocal(row != nullptr ? row->settingValue : kAutoProtocolSetting);
}

namespace {

// The rows in the combo's order.
std::vector<const ProtocolRow*> ShownRows() {
    std::vector<const ProtocolRow*> rows;
    for (const ProtocolRow& row : kProtocols) rows.push_back(&row);
    std::sort(rows.begin(), rows.end(),
              [](const ProtocolRow* a, const ProtocolRow* b) { return a->shownAt < b->shownAt; });
    return rows;
}

}  // namespace

std::vector<ProtocolChoiceItem> ProtocolChoiceItems() {
    std::vector<ProtocolChoiceItem> items{{kAutoProtocolSetting, kAutoProtocolSetting}};
    for (const ProtocolRow* row : ShownRows())
        items.push_back({row->optionText, row->settingValue});
    return items;
}

std::string ProtocolIdList(const char* separator, const char* last) {
    const std::vector<const ProtocolRow*> rows = ShownRows();
    std::string list = kAutoProtocolId;
    for (std::size_t i = 0; i < rows.size(); ++i)
        list += std::string(i + 1 == rows.size() ? last : separator) + rows[i]->id;
    return list;
}

const ProtocolRow& ChosenProtocol(const ProtocolRow* chosen, const Text& address,
                                  const std::optional<Text>& page) {
    if (chosen != nullptr) return *chosen;
    for (const ProtocolRow& row : kProtocols) {
        if (row.claims(address, page.value_or(Text()))) return row;
    }
    return kProtocols.front();
}

std::vector<const RecordLayout*> RecordLayouts() {
    std::vector<const RecordLayout*> layouts;
    for (const ProtocolRow& row : kProtocols) layouts.push_back(&row.records());
    return layouts;
}

}  // namespace ovx
