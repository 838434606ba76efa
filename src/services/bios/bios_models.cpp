#include "services/bios/bios_models.h"

#include <cstring>
#include <glib.h>
#include <string>

#include "common/log.h"
#include "common/util.h"
#include "host/host_root.h"

char bios_model_name[bios_model_name_size];

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

// Key suffixes; a key is "DeviceKORACMOS" followed by one. Every list starts with the
// admin-password state and the asset tag, which an extract file leaves out.
constexpr const char *k10_keys[] = {
    "EnablePassword",
    "Assettag",
    "Audio",
    "AdminLock",
    "AutoPower",
    "ACRecovery",
    "USBRearPort",
    "WakeOnLan",
    "WakeOnUSB",
    "USBFrontPort",
    "USBBootSupport",
    "USBFrontTopPort",
    "USBFrontTopMePort",
    "USBFrontBottomMePort",
    "USBFrontBottomPort",
    "SecureBoot",
    "KeyboardErrorDetection",
    "Fastboot",
    "ExtendedBIOSPostTime",
    "DeepSleep",
    "PXEBootSupport",
};
constexpr const char *k30aio_keys[] = {
    "EnablePassword",
    "Assettag",
    "Audio",
    "AdminLock",
    "AutoPower",
    "ACRecovery",
    "WakeOnLan",
    "WakeOnUSB",
    "USBBootSupport",
    "OSDConfigure",
    "USBSidePortTop",
    "USBSideBottom",
    "USBRearPortTopLeft",
    "USBRearPortTopRight",
    "USBRearBottomLeft",
    "USBRearPortBottomRight",
    "SecureBoot",
    "KeyboardErrorDetection",
    "Fastboot",
    "ExtendedBIOSPostTime",
    "DeepSleep",
    "PXEBootSupport",
};
constexpr const char *k30mtc_keys[] = {
    "EnablePassword",
    "Assettag",
    "Audio",
    "AdminLock",
    "AutoPower",
    "ACRecovery",
    "WakeOnLan",
    "WakeOnUSB",
    "USBBootSupport",
    "MACPASSConfigure",
    "SecureBoot",
    "Fastboot",
    "ExtendedBIOSPostTime",
    "PXEBootSupport",
};
constexpr const char *k20_keys[] = {
    "EnablePassword",
    "Assettag",
    "Audio",
    "AdminLock",
    "AutoPower",
    "ACRecovery",
    "USBRearPort",
    "USBFrontPort",
    "WakeOnLan",
    "WakeOnUSB",
    "USBBootSupport",
    "SecureBoot",
    "KeyboardErrorDetection",
    "Fastboot",
    "ExtendedBIOSPostTime",
};
constexpr const char *vantor70_keys[] = {
    "EnablePassword",
    "Assettag",
    "Audio",
    "AdminLock",
    "AutoPower",
    "ACRecovery",
    "USBRearPort",
    "WakeOnLan",
    "WakeOnUSB",
    "USBFrontTopPort",
    "USBFrontBottomPort",
    "USBBootSupport",
    "SecureBoot",
    "DeepSleep",
    "KeyboardErrorDetection",
    "Fastboot",
    "ExtendedBIOSPostTime",
    "SupressDockWarnMsg",
    "PXEBootSupport",
};
constexpr const char *lumen_keys[] = {
    "EnablePassword",   "Assettag",   "Audio",     "AdminLock",
    "AutoPower",        "ACRecovery", "WakeOnLan", "USBBootSupport",
    "MACPASSConfigure", "SecureBoot", "Fastboot",  "ExtendedBIOSPostTime",
    "PXEBootSupport",
};
constexpr const char *lumen84_keys[] = {
    "EnablePassword",       "Assettag",  "Audio",          "AdminLock",        "AutoPower",
    "ACRecovery",           "WakeOnLan", "USBBootSupport", "MACPASSConfigure", "SecureBoot",
    "ExtendedBIOSPostTime",
};
constexpr const char *k40aio_keys[] = {
    "EnablePassword",
    "Assettag",
    "Audio",
    "AdminLock",
    "AutoPower",
    "ACRecovery",
    "WakeOnLan",
    "WakeOnUSB",
    "USBBootSupport",
    "OSDConfigure",
    "USBSidePortTop",
    "USBSideBottom",
    "USBRearPortTopLeft",
    "USBRearPortTopRight",
    "USBRearBottomLeft",
    "USBRearPortBottomRight",
    "SecureBoot",
    "KeyboardErrorDetection",
    "Fastboot",
    "ExtendedBIOSPostTime",
    "DeepSleep",
    "PXEBootSupport",
};
constexpr const char *k50aio_keys[] = {
    "EnablePassword",
    "Assettag",
    "Audio",
    "AdminLock",
    "AutoPower",
    "ACRecovery",
    "WakeOnLan",
    "WakeOnUSB",
    "USBBootSupport",
    "OSDConfigure",
    "USBSidePortTop",
    "USBSideBottom",
    "USBRearPortTopLeft",
    "USBRearPortTopRight",
    "USBRearBottomLeft",
    "USBRearPortBottomRight",
    "SecureBoot",
    "KeyboardErrorDetection",
    "Fastboot",
    "ExtendedBIOSPostTime",
    "DeepSleep",
    "USBSidePort",
    "USBRearPort",
    "PXEBootSupport",
};
constexpr const char *k60aio_keys[] = {
    "EnablePassword",
    "Assettag",
    "Audio",
    "AdminLock",
    "AutoPower",
    "ACRecovery",
    "WakeOnLan",
    "WakeOnUSB",
    "USBBootSupport",
    "OSDConfigure",
    "USBSidePortTop",
    "USBSideBottom",
    "SecureBoot",
    "KeyboardErrorDetection",
    "ExtendedBIOSPostTime",
    "DeepSleep",
    "USBSidePort",
    "USBRearPort",
    "PXEBootSupport",
};

struct KeyList {
    const char *const *suffixes;
    size_t count;
};

template <size_t N>
constexpr KeyList key_list(const char *const (&suffixes)[N])
{
    return {suffixes, N};
}

enum ListId {
    K10_LIST,
    K30AIO_LIST,
    K30MTC_LIST,
    K20_LIST,
    VANTOR70_LIST,
    LUMEN_LIST,
    LUMEN84_LIST,
    K40AIO_LIST,
    K50AIO_LIST,
    K60AIO_LIST,
    LIST_COUNT
};

constexpr KeyList key_lists[LIST_COUNT] = {
    key_list(k10_keys),   key_list(k30aio_keys),  key_list(k30mtc_keys), key_list(k20_keys),    key_list(vantor70_keys),
    key_list(lumen_keys), key_list(lumen84_keys), key_list(k40aio_keys), key_list(k50aio_keys), key_list(k60aio_keys),
};

struct ModelKeys {
    const char *model;
    ListId list;
};

// Whole-name matches in the order they are tried; "K10" and "K10X" are caught before this
// table by a prefix test.
constexpr ModelKeys model_keys[] = {
    {"K30AIO", K30AIO_LIST},  {"K30MTC", K30MTC_LIST},  {"K20", K20_LIST},          {"Vantor 70", VANTOR70_LIST},
    {"Lumen 81", LUMEN_LIST}, {"K40AIO", K40AIO_LIST},  {"K50AIO", K50AIO_LIST},    {"K60AIO", K60AIO_LIST},
    {"Lumen 82", LUMEN_LIST}, {"Lumen 83", LUMEN_LIST}, {"Lumen 84", LUMEN84_LIST},
};

constexpr size_t extract_skipped_keys = 2;

int select_key_list()
{
    if (g_ascii_strncasecmp(bios_model_name, "K10", strlen("K10")) == 0)
        return K10_LIST;
    for (const auto &row : model_keys)
        if (bios_model_is(row.model))
            return row.list;
    return -1;
}

std::string json_key_array(const KeyList &list, size_t skip)
{
    std::string text = "[";
    for (size_t i = skip; i < list.count; ++i) {
        if (i > skip)
            text += ", ";
        text += "\"DeviceKORACMOS";
        text += list.suffixes[i];
        text += '"';
    }
    text += ']';
    return text;
}

// Each text is made on first use and kept for the life of the process, like the tables.
const char *list_text(int list, size_t skip)
{
    if (list < 0)
        return nullptr;
    static std::string texts[2][LIST_COUNT];
    std::string &text = texts[skip ? 1 : 0][list];
    if (text.empty())
        text = json_key_array(key_lists[list], skip);
    return text.c_str();
}

}  // namespace

void bios_detect_model()
{
    char *product = nullptr;
    const std::string path = host_path("/sys/class/dmi/id/product_name");
    if (!util_read_file(path.c_str(), &product)) {
        wlog('D', log_tag::bios, "can not get product name\n");
        return;
    }
    g_autofree char *owned = product;
    for (const auto &rule : product_rules) {
        if (strstr(owned, rule.contains) && (!rule.also || strstr(owned, rule.also))) {
            g_strlcpy(bios_model_name, rule.model, sizeof bios_model_name);
            return;
        }
    }
    wlog('D', log_tag::bios, "get product name err\n");
}

bool bios_model_is(const char *model)
{
    return g_ascii_strcasecmp(bios_model_name, model) == 0;
}

bool bios_model_in(const char *const *models, size_t count)
{
    for (size_t i = 0; i < count; ++i)
        if (bios_model_is(models[i]))
            return true;
    return false;
}

const char *bios_read_key_list()
{
    return list_text(select_key_list(), 0);
}

const char *bios_extract_key_list()
{
    return list_text(select_key_list(), extract_skipped_keys);
}

bool bios_model_matches(const ModelSet &set)
{
    if (!set.models)
        return true;
    return bios_model_in(set.models, set.count) != set.except;
}
