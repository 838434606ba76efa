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

// Setting keys: "DeviceKORACMOS" followed by each word. Every list starts with the
// admin-password state and the asset tag, which an extract file leaves out.
constexpr const char *k10_keys =
    "EnablePassword Assettag Audio AdminLock AutoPower ACRecovery USBRearPort WakeOnLan WakeOnUSB "
    "USBFrontPort USBBootSupport USBFrontTopPort USBFrontTopMePort USBFrontBottomMePort "
    "USBFrontBottomPort SecureBoot KeyboardErrorDetection Fastboot ExtendedBIOSPostTime DeepSleep "
    "PXEBootSupport";
// The K40AIO offers the same settings as the K30AIO.
constexpr const char *k30_k40_aio_keys =
    "EnablePassword Assettag Audio AdminLock AutoPower ACRecovery WakeOnLan WakeOnUSB USBBootSupport "
    "OSDConfigure USBSidePortTop USBSideBottom USBRearPortTopLeft USBRearPortTopRight USBRearBottomLeft "
    "USBRearPortBottomRight SecureBoot KeyboardErrorDetection Fastboot ExtendedBIOSPostTime DeepSleep "
    "PXEBootSupport";
constexpr const char *k30mtc_keys =
    "EnablePassword Assettag Audio AdminLock AutoPower ACRecovery WakeOnLan WakeOnUSB USBBootSupport "
    "MACPASSConfigure SecureBoot Fastboot ExtendedBIOSPostTime PXEBootSupport";
constexpr const char *k20_keys =
    "EnablePassword Assettag Audio AdminLock AutoPower ACRecovery USBRearPort USBFrontPort WakeOnLan "
    "WakeOnUSB USBBootSupport SecureBoot KeyboardErrorDetection Fastboot ExtendedBIOSPostTime";
constexpr const char *vantor70_keys =
    "EnablePassword Assettag Audio AdminLock AutoPower ACRecovery USBRearPort WakeOnLan WakeOnUSB "
    "USBFrontTopPort USBFrontBottomPort USBBootSupport SecureBoot DeepSleep KeyboardErrorDetection "
    "Fastboot ExtendedBIOSPostTime SupressDockWarnMsg PXEBootSupport";
constexpr const char *lumen_keys =
    "EnablePassword Assettag Audio AdminLock AutoPower ACRecovery WakeOnLan USBBootSupport "
    "MACPASSConfigure SecureBoot Fastboot ExtendedBIOSPostTime PXEBootSupport";
constexpr const char *lumen84_keys =
    "EnablePassword Assettag Audio AdminLock AutoPower ACRecovery WakeOnLan USBBootSupport "
    "MACPASSConfigure SecureBoot ExtendedBIOSPostTime";
constexpr const char *k50aio_keys =
    "EnablePassword Assettag Audio AdminLock AutoPower ACRecovery WakeOnLan WakeOnUSB USBBootSupport "
    "OSDConfigure USBSidePortTop USBSideBottom USBRearPortTopLeft USBRearPortTopRight USBRearBottomLeft "
    "USBRearPortBottomRight SecureBoot KeyboardErrorDetection Fastboot ExtendedBIOSPostTime DeepSleep "
    "USBSidePort USBRearPort PXEBootSupport";
constexpr const char *k60aio_keys =
    "EnablePassword Assettag Audio AdminLock AutoPower ACRecovery WakeOnLan WakeOnUSB USBBootSupport "
    "OSDConfigure USBSidePortTop USBSideBottom SecureBoot KeyboardErrorDetection ExtendedBIOSPostTime "
    "DeepSleep USBSidePort USBRearPort PXEBootSupport";

struct ModelKeys {
    const char *model;
    bool prefix;  // the model name only has to begin with `model`
    const char *keys;
};

// Tried in order; "K10" also catches "K10X".
constexpr ModelKeys model_keys[] = {
    {"K10", true, k10_keys},
    {"K30AIO", false, k30_k40_aio_keys},
    {"K30MTC", false, k30mtc_keys},
    {"K20", false, k20_keys},
    {"Vantor 70", false, vantor70_keys},
    {"Lumen 81", false, lumen_keys},
    {"K40AIO", false, k30_k40_aio_keys},
    {"K50AIO", false, k50aio_keys},
    {"K60AIO", false, k60aio_keys},
    {"Lumen 82", false, lumen_keys},
    {"Lumen 83", false, lumen_keys},
    {"Lumen 84", false, lumen84_keys},
};
constexpr size_t model_key_count = G_N_ELEMENTS(model_keys);

constexpr size_t extract_skipped_keys = 2;

// The row of the detected model, or model_key_count when it has none.
size_t select_key_list()
{
    for (size_t i = 0; i < model_key_count; ++i) {
        const ModelKeys &row = model_keys[i];
        const bool match = row.prefix ? g_ascii_strncasecmp(bios_model_name, row.model, strlen(row.model)) == 0
                                      : bios_model_is(row.model);
        if (match)
            return i;
    }
    return model_key_count;
}

std::string json_key_array(const char *keys, size_t skip)
{
    g_auto(GStrv) words = g_strsplit(keys, " ", -1);
    std::string text = "[";
    for (size_t i = skip; words[i]; ++i) {
        if (i > skip)
            text += ", ";
        text += "\"DeviceKORACMOS";
        text += words[i];
        text += '"';
    }
    text += ']';
    return text;
}

// Each text is made on first use and kept for the life of the process, like the tables.
const char *list_text(size_t row, size_t skip)
{
    if (row >= model_key_count)
        return nullptr;
    static std::string texts[2][model_key_count];
    std::string &text = texts[skip ? 1 : 0][row];
    if (text.empty())
        text = json_key_array(model_keys[row].keys, skip);
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
