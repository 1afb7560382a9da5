#pragma once
// The table of protocols: one row for each way of speaking to the service. The settings'
// "接口" values, the options page's choices, `ovatrix-cli --protocol`, the automatic choice
// and the record files all come from here, so a protocol is one folder and one row.

#include <memory>
#include <optional>
#include <span>
#include <vector>

#include "catalogue/Protocol.h"

namespace ovx {

struct ProtocolRow {
    const char* id;            // `--protocol` value: "album", "web"
    const char* settingValue;  // "接口" value (UTF-8): "相册版", "网页版"
    const char* optionText;    // its text in the options page's combo (UTF-8)
    int shownAt;               // its place in the combo, after "自动" (from 1)
    // Whether the protocol needs the home page to resolve a user; the automatic choice
    // always fetches it.
    bool needsHomePage;
    // True when the protocol speaks for a home-page address and the page fetched from it
    // (the automatic choice asks the rows in table order).
    bool (*claims)(const Text& address, const Text& page);
    // The protocol for a session, speaking for the address.
    std::unique_ptr<Protocol> (*make)(const Text& address, const ServiceSettings& settings,
                                      SessionContext session);
    // How its photos are recorded.
    const RecordLayout& (*records)();
};

// Every protocol, in the order the automatic choice asks them (the album service first).
std::span<const ProtocolRow> ProtocolTable();

// The automatic choice: "自动" in the settings, "auto" on the command line.
inline constexpr const char* kAutoProtocolSetting = "自动";
inline constexpr const char* kAutoProtocolId = "auto";

// The row of a "接口" value; none for "自动" and for any value no row has (read as "自动").
const ProtocolRow* ProtocolForSetting(const Text& settingValue);
// The row of a `--protocol` value; none for "auto" and unknown ids.
const ProtocolRow* ProtocolForId(std::string_view id);
// True for "auto" and every row's id.
bool IsProtocolId(std::string_view id);
// The "接口" value of a `--protocol` value ("自动" for "auto").
Text ProtocolSettingOfId(std::string_view id);

// The options page's choices in their order: "自动", then the rows by `shownAt`. Each is
// the choice's text (UTF-8) and its "接口" value.
struct ProtocolChoiceItem {
    const char* text;
    const char* settingValue;
};
std::vector<ProtocolChoiceItem> ProtocolChoiceItems();
// The `--protocol` values in the combo's order, "auto" first, joined by `separator` and the
// last two by `last`: ("|", "|") gives "auto|web|album".
std::string ProtocolIdList(const char* separator, const char* last);

// The protocol a choice makes for an address: the chosen row, or (automatic) the first row
// that claims the fetched page, else the first row. `page` is the fetched home page when
// there is one.
const ProtocolRow& ChosenProtocol(const ProtocolRow* chosen, const Text& address,
                                  const std::optional<Text>& page);

// Every protocol's record layout, in table order (the record tool tells files apart by them).
std::vector<const RecordLayout*> RecordLayouts();

}  // namespace ovx
