#include "services/bios/bios_models.h"

#include <cstring>
#include <glib.h>
#include <string>

#include "common/log.h"
#include "host/file_io.h"
#include "host/host_root.h"

namespace {

// Product names are searched case-sensitively, first hit wins. The product name spells some
// models differently from their identifier ("VanTor 70", "K30 AIO").
struct ProductRule {
    const char *contains;
    const char *also;  // nullptr: no second text required
    const char *model;
};

constexpr ProductRule product_rules[] = {
    {"K10", "Extended", "K10X"},    {"K10", nullptr, "K10"},        {"K30 AIO", nullptr, "K30AIO"},
    {"K30", nullptr, "K30MTC"},     {"K20", nullptr, "K20"},        {"VanTor 70", nullptr, "Vantor 70"},
    {"L81", nullptr, "Lumen 81"},   {"L82", nullptr, "Lumen 82"},   {"L83", nullptr, "Lumen 83"},
    {"L84", nullptr, "Lumen 84"},   {"K40 AIO", nullptr, "K40AIO"}, {"AIO K50", nullptr, "K50AIO"},
    {"AIO K60", nullptr, "K60AIO"},
};

// clang-format off
// Each model's BIOS lists its settings in an order of its own, which replies and extract
// files keep. Every list starts with the admin-password state and the asset tag, which an
// extract file leaves out.
constexpr const char *k10_keys[] = {
    "EnablePassword", "Assettag", "Audio", "AdminLock", "AutoPower", "ACRecovery", "USBRearPort", "WakeOnLan",
    "WakeOnUSB", "USBFrontPort", "USBBootSupport", "USBFrontTopPort", "USBFrontTopMePort", "USBFrontBottomMePort",
    "USBFrontBottomPort", "SecureBoot", "KeyboardErrorDetection", "Fastboot", "ExtendedBIOSPostTime", "DeepSleep",
    "PXEBootSupport"};
// The K40AIO offers the same settings as the K30AIO.
constexpr const char *k30_k40_aio_keys[] = {
    "EnablePassword", "Assettag", "Audio", "AdminLock", "AutoPower", "ACRecovery", "WakeOnLan", "WakeOnUSB",
    "USBBootSupport", "OSDConfigure", "USBSidePortTop", "USBSideBottom", "USBRearPortTopLeft", "USBRearPortTopRight",
    "USBRearBottomLeft", "USBRearPortBottomRight", "SecureBoot", "KeyboardErrorDetection", "Fastboot",
    "ExtendedBIOSPostTime", "DeepSleep", "PXEBootSupport"};
constexpr const char *k30mtc_keys[] = {
    "EnablePassword", "Assettag", "Audio", "AdminLock", "AutoPower", "ACRecovery", "WakeOnLan", "WakeOnUSB",
    "USBBootSupport", "MACPASSConfigure", "SecureBoot", "Fastboot", "ExtendedBIOSPostTime", "PXEBootSupport"};
constexpr const char *k20_keys[] = {
    "EnablePassword", "Assettag", "Audio", "AdminLock", "AutoPower", "ACRecovery", "USBRearPort", "USBFrontPort",
    "WakeOnLan", "WakeOnUSB", "USBBootSupport", "SecureBoot", "KeyboardErrorDetection", "Fastboot",
    "ExtendedBIOSPostTime"};
constexpr const char *vantor70_keys[] = {
    "EnablePassword", "Assettag", "Audio", "AdminLock", "AutoPower", "ACRecovery", "USBRearPort", "WakeOnLan",
    "WakeOnUSB", "USBFrontTopPort", "USBFrontBottomPort", "USBBootSupport", "SecureBoot", "DeepSleep",
    "KeyboardErrorDetection", "Fastboot", "ExtendedBIOSPostTime", "SupressDockWarnMsg", "PXEBootSupport"};
constexpr const char *lumen_keys[] = {
    "EnablePassword", "Assettag", "Audio", "AdminLock", "AutoPower", "ACRecovery", "WakeOnLan", "USBBootSupport",
    "MACPASSConfigure", "SecureBoot", "Fastboot", "ExtendedBIOSPostTime", "PXEBootSupport"};
constexpr const char *lumen84_keys[] = {
    "EnablePassword", "Assettag", "Audio", "AdminLock", "AutoPower", "ACRecovery", "WakeOnLan", "USBBootSupport",
    "MACPASSConfigure", "SecureBoot", "ExtendedBIOSPostTime"};
constexpr const char *k50aio_keys[] = {
    "EnablePassword", "Assettag", "Audio", "AdminLock", "AutoPower", "ACRecovery", "WakeOnLan", "WakeOnUSB",
    "USBBootSupport", "OSDConfigure", "USBSidePortTop", "USBSideBottom", "USBRearPortTopLeft", "USBRearPortTopRight",
    "USBRearBottomLeft", "USBRearPortBottomRight", "SecureBoot", "KeyboardErrorDetection", "Fastboot",
    "ExtendedBIOSPostTime", "DeepSleep", "USBSidePort", "USBRearPort", "PXEBootSupport"};
constexpr const char *k60aio_keys[] = {
    "EnablePassword", "Assettag", "Audio", "AdminLock", "AutoPower", "ACRecovery", "WakeOnLan", "WakeOnUSB",
    "USBBootSupport", "OSDConfigure", "USBSidePortTop", "USBSideBottom", "SecureBoot", "KeyboardErrorDetection",
    "ExtendedBIOSPostTime", "DeepSleep", "USBSidePort", "USBRearPort", "PXEBootSupport"};

// clang-format on

struct ModelKeys {
    const char *model;
    bool prefix;  // the model name only has to begin with `model`
    BiosKeyList keys;
};

template <size_t N>
constexpr BiosKeyList list(const char *const (&suffixes)[N])
{
    return {suffixes, N};
}

// Tried in order; "K10" also catches "K10X".
constexpr ModelKeys model_keys[] = {
    {"K10", true, list(k10_keys)},
    {"K30AIO", false, list(k30_k40_aio_keys)},
    {"K30MTC", false, list(k30mtc_keys)},
    {"K20", false, list(k20_keys)},
    {"Vantor 70", false, list(vantor70_keys)},
    {"Lumen 81", false, list(lumen_keys)},
    {"K40AIO", false, list(k30_k40_aio_keys)},
    {"K50AIO", false, list(k50aio_keys)},
    {"K60AIO", false, list(k60aio_keys)},
    {"Lumen 82", false, list(lumen_keys)},
    {"Lumen 83", false, list(lumen_keys)},
    {"Lumen 84", false, list(lumen84_keys)},
};

constexpr size_t extract_skipped_keys = 2;

}  // namespace

void bios_detect_model(char *model)
{
    char *product = nullptr;
    const std::string path = host_path("/sys/class/dmi/id/product_name");
    if (!host_file_read_text(path.c_str(), &product)) {
        wlog('D', log_tag::bios, "can not get product name\n");
        return;
    }
    g_autofree char *owned = product;
    for (const auto &rule : product_rules) {
        if (strstr(owned, rule.contains) && (!rule.also || strstr(owned, rule.also))) {
            g_strlcpy(model, rule.model, bios_model_name_size);
            return;
        }
    }
    wlog('D', log_tag::bios, "get product name err\n");
}

bool bios_model_is(const char *model, const char *name)
{
    return g_ascii_strcasecmp(model, name) == 0;
}

bool bios_model_in(const char *model, const ModelSet &set)
{
    if (!set.models)
        return true;
    bool listed = false;
    for (size_t i = 0; i < set.count && !listed; ++i)
        listed = bios_model_is(model, set.models[i]);
    return listed != set.except;
}

BiosKeyList bios_read_key_list(const char *model)
{
    for (const auto &row : model_keys)
        if (row.prefix ? g_ascii_strncasecmp(model, row.model, strlen(row.model)) == 0
                       : bios_model_is(model, row.model))
            return row.keys;
    return {};
}

BiosKeyList bios_extract_key_list(const char *model)
{
    const BiosKeyList keys = bios_read_key_list(model);
    if (!keys.suffixes)
        return keys;
    return {keys.suffixes + extract_skipped_keys, keys.count - extract_skipped_keys};
}
