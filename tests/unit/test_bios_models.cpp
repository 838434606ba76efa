#include <glib/gstdio.h>
#include <json-glib/json-glib.h>

#include "temp_dir.h"
#include "test_bios_fixture.h"

namespace {

class BiosModels : public BiosFixture {
protected:
    // Detects the model from `product` written as the DMI product name (with a line end).
    std::string detect(const char *product)
    {
        TempDir root;
        ScopedHostRoot scoped(root.path());
        const std::string folder = root.path() + "/sys/class/dmi/id";
        g_mkdir_with_parents(folder.c_str(), 0755);
        if (product) {
            const std::string text = std::string(product) + "\n";
            g_file_set_contents((folder + "/product_name").c_str(), text.c_str(), -1, nullptr);
        }
        memset(bios_model_name, 0, sizeof bios_model_name);
        bios_detect_model();
        return bios_model_name;
    }

    static std::vector<std::string> keys_of(const char *json)
    {
        std::vector<std::string> keys;
        if (!json)
            return keys;
        g_autoptr(JsonParser) parser = json_parser_new();
        if (!json_parser_load_from_data(parser, json, -1, nullptr))
            return {"<not JSON>"};
        JsonArray *array = json_node_get_array(json_parser_get_root(parser));
        for (guint i = 0; i < json_array_get_length(array); ++i)
            keys.emplace_back(json_array_get_string_element(array, i));
        return keys;
    }
};

TEST_F(BiosModels, ProductNamesMapToIdentifiersInTableOrder)
{
    const std::pair<const char *, const char *> cases[] = {
        {"Kora K10 Extended", "K10X"},    {"Kora K10 Thin Client", "K10"}, {"Kora K30 AIO", "K30AIO"},
        {"Kora K30 Mini", "K30MTC"},      {"Kora K20", "K20"},             {"Kora VanTor 70", "Vantor 70"},
        {"Kora L81", "Lumen 81"},         {"Kora L82", "Lumen 82"},        {"Kora L83", "Lumen 83"},
        {"Kora L84", "Lumen 84"},         {"Kora K40 AIO", "K40AIO"},      {"Kora AIO K50", "K50AIO"},
        {"Kora AIO K60", "K60AIO"},
        // The first row that matches wins; the searches respect letter case.
        {"K10 L81", "K10"},               {"L81 K10", "K10"},              {"K30 AIO K20", "K30AIO"},
    };
    for (const auto &[product, model] : cases)
        EXPECT_EQ(model, detect(product)) << product;
    EXPECT_EQ(0u, log.count_containing("get product name err"));
}

TEST_F(BiosModels, UnknownOrUnreadableProductLeavesTheModelEmpty)
{
    EXPECT_EQ("", detect("Kora Vantor 70"));
    EXPECT_EQ("", detect("Kora K50 AIO"));
    EXPECT_EQ(2u, log.count_containing("D bios: get product name err"));
    EXPECT_EQ("", detect(nullptr));
    EXPECT_EQ(1u, log.count_containing("D bios: can not get product name"));
}

TEST_F(BiosModels, KeyListsPerModel)
{
    struct Row {
        const char *model;
        size_t read_count;
    };
    const Row rows[] = {{"K10", 21},      {"k10x", 21},     {"K30AIO", 22},   {"K30MTC", 14},   {"K20", 15},
                        {"Vantor 70", 19}, {"Lumen 81", 13}, {"Lumen 82", 13}, {"LUMEN 83", 13}, {"Lumen 84", 11},
                        {"K40AIO", 22},   {"K50AIO", 24},   {"K60AIO", 19}};
    for (const auto &row : rows) {
        set_model(row.model);
        const auto read = keys_of(bios_read_key_list());
        const auto extract = keys_of(bios_extract_key_list());
        ASSERT_EQ(row.read_count, read.size()) << row.model;
        EXPECT_EQ("DeviceKORACMOSEnablePassword", read[0]) << row.model;
        EXPECT_EQ("DeviceKORACMOSAssettag", read[1]) << row.model;
        EXPECT_EQ(std::vector<std::string>(read.begin() + 2, read.end()), extract) << row.model;
    }

    set_model("K10X");
    const auto k10x = keys_of(bios_read_key_list());
    set_model("K10");
    EXPECT_EQ(keys_of(bios_read_key_list()), k10x);
    EXPECT_EQ("DeviceKORACMOSPXEBootSupport", k10x.back());

    set_model("K50AIO");
    const auto k50 = keys_of(bios_read_key_list());
    EXPECT_EQ("DeviceKORACMOSUSBSidePort", k50[21]);
    EXPECT_EQ("DeviceKORACMOSUSBRearPort", k50[22]);

    set_model("Vantor 70");
    EXPECT_EQ("DeviceKORACMOSSupressDockWarnMsg", keys_of(bios_read_key_list())[17]);

    set_model("Lumen 84");
    const auto lumen84 = keys_of(bios_read_key_list());
    set_model("Lumen 81");
    auto lumen81 = keys_of(bios_read_key_list());
    std::erase(lumen81, "DeviceKORACMOSFastboot");
    std::erase(lumen81, "DeviceKORACMOSPXEBootSupport");
    EXPECT_EQ(lumen81, lumen84);

    // Only the K10 family is matched by prefix; the others need the whole identifier.
    set_model("k10-anything");
    EXPECT_EQ(21u, keys_of(bios_read_key_list()).size());
    for (const char *model : {"K30", "Vantor70", "K20 "}) {
        set_model(model);
        EXPECT_EQ(nullptr, bios_read_key_list()) << model;
    }
    set_model("");
    EXPECT_EQ(nullptr, bios_read_key_list());
    EXPECT_EQ(nullptr, bios_extract_key_list());
}

TEST_F(BiosModels, DeepSleepIsReadOnItsModelsOnly)
{
    for (const char *model : {"Vantor 70", "K40AIO", "k50aio", "K30AIO", "K10", "K10X", "K60AIO"}) {
        set_model(model);
        EXPECT_TRUE(bios_model_has_deep_sleep()) << model;
    }
    for (const char *model : {"", "K20", "K30MTC", "Lumen 81", "Lumen 84"}) {
        set_model(model);
        EXPECT_FALSE(bios_model_has_deep_sleep()) << model;
    }
}

}  // namespace
